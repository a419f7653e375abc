#pragma once

#include <Orv/RenderPassHelper.h>
#include <Orv/Renderer.h>

#include <QStringList>

using Vantrel::Orv::RenderCallbacks;

// Logs every call a renderer makes on it as "<name>.<call>" into a shared log. Its start writes
// "<name>(<inputs>)" to every output, so values show the path they took through the frame; it
// can fail with a chosen code or stay unfinished for a number of polls.
class RecordingPass : public Vantrel::Orv::RenderPassHelper {
public:
    RecordingPass(const QString& name, QStringList* log, int numInputs = 1, int numOutputs = 1)
        : _name(name), _log(log) {
        for (int i = 0; i < numInputs; ++i) addInput(QString("in%1").arg(i), QString("default"));
        for (int o = 0; o < numOutputs; ++o) addOutput(QString("out%1").arg(o));
    }
    ~RecordingPass() override { record("deleted"); }

    void setup(RenderCallbacks* callbacks) override { record("setup", callbacks); }
    void teardown(RenderCallbacks* callbacks) override { record("teardown", callbacks); }
    void beginFrame(RenderCallbacks* callbacks) override {
        record("beginFrame", callbacks);
        RenderPassHelper::beginFrame(callbacks);
    }
    void start(RenderCallbacks* callbacks) override {
        record("start", callbacks);
        QStringList inputs;
        for (const auto& input : _inputs) inputs << input.value.toString();
        for (auto& output : _outputs) output.value = _name + '(' + inputs.join(',') + ')';
        _pollsLeft = unfinishedPolls;
        if (failWith != 0) _errorCode = failWith;
    }
    void endFrame(RenderCallbacks* callbacks) override {
        record("endFrame", callbacks);
        RenderPassHelper::endFrame(callbacks);
    }
    bool isFinished() const override { return record("isFinished"), _pollsLeft-- <= 0; }
    void teardownContextData(RenderCallbacks*) override { record("teardownContextData"); }
    void setInput(int index, const QVariant& value) override {
        record(QString("setInput(%1)").arg(index));
        RenderPassHelper::setInput(index, value);
    }
    void setNumOutputUsers(int index, int users) override {
        record(QString("setNumOutputUsers(%1,%2)").arg(index).arg(users));
        RenderPassHelper::setNumOutputUsers(index, users);
    }
    void resetNumOutputUsers() override {
        record("resetNumOutputUsers");
        RenderPassHelper::resetNumOutputUsers();
    }
    unsigned int errorCode() const override { return record("errorCode"), _errorCode; }
    void setErrorCode(unsigned int code) override {
        record(QString("setErrorCode(%1)").arg(code));
        RenderPassHelper::setErrorCode(code);
    }

    int users(int output) const { return _outputUsers.at(output); }
    void setOutput(int index, const QVariant& value) { _outputs[index].value = value; }

    unsigned int failWith = 0;
    int unfinishedPolls = 0;  // per frame
    RenderCallbacks* seenCallbacks = nullptr;

private:
    void record(const QString& call) const { _log->append(_name + '.' + call); }
    void record(const QString& call, RenderCallbacks* callbacks) {
        seenCallbacks = callbacks;
        record(call);
    }

    QString _name;
    QStringList* _log;
    mutable int _pollsLeft = 0;
};

// Logs "renderer.beginFrame" and "renderer.endFrame" around the base class's timing.
class RecordingRenderer : public Vantrel::Orv::Renderer {
public:
    explicit RecordingRenderer(QStringList* log) : _log(log) {}

protected:
    void beginFrame(RenderCallbacks* callbacks) override {
        _log->append("renderer.beginFrame");
        Renderer::beginFrame(callbacks);
    }
    void endFrame(RenderCallbacks* callbacks) override {
        _log->append("renderer.endFrame");
        Renderer::endFrame(callbacks);
    }

private:
    QStringList* _log;
};

// The calls that one pass received, in order, without its name.
inline QStringList callsOf(const QStringList& log, const QString& pass) {
    QStringList calls;
    for (const QString& entry : log) {
        if (entry.startsWith(pass + '.')) calls << entry.mid(pass.size() + 1);
    }
    return calls;
}

// The passes that received `call`, in order.
inline QStringList passesThat(const QStringList& log, const QString& call) {
    QStringList names;
    for (const QString& entry : log) {
        if (entry.endsWith('.' + call)) names << entry.left(entry.size() - call.size() - 1);
    }
    return names;
}
