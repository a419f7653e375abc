#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QtGlobal>

// Records every Qt message sent while it lives (one entry per qDebug/qCritical call), then
// restores the previous handler. One capture at a time.
class MessageCapture {
public:
    MessageCapture();
    ~MessageCapture();
    MessageCapture(const MessageCapture&) = delete;
    MessageCapture& operator=(const MessageCapture&) = delete;

    QStringList lines(QtMsgType type) const;  // messages of one channel, in order
    QStringList critical() const { return lines(QtCriticalMsg); }
    QStringList debug() const { return lines(QtDebugMsg); }
    int count() const;  // messages of every channel
    void clear();

private:
    QtMessageHandler _previous;
};
