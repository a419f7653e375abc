// The executable's path as each operating system reports it.
#include "platform/platform_p.h"

#include <QByteArray>
#include <QFile>
#include <QtGlobal>

#if defined(Q_OS_WIN)
#include <windows.h>
#elif defined(Q_OS_MACOS)
#include <mach-o/dyld.h>
#include <cstdint>
#else
#include <unistd.h>

#include <vector>
#endif

namespace Vantrel {
namespace Orv {
namespace detail {

QString systemExecutablePath() {
#if defined(Q_OS_WIN)
    // The 8-bit (ANSI) form of the path, as the rest of the library's paths are 8-bit.
    QByteArray buffer(65535, '\0');
    const DWORD length = GetModuleFileNameA(nullptr, buffer.data(), DWORD(buffer.size()));
    if (length == 0) return QString();
    return QFile::decodeName(buffer.left(int(length)));
#elif defined(Q_OS_MACOS)
    uint32_t size = 0;
    _NSGetExecutablePath(nullptr, &size);
    QByteArray buffer(int(size) + 1, '\0');
    if (_NSGetExecutablePath(buffer.data(), &size) != 0) return QString();
    return QFile::decodeName(buffer.constData());
#else
    // readlink does not terminate the path and truncates silently: grow until it fits. A plain
    // vector, since GCC 12 at -O2 mistakes a QByteArray's data() for its 24-byte header.
    for (int capacity = 4096; capacity <= (1 << 20); capacity *= 4) {
        std::vector<char> buffer(size_t(capacity), '\0');
        const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length <= 0) return QString();
        if (length < capacity) return QFile::decodeName(QByteArray(buffer.data(), int(length)));
    }
    return QString();
#endif
}

}  // namespace detail
}  // namespace Orv
}  // namespace Vantrel
