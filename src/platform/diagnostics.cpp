#include "platform/diagnostics_p.h"

#include <QMessageLogger>
#include <QtGlobal>

namespace Vantrel {
namespace Orv {

namespace {

const char* baseName(const char* path) {
    const char* name = path;
    for (const char* c = path; *c; ++c) {
#if defined(Q_OS_WIN)
        if (*c == '\\') name = c + 1;
#endif
        if (*c == '/') name = c + 1;
    }
    return name;
}

}  // namespace

namespace detail {

void reportError(const char* file, int line, const QString& message) {
    const char* name = baseName(file ? file : "");
    QMessageLogger(file, line, nullptr)
        .critical("[%s:%d] %s", name, line, message.toLocal8Bit().constData());
}

void reportFailedAssertion(const char* expression, const char* file, int line,
                           const QString& message) {
    // The expression is printed through a format downstream: mark its "%" as literal. The
    // line is assembled as text and converted to the local 8-bit encoding once, when written.
    QString text = QString::fromLatin1(expression ? expression : "");
    text.replace(QLatin1Char('%'), QLatin1String("\\%"));
    reportError(file, line,
                QLatin1String("[ !! ] Assertion '") + text + QLatin1String("' failed: ") + message);
}

}  // namespace detail

}  // namespace Orv
}  // namespace Vantrel
