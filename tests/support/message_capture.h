#pragma once

#include <QList>
#include <QPair>
#include <QStringList>
#include <QtGlobal>

#include <mutex>

// Records every Qt message sent while it lives (one entry per qDebug/qCritical call, from any
// thread), then restores the previous handler. One capture at a time.
class MessageCapture {
public:
    MessageCapture() : _previous(qInstallMessageHandler(record)) { clear(); }
    ~MessageCapture() { qInstallMessageHandler(_previous); }
    MessageCapture(const MessageCapture&) = delete;
    MessageCapture& operator=(const MessageCapture&) = delete;

    QStringList critical() const { return lines(QtCriticalMsg); }
    QStringList debug() const { return lines(QtDebugMsg); }
    int count() const {
        std::lock_guard<std::mutex> lock(s_mutex);
        return s_messages.size();
    }
    void clear() {
        std::lock_guard<std::mutex> lock(s_mutex);
        s_messages.clear();
    }

private:
    static void record(QtMsgType type, const QMessageLogContext&, const QString& message) {
        std::lock_guard<std::mutex> lock(s_mutex);
        s_messages.append(qMakePair(type, message));
    }
    static QStringList lines(QtMsgType type) {
        std::lock_guard<std::mutex> lock(s_mutex);
        QStringList result;
        for (const auto& message : s_messages)
            if (message.first == type) result.append(message.second);
        return result;
    }

    static inline std::mutex s_mutex;
    static inline QList<QPair<QtMsgType, QString>> s_messages;
    QtMessageHandler _previous;
};
