#include "inspect/textescape_p.h"

namespace Vantrel {
namespace Orv {

QByteArray detail::dotHtmlEscaped(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    QByteArray out;
    out.reserve(utf8.size() + 8);
    for (const char c : utf8) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += static_cast<unsigned char>(c) < 0x20 || c == 0x7f ? '?' : c;
        }
    }
    return out;
}

QByteArray detail::dotQuoted(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    QByteArray out = "\"";
    out.reserve(utf8.size() + 8);
    for (const char c : utf8) {
        if (c == '"' || c == '\\') out += '\\';
        out += static_cast<unsigned char>(c) < 0x20 || c == 0x7f ? '?' : c;
    }
    return out + '"';
}

}  // namespace Orv
}  // namespace Vantrel
