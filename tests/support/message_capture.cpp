#include "message_capture.h"

#include <QMutex>
#include <QMutexLocker>

namespace {

// Messages may come from several threads at once.
QMutex g_mutex;
QList<QPair<QtMsgType, QString>> g_messages;

void record(QtMsgType type, const QMessageLogContext&, const QString& message) {
    QMutexLocker lock(&g_mutex);
    g_messages.append(qMakePair(type, message));
}

}  // namespace

MessageCapture::MessageCapture() : _previous(qInstallMessageHandler(record)) {
    clear();
}

MessageCapture::~MessageCapture() {
    qInstallMessageHandler(_previous);
}

QStringList MessageCapture::lines(QtMsgType type) const {
    QMutexLocker lock(&g_mutex);
    QStringList result;
    for (const auto& message : g_messages)
        if (message.first == type) result.append(message.second);
    return result;
}

int MessageCapture::count() const {
    QMutexLocker lock(&g_mutex);
    return g_messages.size();
}

void MessageCapture::clear() {
    QMutexLocker lock(&g_mutex);
    g_messages.clear();
}
