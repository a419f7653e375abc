#include <Orv/Renderer.h>

#include "render/inrange_p.h"
#include "render/renderer_p.h"

#include <QThread>

#include <algorithm>
#include <limits>
#include <utility>
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
QVariant inputValue(const detail::RendererData& d, const QVector<bool>& enabled, RenderPass* pass,
                    int input, const detail::FramePlan::Feed& feed) {
    if (feed.pass == detail::FramePlan::Feed::kParameter) return d.parameters.at(feed.port);
    if (feed.pass >= 0 && enabled.at(feed.pass)) return feed.producer->output(feed.port);
    return pass->defaultValue(input);
}

// The calls that start a pass: its inputs, its user counts, its error code, beginFrame, start.
// Returns the pass's span in the frame's trace when timing is on, else -1.
int startPass(detail::RendererData& d, const QVector<bool>& enabled,
              const detail::FramePlan::Step& step, RenderCallbacks* callbacks) {
    RenderPass* pass = step.pass;
    const std::vector<detail::FramePlan::Feed>& feeds = d.plan.feeds();
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
    const std::vector<detail::FramePlan::OutputUsers>& users = d.plan.users();
    for (int u = step.firstUsers; u < step.firstUsers + step.numUsers; ++u)
        pass->setNumOutputUsers(users[size_t(u)].output, users[size_t(u)].users);

    pass->setErrorCode(0);
    int span = -1;
    if (d.currentTrace) {
        span = int(d.currentTrace->spans.size());
        d.currentTrace->spans.push_back(
            detail::PassSpan{detail::readTicks(d.clock), -1, step.node, 0});
    }
    pass->beginFrame(callbacks);
    pass->start(callbacks);
    ++d.passesRun;
    return span;
}

// The calls that end a pass that has finished; false when it reports an error, which the
// frame keeps with the step.
bool endPass(detail::RendererData& d, int s, int span, RenderCallbacks* callbacks) {
    RenderPass* pass = d.plan.schedule()[size_t(s)].pass;
    pass->endFrame(callbacks);
    const unsigned int code = pass->errorCode();
    if (span >= 0) {
        detail::PassSpan& timed = d.currentTrace->spans[size_t(span)];
        timed.end = detail::readTicks(d.clock);
        timed.errorCode = code;
    }
    if (code == 0) return true;
    d.latest.failures.emplace_back(s, code);
    return false;
}

// One pass at a time: the enabled passes of the schedule in order, each polled until it
// finishes; false as soon as one fails.
bool runSchedule(detail::RendererData& d, RenderCallbacks* callbacks) {
    const std::vector<detail::FramePlan::Step>& schedule = d.plan.schedule();
    const int numSteps = int(schedule.size());
    for (int s = 0; s < numSteps; ++s) {
        const detail::FramePlan::Step& step = schedule[size_t(s)];
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
// seldom passes a word twice, and it never starts when nothing is ready.
class ReadySteps {
public:
    // Empties the set, for `numSteps` steps kept in `words`.
    void reset(std::vector<quint64>& words, int numSteps) {
        words.assign(size_t(numSteps + 63) / 64, 0);
        _words = words.data();
        _first = 0;
        _count = 0;
    }
    void insert(int step) {
        const int word = int(unsigned(step) / 64);
        _words[word] |= quint64(1) << (unsigned(step) % 64);
        if (word < _first) _first = word;
        ++_count;
    }
    int takeLowest() {  // -1 when none
        if (_count == 0) return -1;
        --_count;
        while (_words[_first] == 0) ++_first;
        quint64& bits = _words[_first];
        const int step = _first * 64 + __builtin_ctzll(bits);
        bits &= bits - 1;
        return step;
    }

private:
    quint64* _words = nullptr;
    int _first = 0;
    int _count = 0;
};

// A frame with up to `limit` passes in flight. A pass starts, in schedule order, once the
// earlier passes whose outputs it reads have ended; a pass that must wait holds back no other.
// While none can start, those in flight are polled in the order they started, and each that
// has finished is ended at once. After a failure nothing more starts, but the passes in flight
// are still polled and ended: their work cannot be abandoned.
//
// When every pass finishes at its first poll, the frame is a fixed sequence of rounds that
// depends only on the plan, the limit and the enabled flags. The renderer keeps the rounds of
// such a frame, and the next frame with the same three follows them without counting
// producers, which then costs about what one pass at a time does. At the first pass that has
// not finished or that fails, the frame counts what has ended and goes on as usual from there.
class OverlappedFrame {
public:
    using Running = detail::OverlapScratch::Running;

    OverlappedFrame(detail::RendererData& d, int limit, RenderCallbacks* callbacks)
        : _d(d),
          _plan(d.plan),
          _schedule(d.plan.schedule().data()),
          _numSteps(int(d.plan.schedule().size())),
          _enabled(d.enabled),
          _limit(limit),
          _callbacks(callbacks),
          _scratch(d.overlap),
          _room(std::min(limit, _numSteps)) {
        _d.latest.started.assign(size_t(_numSteps), 0);
        _started = _d.latest.started.data();
        _scratch.inFlight.resize(size_t(_room));
        _inFlight = _scratch.inFlight.data();
    }

    bool run() {
        const detail::PromptRounds& prompt = _scratch.prompt;
        if (prompt.limit == _limit && prompt.enabled == _enabled) {
            if (follow(prompt)) return true;
        } else {
            // Recorded, to be kept if the frame turns out prompt.
            _recording = true;
            _scratch.recordedOrder.clear();
            _scratch.recordedEnds.clear();
            count(nullptr, 0);
        }
        runRounds();
        if (_recording && _prompt && _d.latest.failures.empty()) keepRounds();
        return _d.latest.failures.empty();
    }

private:
    // Follows the rounds of a prompt frame. False, with the frame counted and mid-round, at the
    // first pass that has not finished or that fails.
    bool follow(const detail::PromptRounds& rounds) {
        // Locals, so that they stay in registers across the passes' calls.
        detail::RendererData& d = _d;
        const detail::FramePlan::Step* const schedule = _schedule;
        const int* const order = rounds.order.data();
        Running* const inFlight = _inFlight;
        int first = 0;
        for (const int end : rounds.ends) {
            for (int k = first; k < end; ++k) {
                const int s = order[k];
                _started[s] = 1;
                inFlight[k - first] = Running{s, startPass(d, _enabled, schedule[s], _callbacks)};
            }
            for (int k = first; k < end; ++k) {
                const Running running = inFlight[k - first];
                const bool finished = schedule[running.step].pass->isFinished();
                if (finished && endPass(d, running.step, running.span, _callbacks)) continue;
                // The passes before this one have ended; this one is still working, or it
                // failed. The round goes on with the next.
                count(order, k);
                _numInFlight = end - first;
                int kept = 0;
                if (finished)
                    _room = 0;
                else
                    inFlight[kept++] = running;
                pollRound(k - first + 1, kept, k > first || finished);
                return false;
            }
            first = end;
        }
        return true;
    }

    // Counts, by step, the producers that have not ended, when the steps ended[0...numEnded)
    // have, and readies the steps that wait for none and have not started. A disabled producer
    // never runs, so its consumers do not wait for it; consumers come after their producers,
    // so one pass in order settles every count. A disabled step itself waits for ever.
    void count(const int* ended, int numEnded) {
        _scratch.waiting = _plan.producerCounts();
        _waiting = _scratch.waiting.data();
        auto release = [this](const detail::FramePlan::Step& step) {
            const int* const consumers = _plan.consumerSteps() + step.firstConsumerStep;
            for (int c = 0; c < step.numConsumerSteps; ++c) --_waiting[consumers[c]];
        };
        const int kNever = std::numeric_limits<int>::max() / 2;
        for (int s = 0; s < _numSteps; ++s) {
            if (_enabled.at(_schedule[s].passIndex)) continue;
            _waiting[s] = kNever;
            release(_schedule[s]);
        }
        for (int k = 0; k < numEnded; ++k) release(_schedule[ended[k]]);
        _ready.reset(_scratch.readyWords, _numSteps);
        for (int s = 0; s < _numSteps; ++s) {
            if (_waiting[s] == 0 && !_started[s]) _ready.insert(s);
        }
    }

    // Starts what is ready, and polls and ends until nothing is in flight.
    void runRounds() {
        for (;;) {
            while (_numInFlight < _room) {
                const int s = _ready.takeLowest();
                if (s < 0) break;
                _inFlight[_numInFlight++] = start(s);
            }
            if (_numInFlight == 0) return;
            if (_recording) _scratch.recordedEnds.push_back(int(_scratch.recordedOrder.size()));
            pollRound(0, 0, false);
        }
    }

    // Polls the passes in flight from position `from` on, in the order they started, and ends
    // each that has finished; `kept` passes before `from` are still in flight, and `ended`
    // says whether one of this round has ended. When none has, waits a poll interval.
    void pollRound(int from, int kept, bool ended) {
        for (int k = from; k < _numInFlight; ++k) {
            const Running running = _inFlight[k];
            if (!_schedule[running.step].pass->isFinished()) {
                _prompt = false;
                _inFlight[kept++] = running;
                continue;
            }
            ended = true;
            if (!end(running)) _room = 0;
        }
        _numInFlight = kept;
        if (!ended) QThread::usleep(100);
    }

    Running start(int s) {
        _started[s] = 1;
        if (_recording) _scratch.recordedOrder.push_back(s);
        return Running{s, startPass(_d, _enabled, _schedule[s], _callbacks)};
    }

    // Ends a pass that has finished and readies the steps that waited only for it.
    bool end(const Running& running) {
        if (!endPass(_d, running.step, running.span, _callbacks)) return false;
        const detail::FramePlan::Step& step = _schedule[running.step];
        const int* const consumers = _plan.consumerSteps() + step.firstConsumerStep;
        for (int c = 0; c < step.numConsumerSteps; ++c) {
            if (--_waiting[consumers[c]] == 0) _ready.insert(consumers[c]);
        }
        return true;
    }

    void keepRounds() {
        detail::PromptRounds& prompt = _scratch.prompt;
        prompt.order.swap(_scratch.recordedOrder);
        prompt.ends.swap(_scratch.recordedEnds);
        prompt.limit = _limit;
        prompt.enabled = _enabled;
    }

    detail::RendererData& _d;
    const detail::FramePlan& _plan;
    const detail::FramePlan::Step* const _schedule;
    const int _numSteps;
    // The frame's own copy (shared until written): a pass that switches another mid-frame
    // must not leave a consumer waiting for a producer that will never end.
    const QVector<bool> _enabled;
    const int _limit;
    RenderCallbacks* const _callbacks;
    detail::OverlapScratch& _scratch;

    char* _started = nullptr;  // by step
    int* _waiting = nullptr;   // by step: producers not yet ended
    ReadySteps _ready;
    Running* _inFlight = nullptr;  // in the order they started
    int _numInFlight = 0;
    int _room;                // room for passes in flight; none after a failure
    bool _prompt = true;      // every pass has finished at its first poll
    bool _recording = false;  // the rounds are being recorded, from the frame's start
};

// Passes that did not run this frame (disabled, or cut off by a failure) still hand over the
// values of their latest run.
void collectOutputs(detail::RendererData& d) {
    const std::vector<detail::FramePlan::Collected>& collected = d.plan.collected();
    for (int o = 0; o < int(collected.size()); ++o) {
        const detail::FramePlan::Collected& collect = collected[size_t(o)];
        if (collect.passIndex >= 0)
            d.outputs[o] = d.passes.at(collect.passIndex)->output(collect.port);
    }
}

// The next entry of the ring of frame traces, emptied for the frame that starts now.
detail::FrameTrace& beginTrace(detail::RendererData& d) {
    detail::FrameTrace* trace = nullptr;
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
    trace->startTicks = detail::readTicks(d.clock);
    trace->end = trace->start;
    return *trace;
}

// Ends the frame's trace: its spans' ticks become nanoseconds, scaled between the clock and
// tick readings at the frame's start and end.
void endTrace(detail::RendererData& d, detail::FrameTrace& trace) {
    trace.end = d.clock.nsecsElapsed();
    const qint64 endTicks = detail::readTicks(d.clock);
    const double scale = endTicks > trace.startTicks
                             ? double(trace.end - trace.start) / double(endTicks - trace.startTicks)
                             : 0.0;
    auto toNs = [&](qint64 ticks) {
        return trace.start + qint64(double(ticks - trace.startTicks) * scale + 0.5);
    };
    for (detail::PassSpan& span : trace.spans) {
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

detail::RendererData::~RendererData() {
    for (RenderPass* pass : passes) delete pass;
}

Renderer::Renderer() : d(new detail::RendererData) {}

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
    if (!detail::inRange(d->parameters, index)) return QMetaType::UnknownType;
    return typeOf(d->parameters.at(index));
}

void Renderer::setParameter(int index, const QVariant& value) {
    if (detail::inRange(d->parameters, index)) d->parameters[index] = value;
}

QVariant Renderer::parameterValue(int index) {
    return std::as_const(*this).parameterValue(index);
}

QVariant Renderer::parameterValue(int index) const {
    return detail::inRange(d->parameters, index) ? d->parameters.at(index) : QVariant();
}

QMetaType::Type Renderer::outputType(int index) const {
    if (!detail::inRange(d->outputs, index)) return QMetaType::UnknownType;
    return typeOf(d->outputs.at(index));
}

QVariant Renderer::output(int index) const {
    return detail::inRange(d->outputs, index) ? d->outputs.at(index) : QVariant();
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
    // Unchanged flags are not written, so that the frames' copies stay shared.
    if (!d->isPassIndex(passIndex) || d->enabled.at(passIndex) == enabled) return;
    d->enabled[passIndex] = enabled;
}

bool Renderer::setMaxPassesInFlight(int limit) {
    if (limit < 1) return false;
    d->maxPassesInFlight = limit;
    return true;
}

int Renderer::maxPassesInFlight() const {
    return d->maxPassesInFlight;
}

void Renderer::setCulling(bool culling) {
    d->culling = culling;
}

bool Renderer::culling() const {
    return d->culling;
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
    detail::LatestFrame& latest = d->latest;
    ++latest.number;
    latest.reached = 0;
    latest.failures.clear();
    latest.overlapped = d->maxPassesInFlight > 1;
    d->currentTrace = d->timing ? &beginTrace(*d) : nullptr;
    beginFrame(callbacks);

    if (!d->plan.isCurrent(d->graph, d->target, d->passes.size(), d->culling)) {
        d->plan.build(d->graph, d->target, d->passes, d->parameters.size(), d->outputs.size(),
                      d->culling);
        d->overlap.prompt.limit = 0;  // its rounds were taken on the old plan
    }
    if (d->plan.hasRoots()) {
        result = latest.overlapped ? OverlappedFrame(*d, d->maxPassesInFlight, callbacks).run()
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
