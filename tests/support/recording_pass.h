#pragma once

#include <Orv/RenderPassHelper.h>
#include <Orv/Renderer.h>

#include <QStringList>

#include <functional>

using Vantrel::Orv::RenderCallbacks;

// Logs every call a renderer makes on it as "<name>.<call>" into a shared log, in short words:
// in<i>, reset, users<o>=<n>, err=<code>, begin, start, poll, end, err? (the query). Its start
// writes "<name>(<inputs>)" to every output, so values show the path they took through the
// frame; it can fail with a chosen code or stay unfinished for a number of polls.
class RecordingPass : public Vantrel::Orv::RenderPassHelper {
    using Base = Vantrel::Orv::RenderPassHelper;

public:
    RecordingPass(const QString& name, QStringList* log, int numInputs = 1, int numOutputs = 1)
        : _name(name), _log(log) {
        for (int i = 0; i < numInputs; ++i) addInput(QString("in%1").arg(i), QString("default"));
        for (int o = 0; o < numOutputs; ++o) addOutput(QString("out%1").arg(o));
    }
    ~RecordingPass() override { record("deleted"); }

    void setup(RenderCallbacks* c) override { record("setup", c); }
    void teardown(RenderCallbacks* c) override { record("teardown", c); }
    void beginFrame(RenderCallbacks* c) override {
        record("begin", c);
        Base::beginFrame(c);
    }
    void start(RenderCallbacks* c) override {
        record("start", c);
        QStringList inputs;
        for (const auto& input : _inputs) inputs << input.value.toString();
        for (auto& output : _outputs) output.value = _name + '(' + inputs.join(',') + ')';
        _pollsLeft = unfinishedPolls;
        if (failWith != 0) _errorCode = failWith;
        if (onStart) onStart();
    }
    void endFrame(RenderCallbacks* c) override {
        record("end", c);
        Base::endFrame(c);
    }
    bool isFinished() const override {
        record("poll");
        return _pollsLeft-- <= 0;
    }
    void setInput(int i, const QVariant& v) override {
        record(QString("in%1").arg(i));
        Base::setInput(i, v);
    }
    void setNumOutputUsers(int o, int n) override {
        record(QString("users%1=%2").arg(o).arg(n));
        Base::setNumOutputUsers(o, n);
    }
    void resetNumOutputUsers() override {
        record("reset");
        Base::resetNumOutputUsers();
    }
    unsigned int errorCode() const override {
        record("err?");
        return _errorCode;
    }
    void setErrorCode(unsigned int c) override {
        record(QString("err=%1").arg(c));
        Base::setErrorCode(c);
    }

    void setOutput(int index, const QVariant& value) { _outputs[index].value = value; }

    unsigned int failWith = 0;
    int unfinishedPolls = 0;        // per frame
    std::function<void()> onStart;  // called at the end of start
    RenderCallbacks* seenCallbacks = nullptr;

private:
    void record(const QString& call) const { _log->append(_name + '.' + call); }
    void record(const QString& call, RenderCallbacks* c) {
        seenCallbacks = c;
        record(call);
    }

    QString _name;
    QStringList* _log;
    mutable int _pollsLeft = 0;
};

// Logs "frame.begin" and "frame.end" around the base class's timing.
class RecordingRenderer : public Vantrel::Orv::Renderer {
public:
    explicit RecordingRenderer(QStringList* log) : _log(log) {}

protected:
    void beginFrame(RenderCallbacks* c) override {
        _log->append("frame.begin");
        Renderer::beginFrame(c);
    }
    void endFrame(RenderCallbacks* c) override {
        _log->append("frame.end");
        Renderer::endFrame(c);
    }

private:
    QStringList* _log;
};

// The log with consecutive calls on one object grouped: "X{start poll} Y{deleted}".
inline QString grouped(const QStringList& log) {
    QString text, current;
    for (const QString& entry : log) {
        const QString object = entry.section('.', 0, 0);
        text += object == current ? QString(' ') : (text.isEmpty() ? "" : "} ") + object + '{';
        text += entry.section('.', 1);
        current = object;
    }
    return text.isEmpty() ? text : text + '}';
}

// The passes that received `call`, in order, joined by spaces.
inline QString passesThat(const QStringList& log, const QString& call) {
    QStringList names;
    for (const QString& entry : log) {
        if (entry.endsWith('.' + call)) names << entry.left(entry.size() - call.size() - 1);
    }
    return names.join(' ');
}
