// The host executable's path and its resources folder, each worked out once. The file keeps
// its name because the error lines it writes name it.
#include <Orv/Paths.h>

#include "platform/diagnostics_p.h"
#include "platform/platform_p.h"

#include <QFileInfo>

#include <mutex>

namespace Vantrel {
namespace Orv {

namespace {

// Both caches start empty at load and are released at unload with the other statics; an empty
// string is the only "not worked out" marker. The mutex makes first calls from several threads
// and setResourcesPath() safe; it is never held while a message is written or while the other
// getter runs, so a message handler may call back into these functions. A standard mutex, so
// that thread checkers see the ordering it gives.
std::mutex g_cacheMutex;
QString g_executablePath;
QString g_resourcesPath;

QString cachedValue(const QString& cache) {
    std::lock_guard<std::mutex> lock(g_cacheMutex);
    return cache;
}

// Keeps a value stored meanwhile by another thread (or by setResourcesPath) over ours.
QString storeIfEmpty(QString& cache, const QString& value) {
    std::lock_guard<std::mutex> lock(g_cacheMutex);
    if (cache.isEmpty()) cache = value;
    return cache;
}

}  // namespace

QString executablePath() {
    const QString cached = cachedValue(g_executablePath);
    if (!cached.isEmpty()) return cached;

    const QString path = detail::systemExecutablePath();
    if (path.isEmpty()) {
        ORV_ERROR(QStringLiteral("Could not obtain executablePath"));
        return QString();
    }
    return storeIfEmpty(g_executablePath, path);
}

QString resourcesPath() {
    const QString cached = cachedValue(g_resourcesPath);
    if (!cached.isEmpty()) return cached;

    const QString directory = QFileInfo(executablePath()).canonicalPath();
    return storeIfEmpty(g_resourcesPath, directory + QLatin1String("/Resources"));
}

void setResourcesPath(const QString& path) {
    std::lock_guard<std::mutex> lock(g_cacheMutex);
    g_resourcesPath = path;
}

}  // namespace Orv
}  // namespace Vantrel
