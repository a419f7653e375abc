#pragma once

#include <QElapsedTimer>
#include <QStringList>

#include <cstdio>

namespace OrvDemo {

class Pipeline;

// Sends Qt's debug lines (the library's dumps) to stdout as they are and every other message
// to stderr, unless a MessageCapture is collecting them.
void installMessageRouting();

// While it lives, Qt messages of this thread's making are collected instead of printed.
// Not nestable; the demo captures one dump at a time.
class MessageCapture {
public:
    MessageCapture();
    ~MessageCapture();
    const QStringList& lines() const { return _lines; }

private:
    Q_DISABLE_COPY(MessageCapture)
    QStringList _lines;
};

// "frame 12/48  31.4 fps", rewritten in place on a terminal; silent otherwise.
class ProgressLine {
public:
    ProgressLine(int total, bool enabled);
    void update(int done);
    void clear();  // wipes the line so that another message can take its place
    double elapsedSeconds() const { return double(_clock.nsecsElapsed()) / 1e9; }

private:
    int _total;
    bool _enabled;
    qint64 _lastShown = -1;
    QElapsedTimer _clock;
};

// The per-pass frame timers, then the renderer's own, as a table on stdout.
void printPassTimes(const Pipeline& pipeline);
// Mean luma and the histogram of the latest frame as a one-line chart on stdout.
void printLuminance(const Pipeline& pipeline);

}  // namespace OrvDemo
