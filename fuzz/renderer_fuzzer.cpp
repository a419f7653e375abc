// Builds a random renderer (parameters, outputs, passes nested in groups, edges of every kind
// with any port numbers), then renders a few frames with random enabled flags, targets, error
// codes and slow passes. Each frame is checked against what the graph says it must do:
//  - every pass runs at most once, and each of its inputs is set exactly once before it starts;
//  - an enabled producer of a pass runs before the pass;
//  - only needed, enabled passes run, and without an error every one of them runs;
//  - the first non-zero error code ends the frame (one pass at a time), and render() reports it;
//  - with passes in flight or culling off, the same rules of who runs and in what order hold;
//  - an input's last frame makes exactly the calls that a renderer rebuilt with the frame's
//    set-up makes as its first frame, given the passes' outputs from before the frame;
//  - with passes in flight, in that frame every pass that also runs one pass at a time receives
//    the same values, and without a failure each pass receives the same calls;
//  - every node's outcome in the latest frame agrees with what the frame did, and after the
//    last frame the explanations, the trace and the picture are made for any graph;
//  - a wait for passes in flight names at least one pass.
//  - the renderer writes no message.
#include <Orv/Graph.h>
#include <Orv/RenderPassHelper.h>
#include <Orv/Renderer.h>

#include "fuzz_input.h"

#include <QJsonDocument>
#include <QString>
#include <QVector>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

using Vantrel::Orv::Graph;
using Vantrel::Orv::NodeOutcome;
using Vantrel::Orv::RenderCallbacks;
using Vantrel::Orv::Renderer;

namespace {

// The builder's limits: nodes in a renderer, and inputs and outputs of a node.
constexpr int kMaxNodes = 24;
constexpr int kMaxPorts = 3;

int g_messages = 0;

void countMessage(QtMsgType, const QMessageLogContext&, const QString&) {
    ++g_messages;
}

[[noreturn]] void fail(int frame, const QString& what) {
    std::fprintf(stderr, "renderer_fuzzer: frame %d: %s\n", frame, qPrintable(what));
    std::abort();
}

// One call a renderer made on a pass: the pass id, what was called and its arguments.
struct Call {
    enum Kind {
        Setup,
        Teardown,
        Begin,
        Start,
        Poll,
        End,
        Input,
        Users,
        Reset,
        ErrorQuery,
        SetError,
        Deleted
    };
    int pass;
    Kind kind;
    int a = 0, b = 0;  // the input; the output and its users; the error code
    bool operator==(const Call& o) const {
        return pass == o.pass && kind == o.kind && a == o.a && b == o.b;
    }
    bool operator!=(const Call& o) const { return !(*this == o); }
};
using Calls = std::vector<Call>;

// The calls as text, grouped by pass in turn: "3{in0 begin start} 4{begin}". Made only to
// report a failure.
QString describe(const Calls& calls) {
    static const char* const kNames[] = {"setup", "teardown", "begin", "start", "poll", "end",
                                         "in",    "users",    "reset", "err?",  "err=", "deleted"};
    QString text;
    for (size_t k = 0; k < calls.size(); ++k) {
        const Call& c = calls[k];
        if (k == 0 || calls[k - 1].pass != c.pass)
            text += (k == 0 ? QString() : QStringLiteral("} ")) + QString::number(c.pass) + '{';
        else
            text += ' ';
        text += QLatin1String(kNames[c.kind]);
        if (c.kind == Call::Input || c.kind == Call::SetError) text += QString::number(c.a);
        if (c.kind == Call::Users) text += QStringLiteral("%1=%2").arg(c.a).arg(c.b);
    }
    return calls.empty() ? text : text + '}';
}

// The calls of each pass in the order it received them, passes in id order.
Calls byPass(Calls calls) {
    std::stable_sort(calls.begin(), calls.end(),
                     [](const Call& x, const Call& y) { return x.pass < y.pass; });
    return calls;
}

// What the passes of one renderer did: every call, as numbers rather than text, since a frame
// makes hundreds of them and each is compared with a rebuilt renderer's.
struct FrameLog {
    Calls calls;
    int frame = 0;

    // Pass ids in the order they started during the current frame.
    QVector<int> order() const {
        QVector<int> ids;
        for (const Call& c : calls) {
            if (c.kind == Call::Start) ids.append(c.pass);
        }
        return ids;
    }
};

// A pass that logs every call the renderer makes on it and checks that each input is set
// exactly once between two frames and that no error is left over when a frame begins. Its start
// writes to every output a hash of its id and inputs, so values show the path they took
// through the frame; it can fail with a chosen code or stay unfinished for a number of polls.
class CheckedPass : public Vantrel::Orv::RenderPassHelper {
    using Base = Vantrel::Orv::RenderPassHelper;

public:
    CheckedPass(int id, FrameLog* log, int inputs, int outputs) : _id(id), _log(log) {
        if (inputs > kMaxPorts) fail(0, QStringLiteral("pass %1: too many inputs").arg(id));
        for (int i = 0; i < inputs; ++i) addInput(QStringLiteral("in"), QVariant(qulonglong(1)));
        for (int o = 0; o < outputs; ++o) addOutput(QStringLiteral("out"));
    }
    ~CheckedPass() override { record(Call::Deleted); }

    void setup(RenderCallbacks*) override { record(Call::Setup); }
    void teardown(RenderCallbacks*) override { record(Call::Teardown); }
    void setInput(int index, const QVariant& value) override {
        if (index < 0 || index >= numInputs())
            fail(_log->frame,
                 QStringLiteral("pass %1: setInput(%2) out of range").arg(_id).arg(index));
        ++_inputsSet[index];
        record(Call::Input, index);
        Base::setInput(index, value);
    }
    void beginFrame(RenderCallbacks* callbacks) override {
        for (int i = 0; i < numInputs(); ++i) {
            if (_inputsSet[i] != 1)
                fail(_log->frame, QStringLiteral("pass %1: input %2 set %3 times before it ran")
                                      .arg(_id)
                                      .arg(i)
                                      .arg(_inputsSet[i]));
        }
        _inputsSet.fill(0);
        if (_errorCode != 0)
            fail(_log->frame, QStringLiteral("pass %1 began with an error").arg(_id));
        record(Call::Begin);
        Base::beginFrame(callbacks);
    }
    void start(RenderCallbacks*) override {
        record(Call::Start);
        quint64 value = 0xcbf29ce484222325ull ^ quint64(_id);
        for (const auto& input : _inputs)
            value = (value ^ input.value.toULongLong()) * 0x100000001b3ull;
        for (auto& output : _outputs) output.value = QVariant(qulonglong(value));
        _pollsLeft = unfinishedPolls;
        if (failWith != 0) _errorCode = failWith;
    }
    void endFrame(RenderCallbacks* callbacks) override {
        record(Call::End);
        Base::endFrame(callbacks);
    }
    bool isFinished() const override {
        record(Call::Poll);
        return _pollsLeft-- <= 0;
    }
    void setNumOutputUsers(int index, int users) override {
        record(Call::Users, index, users);
        Base::setNumOutputUsers(index, users);
    }
    void resetNumOutputUsers() override {
        record(Call::Reset);
        Base::resetNumOutputUsers();
    }
    unsigned int errorCode() const override {
        record(Call::ErrorQuery);
        return _errorCode;
    }
    void setErrorCode(unsigned int code) override {
        record(Call::SetError, int(code));
        Base::setErrorCode(code);
    }

    void setOutput(int index, const QVariant& value) { _outputs[index].value = value; }

    unsigned int failWith = 0;
    int unfinishedPolls = 0;  // per frame

private:
    void record(Call::Kind kind, int a = 0, int b = 0) const {
        _log->calls.push_back(Call{_id, kind, a, b});
    }

    int _id;
    FrameLog* _log;
    // setInput calls per input since the last frame began: a fixed array spares an allocation
    // per pass (allocation is most of the fuzzer's time).
    std::array<int, kMaxPorts> _inputsSet{};
    mutable int _pollsLeft = 0;
};

// The name of the builder's node n: "g3" for a group, "p3" for a pass. Made once, as formatting
// the names of every renderer built was one allocation in fifteen.
QString nodeName(bool group, int n) {
    static const QVector<QString> names = [] {
        QVector<QString> all;
        for (int i = 0; i < kMaxNodes; ++i)
            all << QStringLiteral("p%1").arg(i) << QStringLiteral("g%1").arg(i);
        return all;
    }();
    return names.at(2 * n + int(group));
}

class Builder {
public:
    Builder(FuzzInput& data, Renderer& renderer, FrameLog& log)
        : _data(data), _renderer(renderer), _graph(*renderer.getGraph()), _log(log) {}

    void build() {
        const int parameters = _data.intInRange(0, 2);
        for (int i = 0; i < parameters; ++i)
            _renderer.addParameter(QStringLiteral("color"), QVariant(1000 + i));
        const int outputs = _data.intInRange(0, 2);
        for (int i = 0; i < outputs; ++i)
            _renderer.addOutput(i % 2 ? QStringLiteral("depth") : QStringLiteral("color"));

        QVector<int> containers{Graph::kRootNodeRef};
        const int nodes = _data.intInRange(1, kMaxNodes);
        for (int n = 0; n < nodes; ++n) {
            const int parent = containers[_data.intInRange(0, int(containers.size()) - 1)];
            const int inputs = _data.intInRange(0, kMaxPorts);
            const int outputs = _data.intInRange(0, kMaxPorts);
            if (_data.intInRange(0, 4) == 0) {
                const int group = _renderer.addGroup(nodeName(true, n), inputs, outputs, parent);
                if (group == -1) fail(0, QStringLiteral("addGroup refused a live parent"));
                containers.append(group);
            } else {
                auto* pass = new CheckedPass(int(passes.size()), &_log, inputs, outputs);
                const int node = _renderer.addPass(nodeName(false, n), pass, parent);
                if (node == -1 || _renderer.renderPass(node) != pass)
                    fail(0, QStringLiteral("addPass refused a live parent"));
                passes.append(pass);
                passNodes.append(node);
            }
        }

        // Edges with any ends; the graph refuses the ones that do not fit.
        const int edges = _data.intInRange(0, 48);
        for (int e = 0; e < edges && !_data.empty(); ++e) {
            const int a = anyNode(), b = anyNode();
            // The ports are read one statement each, first end first: as arguments of one call
            // their order would be the compiler's, and an input would mean one thing to the
            // fuzzer and another to the replay.
            const int kind = _data.intInRange(0, 3);
            if (kind <= 1) {
                const int output = port(_graph.numOutputs(a));
                const int input = port(_graph.numInputs(b));
                _graph.addEdge(a, output, b, input);
            } else if (kind == 2) {
                const int outer = port(_graph.numInputs(_graph.parentNode(b)));
                const int inner = port(_graph.numInputs(b));
                _graph.addDownEdge(outer, b, inner);
            } else {
                const int outer = port(_graph.numOutputs(_graph.parentNode(b)));
                const int inner = port(_graph.numOutputs(b));
                _graph.addUpEdge(outer, b, inner);
            }
        }
    }

    // Error codes and slowness for the next frame, and its enabled flags, limit, culling,
    // target and timing. Timing must not change what a frame does.
    void prepareFrame() {
        for (int i = 0; i < passes.size(); ++i) {
            const uint8_t bits = _data.byte();
            passes[i]->failWith = (bits >> 3) == 1 ? 1u + (bits & 3) : 0u;
            passes[i]->unfinishedPolls = (bits >> 6) == 3 ? 2 : 0;
            _renderer.setEnabled(passNodes[i], (bits & 7) != 0);
        }
        const uint8_t mode = _data.byte();
        static const int kLimits[] = {1, 1, 2, 8};
        _renderer.setMaxPassesInFlight(kLimits[mode & 3]);
        _renderer.setCulling(((mode >> 2) & 7) != 0);
        _renderer.setTimingEnabled((mode >> 5) & 1);
        // Not copied to the rebuilt renderer: the plan must not change what a frame does.
        _renderer.setSyncPlanning((mode >> 6) & 1);
        _renderer.setTarget(drawTarget());
    }

    // Gives `other`, built from the same bytes, this renderer's set-up, its passes' behaviour
    // and the passes' output values `outputs`.
    void copySetUpTo(Builder& other, const QVector<QVector<QVariant>>& outputs) const {
        for (int i = 0; i < passes.size(); ++i) {
            other._renderer.setEnabled(other.passNodes[i], _renderer.enabled(passNodes[i]));
            other.passes[i]->failWith = passes[i]->failWith;
            other.passes[i]->unfinishedPolls = passes[i]->unfinishedPolls;
            for (int o = 0; o < outputs[i].size(); ++o)
                other.passes[i]->setOutput(o, outputs[i][o]);
        }
        other._renderer.setMaxPassesInFlight(_renderer.maxPassesInFlight());
        other._renderer.setCulling(_renderer.culling());
        other._renderer.setTimingEnabled(_renderer.timingEnabled());
        other._renderer.setTarget(_renderer.target());
    }

    // The output values of every pass, by id: what a pass keeps from one frame that a later
    // frame may read.
    QVector<QVector<QVariant>> passOutputs() const {
        QVector<QVector<QVariant>> values(passes.size());
        for (int i = 0; i < passes.size(); ++i) {
            values[i].reserve(passes[i]->numOutputs());
            for (int o = 0; o < passes[i]->numOutputs(); ++o)
                values[i].append(passes[i]->output(o));
        }
        return values;
    }

    QVector<CheckedPass*> passes;  // by id (the pass index)
    QVector<int> passNodes;        // node of each pass, by id

private:
    int drawTarget() {
        switch (_data.intInRange(0, 5)) {
            case 0:
                return Graph::kInvalidNodeRef;
            case 1: {
                static const int kFar[] = {INT_MIN, -2, INT_MAX};
                return kFar[_data.intInRange(0, 2)];
            }
            case 2:
                return _graph.numNodesGlobal();
            default:
                return anyNode();
        }
    }
    int anyNode() { return _data.intInRange(0, _graph.numNodesGlobal() - 1); }
    int port(int count) { return _data.intInRange(-1, count); }

    FuzzInput& _data;
    Renderer& _renderer;
    Graph& _graph;
    FrameLog& _log;
};

// The pass id of a node, or -1 for groups and the root.
int passOf(const Builder& built, int node) {
    return built.passNodes.indexOf(node);
}

// A set of the nodes -1 (the root) to n, as flags: a hash set made an allocation per node.
class NodeSet {
public:
    explicit NodeSet(int n) : _flags(size_t(n) + 2, 0) {}
    bool contains(int node) const { return inRange(node) && _flags[size_t(node) + 1]; }
    void insert(int node, int frame) {
        if (!inRange(node))
            fail(frame, QStringLiteral("a walk ended at node %1, outside the table").arg(node));
        _flags[size_t(node) + 1] = 1;
    }

private:
    bool inRange(int node) const { return node >= -1 && size_t(node) + 1 < _flags.size(); }
    std::vector<char> _flags;
};

// The nodes a frame needs: the nodes feeding the renderer's outputs, the target if it is a
// node of the table, every pass when culling is off, and every node upstream of them through
// producers.
NodeSet neededNodes(const Renderer& renderer, const Builder& built, int frame) {
    const Graph& g = *renderer.getGraph();
    QVector<int> pending;
    for (int o = 0; o < renderer.numOutputs(); ++o) {
        int node = Graph::kRootNodeRef, port = o;
        if (g.walkDown(node, port)) pending.append(node);
    }
    const int target = renderer.target();
    if (target >= 0 && target < g.numNodesGlobal()) pending.append(target);
    if (!renderer.culling()) pending += built.passNodes;
    NodeSet needed(g.numNodesGlobal());
    while (!pending.isEmpty()) {
        const int node = pending.takeLast();
        if (needed.contains(node)) continue;
        needed.insert(node, frame);
        for (int i = 0; i < g.numInputs(node); ++i) {
            int producer = node, port = i;
            if (g.walkToSourceNode(producer, port)) pending.append(producer);
        }
    }
    return needed;
}

void checkFrame(const Renderer& renderer, const Builder& built, const FrameLog& log, bool result) {
    const Graph& g = *renderer.getGraph();
    const NodeSet needed = neededNodes(renderer, built, log.frame);
    const bool oneAtATime = renderer.maxPassesInFlight() == 1;
    const QVector<int> order = log.order();
    QVector<int> ranAt(built.passes.size(), -1);
    for (int k = 0; k < order.size(); ++k) {
        const int id = order[k];
        if (ranAt[id] != -1) fail(log.frame, QStringLiteral("pass %1 ran twice").arg(id));
        ranAt[id] = k;
        const int node = built.passNodes[id];
        if (!renderer.enabled(node))
            fail(log.frame, QStringLiteral("disabled pass %1 ran").arg(id));
        if (!needed.contains(node)) fail(log.frame, QStringLiteral("pass %1 ran unneeded").arg(id));
    }
    for (int k = 0; k < order.size(); ++k) {
        const int id = order[k];
        const int node = built.passNodes[id];
        for (int i = 0; i < g.numInputs(node); ++i) {
            int producer = node, port = i;
            if (!g.walkToSourceNode(producer, port)) continue;
            const int from = passOf(built, producer);
            // A loop through container ports is cut where the frame meets it: skip those.
            if (from != -1 && renderer.enabled(producer) && !g.precedes(node, producer, true) &&
                !(ranAt[from] != -1 && ranAt[from] < k))
                fail(log.frame,
                     QStringLiteral("pass %1 ran before its producer %2").arg(id).arg(from));
        }
    }

    // The first error ends the frame: the failing pass is the last to run, and only then is
    // the result false. Without an error every needed, enabled pass has run.
    int failedAt = -1;
    for (int k = 0; k < order.size() && failedAt == -1; ++k) {
        if (built.passes[order[k]]->errorCode() != 0) failedAt = k;
    }
    // With passes in flight, those started while the failing one was still working end too.
    if (oneAtATime && failedAt != -1 && failedAt != order.size() - 1)
        fail(log.frame, QStringLiteral("%1 passes ran after pass %2 failed")
                            .arg(order.size() - 1 - failedAt)
                            .arg(order[failedAt]));
    if (result != (failedAt == -1))
        fail(log.frame, QStringLiteral("render() returned %1").arg(result));
    if (renderer.getNumPasses() != order.size())
        fail(log.frame, QStringLiteral("getNumPasses() is %1 after %2 runs")
                            .arg(renderer.getNumPasses())
                            .arg(order.size()));
    if (failedAt == -1) {
        for (int id = 0; id < built.passes.size(); ++id) {
            const int node = built.passNodes[id];
            if (needed.contains(node) && renderer.enabled(node) && ranAt[id] == -1)
                fail(log.frame, QStringLiteral("needed, enabled pass %1 did not run").arg(id));
        }
    }

    // What the inspection says of every node matches what the frame did.
    for (int node = -1; node <= g.numNodesGlobal(); ++node) {
        const int id = passOf(built, node);
        NodeOutcome expected = NodeOutcome::Unknown;
        if (id == -1) {
            if (g.isValidNode(node)) expected = NodeOutcome::NoPass;
        } else if (!needed.contains(node)) {
            expected = NodeOutcome::NotNeeded;
        } else if (!renderer.enabled(node)) {
            expected = NodeOutcome::Disabled;
        } else if (ranAt[id] == -1) {
            expected = NodeOutcome::NotReached;
        } else {
            expected = built.passes[id]->errorCode() ? NodeOutcome::Failed : NodeOutcome::Ran;
        }
        if (renderer.outcome(node) != expected)
            fail(log.frame, QStringLiteral("node %1: outcome %2, expected %3")
                                .arg(node)
                                .arg(int(renderer.outcome(node)))
                                .arg(int(expected)));
        // A group or the root was needed when a live pass inside it was.
        bool wasNeeded = g.isValidNode(node) && needed.contains(node);
        if (id == -1 && g.isValidNode(node)) {
            wasNeeded = std::any_of(built.passNodes.begin(), built.passNodes.end(), [&](int pass) {
                return g.isValidNode(pass) && g.contains(node, pass) && needed.contains(pass);
            });
        }
        if (renderer.wasNeeded(node) != wasNeeded)
            fail(log.frame, QStringLiteral("node %1: wasNeeded is wrong").arg(node));
        if (expected == NodeOutcome::Failed &&
            renderer.failureCode(node) != built.passes[id]->errorCode())
            fail(log.frame, QStringLiteral("node %1: wrong failure code").arg(node));
    }
}

// Every transition of the synchronisation plan comes before a step of the schedule and waits
// for an earlier access (or the step itself, for what it read of the frame before), and a read
// after write waits for the step that wrote.
void checkSyncPlan(const Renderer& renderer, int frame) {
    const Vantrel::Orv::SyncPlan plan = renderer.syncPlan();
    if (!renderer.syncPlanning()) return;
    if (plan.firstOfStep.size() != plan.numSteps() + 1 ||
        plan.firstOfStep.last() != plan.transitions.size())
        fail(frame, QStringLiteral("the synchronisation plan's batches do not add up"));
    for (int s = 0; s < plan.numSteps(); ++s) {
        for (const Vantrel::Orv::Transition& t : plan.transitionsBefore(s)) {
            const bool wellPlaced = t.step == s && t.waitStep <= s && t.producerStep >= 0 &&
                                    t.producerStep < plan.numSteps() &&
                                    plan.nodes.at(t.producerStep) == t.node;
            const bool raw = t.reason != Vantrel::Orv::Transition::Reason::ReadAfterWrite ||
                             (t.waitStep == t.producerStep && t.waitStep < s);
            if (!wellPlaced || !raw)
                fail(frame, QStringLiteral("transition before step %1 out of place").arg(s));
        }
    }
}

// The explanations, the trace and the picture of the latest frame. Only after an input's last
// frame, and only for inputs that ask for it: frame k of an input is the last frame of the same
// bytes with k frames, and the same bytes with the flag set inspect it, so this covers the same
// states. Made on every frame, these texts took a third of the fuzzer's time.
void checkInspection(const Renderer& renderer, int frame) {
    const Graph& g = *renderer.getGraph();
    for (int node = -1; node <= g.numNodesGlobal(); ++node) {
        if (renderer.explain(node).isEmpty())
            fail(frame, QStringLiteral("node %1: no explanation").arg(node));
    }
    if (QJsonDocument::fromJson(renderer.traceJson()).isNull())
        fail(frame, QStringLiteral("the trace is not JSON"));
    if (frameAsDot(renderer).isEmpty()) fail(frame, QStringLiteral("no picture of the frame"));
}

// Passes in flight are polled again as soon as the wait returns: a frame's calls do not depend
// on how long it waits, and the renderer's own 100 microsecond sleeps held most inputs up for
// longer than their work.
void pollAgain(Renderer& renderer, const FrameLog& log) {
    renderer.setWaitFunction([&log](const QVector<Vantrel::Orv::RenderPass*>& inFlight) {
        if (inFlight.isEmpty()) fail(log.frame, QStringLiteral("a wait for no pass in flight"));
    });
}

// What one frame of a renderer rebuilt from the same bytes did.
struct Rerun {
    Calls calls;
    bool result = false;
    QVector<QVector<QVariant>> outputs;  // the passes' outputs after the frame
};

// Rebuilds the renderer from the same bytes, gives it the checked renderer's set-up (with
// `limit` passes in flight) and the passes' outputs from before the frame, and renders one
// frame.
Rerun rerun(const uint8_t* bytes, size_t size, const Builder& built,
            const QVector<QVector<QVariant>>& before, int limit, int frame) {
    FuzzInput data(bytes, size);
    FrameLog log;
    log.frame = frame;
    Renderer renderer;
    Builder builder(data, renderer, log);
    builder.build();
    pollAgain(renderer, log);
    built.copySetUpTo(builder, before);
    renderer.setMaxPassesInFlight(limit);
    RenderCallbacks callbacks;
    Rerun rerun;
    rerun.result = renderer.render(&callbacks);
    rerun.calls = log.calls;
    rerun.outputs = builder.passOutputs();
    return rerun;
}

// A frame depends on nothing but the set-up and the passes' outputs from before it: it makes
// exactly the calls, and returns what, a rebuilt renderer makes as its first frame. With passes
// in flight, what each pass receives is what it receives one pass at a time: the passes that
// run both ways write the same outputs (a pass writes a hash of its inputs), and without a
// failure each pass receives the same calls.
void checkAgainstRebuilt(const uint8_t* bytes, size_t size, const Renderer& renderer,
                         const Builder& built, const QVector<QVector<QVariant>>& before, int frame,
                         const Calls& calls, bool result) {
    const int limit = renderer.maxPassesInFlight();
    const Rerun same = rerun(bytes, size, built, before, limit, frame);
    if (same.calls != calls)
        fail(frame, QStringLiteral("the calls differ from a first frame's:\n%1\nfirst frame:\n%2")
                        .arg(describe(calls), describe(same.calls)));
    if (same.result != result)
        fail(frame,
             QStringLiteral("render() returned %1, a first frame %2").arg(result).arg(same.result));
    if (limit == 1) return;

    const Rerun single = rerun(bytes, size, built, before, 1, frame);
    FrameLog singleLog;
    singleLog.calls = single.calls;
    const QVector<int> ranSingly = singleLog.order();
    const QVector<QVector<QVariant>> after = built.passOutputs();
    for (const Call& c : calls) {
        const int p = c.pass;
        if (c.kind == Call::Start && ranSingly.contains(p) && after[p] != single.outputs[p])
            fail(frame, QStringLiteral("pass %1 received other values than one at a time: %2, "
                                       "one at a time %3")
                            .arg(p)
                            .arg(after[p].value(0).toULongLong(), 0, 16)
                            .arg(single.outputs[p].value(0).toULongLong(), 0, 16));
    }
    if (result && single.result && byPass(calls) != byPass(single.calls))
        fail(frame, QStringLiteral("the passes' calls differ from one at a time:\n%1\none at a "
                                   "time:\n%2")
                        .arg(describe(calls), describe(single.calls)));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    static const QtMessageHandler previous = qInstallMessageHandler(countMessage);
    (void)previous;
    g_messages = 0;

    FuzzInput data(bytes, size);
    FrameLog log;
    Renderer renderer;
    Builder builder(data, renderer, log);
    builder.build();
    pollAgain(renderer, log);

    RenderCallbacks callbacks;
    renderer.setup(&callbacks);
    const int frames = data.intInRange(1, 4);
    for (int f = 1; f <= frames; ++f) {
        builder.prepareFrame();
        const QVector<QVector<QVariant>> before = builder.passOutputs();
        log.calls.clear();
        log.frame = f;
        const bool result = renderer.render(&callbacks);
        const Calls calls = log.calls;  // before the checks' own calls
        checkFrame(renderer, builder, log, result);
        checkSyncPlan(renderer, log.frame);
        // Frame k of an input is the last frame of the same bytes with k frames, so comparing
        // the last frames covers every frame. Rebuilding the renderers for every frame was half
        // of the fuzzer's time.
        if (f == frames)
            checkAgainstRebuilt(bytes, size, renderer, builder, before, log.frame, calls, result);
    }
    // Read after the frames, so that an input's frames mean what they did before the flag.
    if (data.flag()) checkInspection(renderer, log.frame);
    renderer.teardown(&callbacks);
    if (g_messages != 0)
        fail(log.frame, QStringLiteral("the renderer wrote %1 messages").arg(g_messages));
    return 0;
}
