// The synchronisation plan: a walk over the frame plan's schedule as one pass at a time runs
// it, following each output's usage from its write through its reads, plus the memory plan's
// takeovers of bytes and the reads of the frame before. The rules are in Renderer.h.
#include <Orv/Renderer.h>
#include <Orv/SyncPlan.h>

#include "render/renderer_p.h"
#include "render/syncplan_p.h"

#include <utility>
#include <vector>

namespace Vantrel {
namespace Orv {

namespace {

using detail::FramePlan;
using detail::OutputLifetimes;
using detail::RendererData;

// Where one output stands in the walk.
struct Resource {
    int usage = 0;             // current usage this frame, from its write on
    int lastAccess = -1;       // the latest step that wrote or read it
    bool visible = false;      // read since its write
    bool historyRead = false;  // its value of the frame before was read
    int historyUsage = 0;
    int lastHistoryRead = -1;
};

class SyncBuilder {
public:
    SyncBuilder(RendererData& d, const OutputLifetimes& lifetimes)
        : _d(d), _plan(d.plan), _lifetimes(lifetimes) {}

    SyncPlan build() {
        const std::vector<FramePlan::Step>& schedule = _plan.schedule();
        const int numSteps = int(schedule.size());
        SyncPlan result;
        result.nodes.reserve(numSteps);
        result.firstOfStep.reserve(numSteps + 1);
        for (const FramePlan::Step& step : schedule) result.nodes.append(step.node);

        askUsages();
        findTakeovers();
        findEndUsages();

        _resources.assign(_lifetimes.all().size(), Resource());
        std::vector<std::pair<int, bool>> readNow;  // (lifetime, of the frame before)
        for (int s = 0; s < numSteps; ++s) {
            result.firstOfStep.append(result.transitions.size());
            if (!stepRuns(s)) continue;
            const FramePlan::Step& step = schedule[size_t(s)];
            readNow.clear();
            for (int f = step.firstFeed; f < step.firstFeed + step.numInputs; ++f) {
                const int l = readLifetime(f);
                if (l < 0) continue;
                const bool frameBefore = _plan.feedSteps()[size_t(f)].frameBefore;
                if (frameBefore)
                    readHistory(s, l, _inputUsage[size_t(f)], &result.transitions);
                else
                    read(s, l, _inputUsage[size_t(f)], &result.transitions);
                readNow.emplace_back(l, frameBefore);
            }
            // The step becomes the latest access of what it read once all its inputs are
            // through, so that two of its inputs do not wait for each other.
            for (const auto& r : readNow) {
                Resource& resource = _resources[size_t(r.first)];
                (r.second ? resource.lastHistoryRead : resource.lastAccess) = s;
            }
            for (int o = 0; o < _lifetimes.count(s); ++o) write(s, o, &result.transitions);
        }
        result.firstOfStep.append(result.transitions.size());
        rememberEndUsages();
        return result;
    }

private:
    // The usage the frame before left an output in: what the plan of the latest frame that ran
    // its pass said, or, for a pass never planned, what this plan says.
    int leftIn(int l) const {
        const OutputLifetime& lifetime = _lifetimes.all()[size_t(l)];
        const int pass = _plan.schedule()[size_t(lifetime.producerStep)].passIndex;
        return _d.sync.leftIn.value(qMakePair(pass, lifetime.output), _endUsage[size_t(l)]);
    }

    // What this plan leaves each output of a step that runs in, for the frames after it. When
    // that changes what a history read of the next frame starts from, the next frame makes
    // its plan again.
    void rememberEndUsages() {
        for (size_t l = 0; l < _endUsage.size(); ++l) {
            const OutputLifetime& lifetime = _lifetimes.all()[l];
            if (!stepRuns(lifetime.producerStep)) continue;
            const int pass = _plan.schedule()[size_t(lifetime.producerStep)].passIndex;
            int& usage = _d.sync.leftIn[qMakePair(pass, lifetime.output)];
            if (_historyEndUsage[l] >= 0 && usage != _endUsage[l]) _d.sync.followUp = true;
            usage = _endUsage[l];
        }
    }

    bool stepRuns(int s) const { return _d.enabled.at(_plan.schedule()[size_t(s)].passIndex); }

    int usageOf(int s, PortSide side, int port) const {
        const FramePlan::Step& step = _plan.schedule()[size_t(s)];
        if (_d.sync.function) return _function(step.node, side, port);
        const QHash<QPair<int, int>, int>& table =
            side == PortSide::Input ? _d.sync.inputUsages : _d.sync.outputUsages;
        return table.value(qMakePair(step.passIndex, port), 0);
    }

    // Each port is asked once per plan, the host's function through the plan's own copy: it
    // may replace itself while it is asked.
    void askUsages() {
        _function = _d.sync.function;
        const std::vector<FramePlan::Step>& schedule = _plan.schedule();
        _inputUsage.assign(_plan.feeds().size(), 0);
        _outputUsage.assign(_lifetimes.all().size(), 0);
        for (int s = 0; s < int(schedule.size()); ++s) {
            const FramePlan::Step& step = schedule[size_t(s)];
            for (int i = 0; i < step.numInputs; ++i)
                _inputUsage[size_t(step.firstFeed + i)] = usageOf(s, PortSide::Input, i);
            for (int o = 0; o < _lifetimes.count(s); ++o)
                _outputUsage[size_t(_lifetimes.firstOf(s) + o)] = usageOf(s, PortSide::Output, o);
        }
    }

    // The lifetime that feed `f` reads, or -1 when it reads none: a parameter, a default, or
    // the output of a producer switched off.
    int readLifetime(int f) const {
        const FramePlan::Feed& feed = _plan.feeds()[size_t(f)];
        const FramePlan::FeedStep& feedStep = _plan.feedSteps()[size_t(f)];
        if (feed.pass < 0 || !_d.enabled.at(feed.pass) || feedStep.writer < 0) return -1;
        if (feed.port < 0 || feed.port >= _lifetimes.count(feedStep.writer)) return -1;
        return _lifetimes.firstOf(feedStep.writer) + feed.port;
    }

    // The usage each output ends a frame in: its last read's after its write, or its write's;
    // and for the outputs read as of the frame before, the usage the last such read leaves,
    // and whether the renderer keeps two copies (for a history input).
    void findEndUsages() {
        _endUsage = _outputUsage;
        _historyEndUsage.assign(_outputUsage.size(), -1);
        _twoCopies.assign(_outputUsage.size(), 0);
        const std::vector<FramePlan::Step>& schedule = _plan.schedule();
        for (int s = 0; s < int(schedule.size()); ++s) {
            if (!stepRuns(s)) continue;
            const FramePlan::Step& step = schedule[size_t(s)];
            for (int f = step.firstFeed; f < step.firstFeed + step.numInputs; ++f) {
                const int l = readLifetime(f);
                if (l < 0) continue;
                if (!_plan.feedSteps()[size_t(f)].frameBefore) {
                    _endUsage[size_t(l)] = _inputUsage[size_t(f)];
                    continue;
                }
                _historyEndUsage[size_t(l)] = _inputUsage[size_t(f)];
                if (_plan.feeds()[size_t(f)].history) _twoCopies[size_t(l)] = 1;
            }
        }
    }

    // The memory plan's takeovers among the outputs of steps that run: a step switched off
    // writes nothing, so the bytes stay with their holder before it.
    void findTakeovers() {
        const detail::TransientMemory& memory = _d.memory;
        _firstTakeover.assign(_lifetimes.all().size() + 1, 0);
        _takeovers.clear();
        if (memory.planBuild != _plan.buildNumber() || !memory.plan.error.isEmpty()) return;
        std::vector<char> skipped(_lifetimes.all().size(), 0);
        bool anySkipped = false;
        for (size_t l = 0; l < skipped.size(); ++l) {
            skipped[l] = !stepRuns(_lifetimes.all()[l].producerStep);
            anySkipped = anySkipped || skipped[l];
        }
        const std::vector<std::pair<int, int>> found =
            anySkipped ? detail::takeovers(memory.requests, memory.plan, skipped)
                       : memory.takeovers;
        // `found` is by taker, so its holders come out grouped by taker, ascending.
        for (const auto& takeover : found) {
            if (size_t(takeover.second) < _lifetimes.all().size())
                ++_firstTakeover[size_t(takeover.second) + 1];
        }
        for (size_t l = 0; l + 1 < _firstTakeover.size(); ++l)
            _firstTakeover[l + 1] += _firstTakeover[l];
        _takeovers.reserve(found.size());
        for (const auto& takeover : found) {
            if (size_t(takeover.second) < _lifetimes.all().size())
                _takeovers.push_back(takeover.first);
        }
    }

    Transition make(int s, int l, Transition::Reason reason, int waitStep, int from, int to) const {
        const OutputLifetime& lifetime = _lifetimes.all()[size_t(l)];
        Transition t;
        t.step = s;
        t.node = lifetime.node;
        t.output = lifetime.output;
        t.producerStep = lifetime.producerStep;
        t.waitStep = waitStep;
        t.fromUsage = from;
        t.toUsage = to;
        t.writeUsage = _outputUsage[size_t(l)];
        t.reason = reason;
        return t;
    }

    void read(int s, int l, int usage, QVector<Transition>* out) {
        Resource& r = _resources[size_t(l)];
        if (!r.visible) {
            const int writer = _lifetimes.all()[size_t(l)].producerStep;
            out->append(make(s, l, Transition::Reason::ReadAfterWrite, writer,
                             _outputUsage[size_t(l)], usage));
            r.visible = true;
            r.usage = usage;
        } else if (usage != r.usage) {
            out->append(make(s, l, Transition::Reason::UsageChange, r.lastAccess, r.usage, usage));
            r.usage = usage;
        }
    }

    void readHistory(int s, int l, int usage, QVector<Transition>* out) {
        Resource& r = _resources[size_t(l)];
        Transition t;
        if (!r.historyRead) {
            t = make(s, l, Transition::Reason::HistoryRead, Transition::kFrameBefore, leftIn(l),
                     usage);
        } else if (usage != r.historyUsage) {
            t = make(s, l, Transition::Reason::UsageChange, r.lastHistoryRead, r.historyUsage,
                     usage);
        } else {
            return;
        }
        t.frameBefore = true;
        out->append(t);
        r.historyRead = true;
        r.historyUsage = usage;
    }

    void write(int s, int o, QVector<Transition>* out) {
        const int l = _lifetimes.firstOf(s) + o;
        const int usage = _outputUsage[size_t(l)];
        for (int k = _firstTakeover[size_t(l)]; k < _firstTakeover[size_t(l) + 1]; ++k) {
            const int holder = _takeovers[size_t(k)];
            const Resource& h = _resources[size_t(holder)];
            Transition t = make(s, holder, Transition::Reason::Reuse, h.lastAccess, h.usage, usage);
            t.takenBy = o;
            out->append(t);
        }
        Resource& r = _resources[size_t(l)];
        if (_historyEndUsage[size_t(l)] >= 0) {
            const OutputLifetime& lifetime = _lifetimes.all()[size_t(l)];
            const int pass = _plan.schedule()[size_t(s)].passIndex;
            const bool twoCopies = _twoCopies[size_t(l)] || _d.sync.doubleBuffered.contains(
                                                                qMakePair(pass, lifetime.output));
            out->append(make(s, l, Transition::Reason::WriteAfterHistoryRead,
                             twoCopies ? Transition::kFrameBefore : r.lastHistoryRead,
                             _historyEndUsage[size_t(l)], usage));
        }
        r.usage = usage;
        r.lastAccess = s;
    }

    RendererData& _d;
    const FramePlan& _plan;
    const OutputLifetimes& _lifetimes;
    Renderer::UsageFunction _function;
    std::vector<int> _inputUsage;       // by feed
    std::vector<int> _outputUsage;      // by lifetime
    std::vector<int> _endUsage;         // by lifetime
    std::vector<int> _historyEndUsage;  // by lifetime; -1 when not read as of the frame before
    std::vector<char> _twoCopies;       // by lifetime: read by a history input
    std::vector<int> _firstTakeover;    // by lifetime, into _takeovers (CSR)
    std::vector<int> _takeovers;        // the holders each lifetime displaces
    std::vector<Resource> _resources;   // by lifetime
};

}  // namespace

void detail::followSyncPlan(RendererData& d) {
    SyncState& sync = d.sync;
    if (!sync.planning) return;
    if (sync.made && !sync.settingsChanged && !sync.followUp &&
        sync.planBuild == d.plan.buildNumber() && sync.memoryPlanVersion == d.memory.planVersion &&
        sync.enabled == d.enabled)
        return;
    sync.settingsChanged = false;
    sync.followUp = false;
    sync.made = true;
    sync.planBuild = d.plan.buildNumber();
    sync.memoryPlanVersion = d.memory.planVersion;
    sync.enabled = d.enabled;
    sync.plan = SyncBuilder(d, lifetimesOf(d)).build();
}

QVector<Transition> SyncPlan::transitionsBefore(int step) const {
    if (step < 0 || step + 1 >= firstOfStep.size()) return {};
    return transitions.mid(firstOfStep.at(step), firstOfStep.at(step + 1) - firstOfStep.at(step));
}

int SyncPlan::numBatches() const {
    int batches = 0;
    for (int s = 0; s + 1 < firstOfStep.size(); ++s)
        batches += firstOfStep.at(s + 1) > firstOfStep.at(s) ? 1 : 0;
    return batches;
}

const char* reasonName(Transition::Reason reason) {
    switch (reason) {
        case Transition::Reason::ReadAfterWrite:
            return "read after write";
        case Transition::Reason::UsageChange:
            return "usage change";
        case Transition::Reason::Reuse:
            return "reuse";
        case Transition::Reason::HistoryRead:
            return "history read";
        case Transition::Reason::WriteAfterHistoryRead:
            return "write after history read";
    }
    return "";
}

void Renderer::setSyncPlanning(bool enabled) {
    d->sync.planning = enabled;
    d->sync.settingsChanged = true;
}

bool Renderer::syncPlanning() const {
    return d->sync.planning;
}

bool Renderer::setPortUsage(int node, PortSide side, int port, int usage) {
    if (!d->graph.isValidNode(node)) return false;
    const int pass = d->graph.nodeValue(node);
    const int ports =
        side == PortSide::Input ? d->graph.numInputs(node) : d->graph.numOutputs(node);
    if (!d->isPassIndex(pass) || port < 0 || port >= ports) return false;
    (side == PortSide::Input ? d->sync.inputUsages : d->sync.outputUsages)
        .insert(qMakePair(pass, port), usage);
    d->sync.settingsChanged = true;
    return true;
}

void Renderer::setPortUsageFunction(UsageFunction usage) {
    d->sync.function = std::move(usage);
    d->sync.settingsChanged = true;
}

bool Renderer::setOutputDoubleBuffered(int node, int output, bool doubleBuffered) {
    if (!d->graph.isValidNode(node)) return false;
    const int pass = d->graph.nodeValue(node);
    if (!d->isPassIndex(pass) || output < 0 || output >= d->graph.numOutputs(node)) return false;
    if (doubleBuffered)
        d->sync.doubleBuffered.insert(qMakePair(pass, output));
    else
        d->sync.doubleBuffered.remove(qMakePair(pass, output));
    d->sync.settingsChanged = true;
    return true;
}

SyncPlan Renderer::syncPlan() const {
    return d->sync.planning && d->sync.made ? d->sync.plan : SyncPlan();
}

int Renderer::currentStep() const {
    return d->rendering ? d->currentStep : -1;
}

}  // namespace Orv
}  // namespace Vantrel
