#include <Orv/Renderer.h>

#include "inrange_p.h"
#include "renderer_p.h"

#include <QThread>

#include <algorithm>
#include <limits>
#include <vector>

namespace Vantrel {
namespace Orv {

namespace {

// Clears the renderer's busy flag however the frame is left.
class RenderingScope {
public:
    explicit RenderingScope(bool& flag) : _flag(flag) { _flag = true; }
    ~RenderingScope() { _flag = false; }
    RenderingScope(const RenderingScope&) = delete;
    RenderingScope& operator=(const RenderingScope&) = delete;

private:
    bool& _flag;
};

// `enabled` is the renderer's own flags, or the copy a frame with passes in flight works on.
QVariant inputValue(const RendererData& d, const QVector<bool>& enabled, RenderPass* pass,
                    int input, const FramePlan::Feed& feed) {
    if (feed.pass == FramePlan::Feed::kParameter) return d.parameters.at(feed.port);
    if (feed.pass >= 0 && enabled.at(feed.pass)) return feed.producer->output(feed.port);
    return pass->defaultValue(input);
}

// The calls that start a pass: its inputs, its user counts, its error code, beginFrame, start.
// Returns the pass's span in the frame's trace when timing is on, else -1.
int startPass(RendererData& d, const QVector<bool>& enabled, const FramePlan::Step& step,
              RenderCallbacks* callbacks) {
    RenderPass* pass = step.pass;
    const std::vector<FramePlan::Feed>& feeds = d.plan.feeds();
    const int numInputs = pass->numInputs();
    for (int i = 0; i < numInputs; ++i) {
        // Only a pass that grew inputs after it was added has inputs beyond its node's; nothing
        // feeds them.
        const QVariant value =
            i < step.numInputs ? inputValue(d, enabled, pass, i, feeds[size_t(step.firstFeed + i)])
                               : pass->defaultValue(i);
        pass->setInput(i, value);
    }

    pass->resetNumOutputUsers();
    const std::vector<FramePlan::OutputUsers>& users = d.plan.users();
    for (int u = step.firstUsers; u < step.firstUsers + step.numUsers; ++u)
        pass->setNumOutputUsers(users[size_t(u)].output, users[size_t(u)].users);

    pass->setErrorCode(0);
    int span = -1;
    if (d.currentTrace) {
        span = int(d.currentTrace->spans.size());
        d.currentTrace->spans.push_back(PassSpan{readTicks(d.clock), -1, step.node, 0});
    }
    pass->beginFrame(callbacks);
    pass->start(callbacks);
    ++d.passesRun;
    return span;
}

// The calls that end a pass that has finished; false when it reports an error, which the
// frame keeps with the step.
bool endPass(RendererData& d, int s, int span, RenderCallbacks* callbacks) {
    RenderPass* pass = d.plan.schedule()[size_t(s)].pass;
    pass->endFrame(callbacks);
    const unsigned int code = pass->errorCode();
    if (span >= 0) {
        PassSpan& timed = d.currentTrace->spans[size_t(span)];
        timed.end = readTicks(d.clock);
        timed.errorCode = code;
    }
    if (code == 0) return true;
    d.latest.failures.emplace_back(s, code);
    return false;
}

// One pass at a time: the enabled passes of the schedule in order, each polled until it
// finishes; false as soon as one fails.
bool runSchedule(RendererData& d, RenderCallbacks* callbacks) {
    const std::vector<FramePlan::Step>& schedule = d.plan.schedule();
    const int numSteps = int(schedule.size());
    for (int s = 0; s < numSteps; ++s) {
        const FramePlan::Step& step = schedule[size_t(s)];
        if (!d.enabled.at(step.passIndex)) continue;
        const int span = startPass(d, d.enabled, step, callbacks);
        while (!step.pass->isFinished()) QThread::usleep(100);
        if (!endPass(d, s, span, callbacks)) {
            d.latest.reached = s + 1;
            return false;
        }
    }
    d.latest.reached = numSteps;
    return true;
}

// The steps that may start, lowest position first: one bit per step, the first word that may
// hold a bit, and how many are set. Steps mostly become ready in schedule order, so the search
// seldom passes a word twice, and it never starts when nothing is ready. A step that is ready
// alone, which is every step of a chain, waits in a slot of its own and skips the bitmap.
class ReadySteps {
public:
    // Starts with the steps set in `words` (one bit per step), `count` of them.
    ReadySteps(std::vector<quint64>& words, int count) : _words(words.data()), _count(count) {}
    // Out of line: inlined into the loops over a pass's consumers, it had them carry the set's
    // state in registers round every consumer, which costs more than the call.
    Q_NEVER_INLINE void insert(int step) {
        if (_count++ == 0) {
            _alone = step;
            return;
        }
        if (_alone >= 0) {
            setBit(_alone);
            _alone = -1;
        }
        setBit(step);
    }
    int size() const { return _count; }
    int takeLowest() {  // -1 when none
        if (_count == 0) return -1;
        --_count;
        if (_alone >= 0) {
            const int step = _alone;
            _alone = -1;
            return step;
        }
        while (_words[_first] == 0) ++_first;
        quint64& bits = _words[_first];
        const int step = _first * 64 + __builtin_ctzll(bits);
        bits &= bits - 1;
        return step;
    }

private:
    void setBit(int step) {
        const int word = int(unsigned(step) / 64);
        _words[word] |= quint64(1) << (unsigned(step) % 64);
        if (word < _first) _first = word;
    }

    quint64* _words = nullptr;
    int _first = 0;
    int _count = 0;
    int _alone = -1;  // the only ready step, when it is not in the bitmap
};

// Up to `limit` passes in flight. A pass starts, in schedule order, once the earlier passes
// whose outputs it reads have ended; a pass that must wait holds back no other. While none can
// start, those in flight are polled in the order they started, and each that has finished is
// ended at once. After a failure nothing more starts, but the passes in flight are still
// polled and ended: their work cannot be abandoned. When passes finish as they start, every
// pass is a round of this loop, so it works on plain arrays kept from frame to frame.
bool runOverlapped(RendererData& d, int limit, RenderCallbacks* callbacks) {
    const FramePlan& plan = d.plan;
    const FramePlan::Step* schedule = plan.schedule().data();
    const int numSteps = int(plan.schedule().size());
    const int* const consumerSteps = plan.consumerSteps();
    // The frame's own copy (shared until written): a pass that switches another mid-frame
    // must not leave a consumer waiting for a producer that will never end.
    const QVector<bool> enabled = d.enabled;
    OverlapScratch& scratch = d.overlap;

    // Producers not yet ended, by step; the steps that wait for none are ready from the start.
    scratch.waiting = plan.producerCounts();
    int* waiting = scratch.waiting.data();
    const bool allEnabled = d.numDisabled == 0;
    if (allEnabled)
        scratch.readyWords = plan.readyAtStart();
    else
        scratch.readyWords.assign(plan.readyAtStart().size(), 0);
    ReadySteps ready(scratch.readyWords, allEnabled ? plan.numReadyAtStart() : 0);
    if (!allEnabled) {
        // A disabled producer never runs, so its consumers do not wait for it; consumers come
        // after their producers, so one pass in order settles every count. A disabled step
        // itself waits for ever.
        const int kNever = std::numeric_limits<int>::max() / 2;
        for (int s = 0; s < numSteps; ++s) {
            const FramePlan::Step& step = schedule[s];
            if (!enabled.at(step.passIndex)) {
                waiting[s] = kNever;
                for (int c = 0; c < step.numConsumerSteps; ++c)
                    --waiting[consumerSteps[step.firstConsumerStep + c]];
            } else if (waiting[s] == 0) {
                ready.insert(s);
            }
        }
    }

    d.latest.started.assign(size_t(numSteps), 0);
    char* started = d.latest.started.data();
    auto start = [&](int s) {
        started[s] = 1;
        return OverlapScratch::Running{s, startPass(d, enabled, schedule[s], callbacks)};
    };
    // Ends a pass that has finished and readies the steps that waited only for it.
    auto end = [&](const OverlapScratch::Running& running) {
        if (!endPass(d, running.step, running.span, callbacks)) return false;
        const FramePlan::Step& step = schedule[running.step];
        const int* const consumers = consumerSteps + step.firstConsumerStep;
        for (int c = 0; c < step.numConsumerSteps; ++c) {
            if (--waiting[consumers[c]] == 0) ready.insert(consumers[c]);
        }
        return true;
    };

    // Room for passes in flight; none after a failure, so that nothing more starts.
    int room = std::min(limit, numSteps);
    scratch.inFlight.resize(size_t(room));
    OverlapScratch::Running* inFlight = scratch.inFlight.data();  // in the order they started
    int numInFlight = 0;
    for (;;) {
        while (numInFlight < room) {
            const int s = ready.takeLowest();
            if (s < 0) break;
            inFlight[numInFlight++] = start(s);
        }
        if (numInFlight == 0) break;
        if (numInFlight == 1) {
            // Alone in flight, and nothing else can start before it ends: wait for it as a
            // frame one pass at a time does, and while it hands over to a single ready step,
            // go on alone with that. Every pass of a chain comes this way.
            OverlapScratch::Running running = inFlight[0];
            numInFlight = 0;
            for (;;) {
                while (!schedule[running.step].pass->isFinished()) QThread::usleep(100);
                if (!end(running)) {
                    room = 0;
                    break;
                }
                if (room == 0 || ready.size() != 1) break;
                running = start(ready.takeLowest());
            }
            continue;
        }
        int kept = 0;
        for (int k = 0; k < numInFlight; ++k) {
            const OverlapScratch::Running running = inFlight[k];
            if (!schedule[running.step].pass->isFinished())
                inFlight[kept++] = running;
            else if (!end(running))
                room = 0;
        }
        if (kept == numInFlight) QThread::usleep(100);  // none has finished
        numInFlight = kept;
    }
    return d.latest.failures.empty();
}

// Passes that did not run this frame (disabled, or cut off by a failure) still hand over the
// values of their latest run.
void collectOutputs(RendererData& d) {
    const std::vector<FramePlan::Collected>& collected = d.plan.collected();
    for (int o = 0; o < int(collected.size()); ++o) {
        const FramePlan::Collected& collect = collected[size_t(o)];
        if (collect.passIndex >= 0)
            d.outputs[o] = d.passes.at(collect.passIndex)->output(collect.port);
    }
}

// The next entry of the ring of frame traces, emptied for the frame that starts now.
FrameTrace& beginTrace(RendererData& d) {
    FrameTrace* trace = nullptr;
    if (d.traces.size() < size_t(d.timingHistory)) {
        d.traces.emplace_back();
        trace = &d.traces.back();
    } else {
        trace = &d.traces[d.traceHead];
        d.traceHead = (d.traceHead + 1) % d.traces.size();
        trace->spans.clear();
    }
    trace->number = d.latest.number;
    trace->start = d.clock.nsecsElapsed();
    trace->startTicks = readTicks(d.clock);
    trace->end = trace->start;
    return *trace;
}

// Ends the frame's trace: its spans' ticks become nanoseconds, scaled between the clock and
// tick readings at the frame's start and end.
void endTrace(RendererData& d, FrameTrace& trace) {
    trace.end = d.clock.nsecsElapsed();
    const qint64 endTicks = readTicks(d.clock);
    const double scale = endTicks > trace.startTicks
                             ? double(trace.end - trace.start) / double(endTicks - trace.startTicks)
                             : 0.0;
    auto toNs = [&](qint64 ticks) {
        return trace.start + qint64(double(ticks - trace.startTicks) * scale + 0.5);
    };
    for (PassSpan& span : trace.spans) {
        span.start = toNs(span.start);
        // Counters of different cores may differ by a little: a span never ends before it starts.
        span.end = std::max(span.start, span.end < 0 ? trace.end : toNs(span.end));
    }
}

// What QVariant::type() reports: every type the host registered is QMetaType::User.
QMetaType::Type typeOf(const QVariant& value) {
    const int type = value.userType();
    return static_cast<QMetaType::Type>(type >= QMetaType::User ? int(QMetaType::User) : type);
}

}  // namespace

RendererData::~RendererData() {
    for (RenderPass* pass : passes) delete pass;
}

Renderer::Renderer() : d(new RendererData) {}

Renderer::~Renderer() {
    delete d;
}

Graph* Renderer::getGraph() {
    return &d->graph;
}

const Graph* Renderer::getGraph() const {
    return &d->graph;
}

int Renderer::addGroup(const QString& name, int numInputs, int numOutputs, int parent) {
    return d->graph.addNode(name, numInputs, numOutputs, parent);
}

int Renderer::addPass(const QString& name, RenderPass* pass, int parent) {
    if (!pass || d->owned.contains(pass)) return -1;
    if (!d->graph.isValidNode(parent)) {
        delete pass;
        return -1;
    }
    const int passIndex = d->passes.size();
    const int numOutputs = qMax(0, pass->numOutputs());
    const int numInputs = qMax(0, pass->numInputs());
    const int node = d->graph.addNode(name, numInputs, numOutputs, parent);
    if (node < 0) {
        delete pass;
        return -1;
    }
    d->passes.append(pass);
    d->enabled.append(true);
    d->owned.insert(pass);
    for (int i = 0; i < numInputs; ++i) d->graph.setInputName(node, i, pass->inputName(i));
    for (int o = 0; o < numOutputs; ++o) d->graph.setOutputName(node, o, pass->outputName(o));
    d->graph.setNodeValue(node, passIndex);
    return node;
}

int Renderer::addParameter(const QString& name, const QVariant& value) {
    const int index = d->graph.addInput(Graph::kRootNodeRef, name, Graph::kInvalidGroupRef);
    d->parameters.append(value);
    return index;
}

int Renderer::addOutput(const QString& name) {
    const int index = d->graph.addOutput(Graph::kRootNodeRef, name, Graph::kInvalidGroupRef);
    d->outputs.append(QVariant());
    return index;
}

int Renderer::findParameter(const QString& name) const {
    return d->graph.findInput(Graph::kRootNodeRef, name);
}

int Renderer::findOutput(const QString& name) const {
    return d->graph.findOutput(Graph::kRootNodeRef, name);
}

int Renderer::findPass(const QString& name) const {
    return d->graph.findNode(name, Graph::kRootNodeRef);
}

int Renderer::getNumPasses() const {
    return d->passesRun;
}

int Renderer::numParameters() const {
    return d->parameters.size();
}

int Renderer::numOutputs() const {
    return d->outputs.size();
}

QMetaType::Type Renderer::parameterType(int index) const {
    if (!inRange(d->parameters, index)) return QMetaType::UnknownType;
    return typeOf(d->parameters.at(index));
}

void Renderer::setParameter(int index, const QVariant& value) {
    if (inRange(d->parameters, index)) d->parameters[index] = value;
}

QVariant Renderer::parameterValue(int index) {
    return inRange(d->parameters, index) ? d->parameters.at(index) : QVariant();
}

QMetaType::Type Renderer::outputType(int index) const {
    if (!inRange(d->outputs, index)) return QMetaType::UnknownType;
    return typeOf(d->outputs.at(index));
}

QVariant Renderer::output(int index) const {
    return inRange(d->outputs, index) ? d->outputs.at(index) : QVariant();
}

RenderPass* Renderer::renderPass(int node) const {
    const int passIndex = d->graph.nodeValue(node);
    return d->isPassIndex(passIndex) ? d->passes.at(passIndex) : nullptr;
}

bool Renderer::enabled(int node) const {
    const int passIndex = d->graph.nodeValue(node);
    return d->isPassIndex(passIndex) && d->enabled.at(passIndex);
}

void Renderer::setEnabled(int node, bool enabled) {
    const int passIndex = d->graph.nodeValue(node);
    if (!d->isPassIndex(passIndex) || d->enabled.at(passIndex) == enabled) return;
    d->enabled[passIndex] = enabled;
    d->numDisabled += enabled ? -1 : 1;
}

bool Renderer::setMaxPassesInFlight(int limit) {
    if (limit < 1) return false;
    d->maxPassesInFlight = limit;
    return true;
}

int Renderer::maxPassesInFlight() const {
    return d->maxPassesInFlight;
}

void Renderer::setTarget(int node) {
    d->target = node;
}

int Renderer::target() const {
    return d->target;
}

FrameTimer<100>& Renderer::frameTimer() {
    return _frameTimer;
}

const FrameTimer<100>& Renderer::frameTimer() const {
    return _frameTimer;
}

void Renderer::setup(RenderCallbacks* callbacks) {
    // By index: a pass may add passes while it is set up.
    for (int p = 0; p < d->passes.size(); ++p) d->passes.at(p)->setup(callbacks);
}

void Renderer::teardown(RenderCallbacks* callbacks) {
    for (int p = 0; p < d->passes.size(); ++p) d->passes.at(p)->teardown(callbacks);
}

bool Renderer::render(RenderCallbacks* callbacks) {
    // The plan is in use until the frame ends, so a pass cannot start a nested frame.
    if (d->rendering) return false;
    RenderingScope scope(d->rendering);

    d->passesRun = 0;
    bool result = true;
    LatestFrame& latest = d->latest;
    ++latest.number;
    latest.reached = 0;
    latest.failures.clear();
    latest.overlapped = d->maxPassesInFlight > 1;
    d->currentTrace = d->timing ? &beginTrace(*d) : nullptr;
    beginFrame(callbacks);

    if (!d->plan.isCurrent(d->graph, d->target, d->passes.size(), d->culling))
        d->plan.build(d->graph, d->target, d->passes, d->parameters.size(), d->outputs.size(),
                      d->culling);
    if (d->plan.hasRoots()) {
        result = latest.overlapped ? runOverlapped(*d, d->maxPassesInFlight, callbacks)
                                   : runSchedule(*d, callbacks);
        collectOutputs(*d);
    }

    endFrame(callbacks);
    latest.enabled = d->enabled;
    if (d->currentTrace) endTrace(*d, *d->currentTrace);
    d->currentTrace = nullptr;
    return result;
}

void Renderer::beginFrame(RenderCallbacks*) {
    _frameTimer.start();
}

void Renderer::endFrame(RenderCallbacks*) {
    _frameTimer.stop();
}

}  // namespace Orv
}  // namespace Vantrel
