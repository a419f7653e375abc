// Output lifetimes, the renderer's memory plan, the waits that make reused memory safe with
// passes in flight (linked into the steps with the plan's own), and release at last use. All
// of it is derived from the frame plan, when the host asks for it.
#include <Orv/Renderer.h>

#include "memory/memoryplan_p.h"
#include "render/renderer_p.h"

#include <algorithm>
#include <map>

namespace Vantrel {
namespace Orv {

namespace detail {

void OutputLifetimes::build(const FramePlan& plan) {
    const std::vector<FramePlan::Step>& schedule = plan.schedule();
    const std::vector<FramePlan::Feed>& feeds = plan.feeds();
    const int numSteps = int(schedule.size());
    _built = true;
    _planBuild = plan.buildNumber();

    _firstOfStep.assign(size_t(numSteps) + 1, 0);
    for (int s = 0; s < numSteps; ++s)
        _firstOfStep[size_t(s) + 1] = _firstOfStep[size_t(s)] + schedule[size_t(s)].numOutputs;
    _lifetimes.assign(size_t(_firstOfStep.back()), OutputLifetime());
    for (int s = 0; s < numSteps; ++s) {
        const FramePlan::Step& step = schedule[size_t(s)];
        for (int o = 0; o < step.numOutputs; ++o) {
            OutputLifetime& lifetime = _lifetimes[size_t(firstOf(s) + o)];
            lifetime.node = step.node;
            lifetime.output = o;
            lifetime.producerStep = s;
        }
    }

    // What each step reads, each lifetime once, from the plan's feed steps.
    std::vector<std::pair<int, int>> reads;  // (lifetime, reader step), by reader step
    _firstRead.assign(size_t(numSteps) + 1, 0);
    _readLifetimes.clear();
    for (int s = 0; s < numSteps; ++s) {
        const FramePlan::Step& step = schedule[size_t(s)];
        const size_t first = _readLifetimes.size();
        for (int f = step.firstFeed; f < step.firstFeed + step.numInputs; ++f) {
            const FramePlan::FeedStep& read = plan.feedSteps()[size_t(f)];
            const int port = feeds[size_t(f)].port;
            if (read.writer < 0 || port < 0 || port >= count(read.writer)) continue;
            const int l = firstOf(read.writer) + port;
            OutputLifetime& lifetime = _lifetimes[size_t(l)];
            if (read.frameBefore) lifetime.outlivesFrame = true;
            if (s > lifetime.lastReaderStep) {
                lifetime.lastReaderStep = s;
                lifetime.lastReaderNode = step.node;
            }
            _readLifetimes.push_back(l);
        }
        std::sort(_readLifetimes.begin() + long(first), _readLifetimes.end());
        _readLifetimes.erase(
            std::unique(_readLifetimes.begin() + long(first), _readLifetimes.end()),
            _readLifetimes.end());
        for (size_t k = first; k < _readLifetimes.size(); ++k)
            reads.emplace_back(_readLifetimes[k], s);
        _firstRead[size_t(s) + 1] = int(_readLifetimes.size());
    }

    // Readers by lifetime; `reads` is by step, so each list comes out ascending.
    _firstReader.assign(_lifetimes.size() + 1, 0);
    for (const auto& read : reads) ++_firstReader[size_t(read.first) + 1];
    for (size_t l = 0; l < _lifetimes.size(); ++l) _firstReader[l + 1] += _firstReader[l];
    _readerSteps.resize(reads.size());
    std::vector<int> fill(_firstReader.begin(), _firstReader.end() - 1);
    for (const auto& read : reads) _readerSteps[size_t(fill[size_t(read.first)]++)] = read.second;

    // What the host reads after the frame outlives it: the values the renderer outputs collect,
    // and the target's outputs. Both are what the pass's last step left.
    for (const FramePlan::Collected& collected : plan.collected()) {
        const int s = plan.lastStepOf(collected.passIndex);
        if (s >= 0 && collected.port >= 0 && collected.port < count(s))
            _lifetimes[size_t(firstOf(s) + collected.port)].outlivesFrame = true;
    }
    const int targetStep = plan.stepOf(plan.target());
    if (targetStep >= 0) {
        const int s = plan.lastStepOf(schedule[size_t(targetStep)].passIndex);
        for (int l = firstOf(s); l < firstOf(s) + count(s); ++l)
            _lifetimes[size_t(l)].outlivesFrame = true;
    }
}

std::vector<std::pair<int, int>> takeovers(const QVector<MemoryRequest>& requests,
                                           const MemoryPlan& plan,
                                           const std::vector<char>& skipped) {
    struct Owned {
        qint64 end;
        int request;
    };
    std::map<qint64, Owned> owners;  // by start of range; the ranges are disjoint
    std::vector<std::pair<int, int>> found;
    std::vector<int> displaced;
    // Requests are numbered by producing step, so this is the order they take their bytes in.
    for (int r = 0; r < plan.offsets.size(); ++r) {
        const qint64 begin = plan.offsets.at(r);
        if (begin < 0 || (size_t(r) < skipped.size() && skipped[size_t(r)])) continue;
        const qint64 end = begin + requests.at(r).size;
        displaced.clear();
        auto it = owners.upper_bound(begin);
        if (it != owners.begin() && std::prev(it)->second.end > begin) --it;
        while (it != owners.end() && it->first < end) {
            const qint64 ownedBegin = it->first;
            const Owned owned = it->second;
            displaced.push_back(owned.request);
            it = owners.erase(it);
            if (ownedBegin < begin) owners.emplace(ownedBegin, Owned{begin, owned.request});
            if (owned.end > end) owners.emplace(end, Owned{owned.end, owned.request});
        }
        owners.emplace(begin, Owned{end, r});
        std::sort(displaced.begin(), displaced.end());
        displaced.erase(std::unique(displaced.begin(), displaced.end()), displaced.end());
        for (const int earlier : displaced) found.emplace_back(earlier, r);
    }
    return found;
}

const OutputLifetimes& lifetimesOf(RendererData& d) {
    if (!d.memory.lifetimes.follows(d.plan)) d.memory.lifetimes.build(d.plan);
    return d.memory.lifetimes;
}

}  // namespace detail

namespace {

using detail::OutputLifetimes;
using detail::RendererData;

// The host's sizes as requests over the lifetimes; an output kept past the frame is not placed.
// Empty, with `error` set, when the function gave a bad size.
// What the host says output `output` of the step's pass needs; empty with `error` set for a bad
// size.
bool askSize(RendererData& d, const std::function<OutputMemory(int, int)>& function,
             const OutputLifetime& lifetime, MemoryRequest* request, QString* error) {
    OutputMemory memory;
    if (function) {
        memory = function(lifetime.node, lifetime.output);
    } else {
        const int pass = d.plan.schedule()[size_t(lifetime.producerStep)].passIndex;
        memory = d.memory.table.value(qMakePair(pass, lifetime.output));
    }
    const QString problem = detail::memoryRequestProblem(memory.size, memory.alignment);
    if (!problem.isEmpty()) {
        // The function may have edited the graph; a node it removed has no path.
        const QString node = d.graph.isValidNode(lifetime.node)
                                 ? d.graph.nodePath(lifetime.node)
                                 : QStringLiteral("node %1").arg(lifetime.node);
        *error = QStringLiteral("output %1 of %2: %3").arg(lifetime.output).arg(node, problem);
        return false;
    }
    request->size = memory.size;
    request->alignment = memory.alignment;
    return true;
}

// The host's sizes as requests over the lifetimes; an output kept past the frame is not placed.
// Then two requests live over the whole frame for each output a history input reads, its
// places for even and odd frames (recorded in `historyPlaces`). Empty, with `error` set, when
// the function gave a bad size.
QVector<MemoryRequest> requestsOf(RendererData& d, const OutputLifetimes& lifetimes,
                                  QString* error) {
    // The host's function may replace itself while it is asked.
    const std::function<OutputMemory(int, int)> function = d.memory.function;
    QVector<MemoryRequest> requests;
    requests.reserve(int(lifetimes.all().size()));
    for (const OutputLifetime& lifetime : lifetimes.all()) {
        MemoryRequest request;
        request.firstStep = lifetime.producerStep;
        request.lastStep = std::max(lifetime.producerStep, lifetime.lastReaderStep);
        if (!lifetime.outlivesFrame && !askSize(d, function, lifetime, &request, error)) return {};
        requests.append(request);
    }

    std::vector<int>& places = d.memory.historyPlaces;
    places.assign(lifetimes.all().size(), -1);
    if (d.historyInputs.isEmpty()) return requests;
    const detail::FramePlan& plan = d.plan;
    for (size_t f = 0; f < plan.feeds().size(); ++f) {
        const detail::FramePlan::Feed& feed = plan.feeds()[f];
        const int writer = plan.feedSteps()[f].writer;
        if (!feed.history || writer < 0 || feed.port < 0 || feed.port >= lifetimes.count(writer))
            continue;
        const int l = lifetimes.firstOf(writer) + feed.port;
        if (places[size_t(l)] >= 0) continue;
        MemoryRequest request;
        request.lastStep = int(plan.schedule().size()) - 1;
        if (!askSize(d, function, lifetimes.all()[size_t(l)], &request, error)) return {};
        if (request.size == 0) continue;
        places[size_t(l)] = requests.size();
        requests.append(request);
        requests.append(request);
    }
    return requests;
}

// Every placed output waits for the outputs whose bytes it takes over, and for their readers.
std::vector<std::pair<int, int>> reuseWaits(const OutputLifetimes& lifetimes,
                                            const std::vector<std::pair<int, int>>& takeovers) {
    std::vector<std::pair<int, int>> waits;  // (earlier step, step)
    for (const auto& takeover : takeovers) {
        // History places live over the whole frame, so they never take bytes over.
        if (size_t(takeover.second) >= lifetimes.all().size()) continue;
        const int earlier = takeover.first;
        const int step = lifetimes.all()[size_t(takeover.second)].producerStep;
        waits.emplace_back(lifetimes.all()[size_t(earlier)].producerStep, step);
        for (int k = lifetimes.firstReader(earlier); k < lifetimes.firstReader(earlier + 1); ++k)
            waits.emplace_back(lifetimes.readerSteps()[size_t(k)], step);
    }
    return waits;
}

}  // namespace

void detail::followPlan(RendererData& d) {
    TransientMemory& memory = d.memory;
    const quint64 build = d.plan.buildNumber();
    const bool replan = memory.planning && (memory.settingsChanged || memory.planBuild != build ||
                                            !d.links.follows(d.plan));
    const bool dropPlan = !memory.planning && memory.planBuild != 0;
    if (!replan && !dropPlan && d.links.follows(d.plan)) return;

    std::vector<std::pair<int, int>> reuse;  // none without a plan: nothing is reused
    memory.settingsChanged = false;
    memory.planBuild = replan ? build : 0;
    memory.plan = MemoryPlan();
    memory.takeovers.clear();
    ++memory.planVersion;
    if (replan) {
        const OutputLifetimes& lifetimes = lifetimesOf(d);
        QString error;
        memory.requests = requestsOf(d, lifetimes, &error);
        if (error.isEmpty()) {
            memory.plan = planMemory(memory.requests);
            if (memory.plan.error.isEmpty()) {
                memory.takeovers = detail::takeovers(memory.requests, memory.plan, {});
                reuse = reuseWaits(lifetimes, memory.takeovers);
            }
        } else {
            memory.plan.error = error;
        }
    }
    d.links.build(d.plan, reuse);
}

void detail::beginReleases(RendererData& d) {
    TransientMemory& memory = d.memory;
    // The frame's own copy: the host may replace the function from inside it.
    memory.releasing = memory.released;
    if (!memory.releasing) return;
    const OutputLifetimes& lifetimes = lifetimesOf(d);
    const size_t numLifetimes = lifetimes.all().size();
    memory.remaining.resize(numLifetimes);
    memory.produced.assign(numLifetimes, 0);
    for (size_t l = 0; l < numLifetimes; ++l) {
        memory.remaining[l] =
            lifetimes.all()[l].outlivesFrame
                ? -1
                : 1 + lifetimes.firstReader(int(l) + 1) - lifetimes.firstReader(int(l));
    }
}

void detail::releaseAfter(RendererData& d, int step, bool ran) {
    TransientMemory& memory = d.memory;
    if (!memory.releasing) return;
    const OutputLifetimes& lifetimes = memory.lifetimes;
    auto done = [&memory, &lifetimes, &d](int l) {
        if (memory.remaining[size_t(l)] <= 0 || --memory.remaining[size_t(l)] > 0) return;
        if (!memory.produced[size_t(l)]) return;
        const OutputLifetime& lifetime = lifetimes.all()[size_t(l)];
        memory.releasing(d.plan.schedule()[size_t(lifetime.producerStep)].pass, lifetime.output);
    };
    const int first = lifetimes.firstOf(step);
    for (int l = first; l < first + lifetimes.count(step); ++l) {
        if (ran) memory.produced[size_t(l)] = 1;
        done(l);
    }
    for (int k = lifetimes.firstRead(step); k < lifetimes.firstRead(step + 1); ++k)
        done(lifetimes.readLifetimes()[size_t(k)]);
}

void detail::endReleases(RendererData& d) {
    TransientMemory& memory = d.memory;
    if (!memory.releasing) return;
    const OutputLifetimes& lifetimes = memory.lifetimes;
    for (size_t l = 0; l < lifetimes.all().size(); ++l) {
        if (memory.remaining[l] <= 0 || !memory.produced[l]) continue;
        memory.remaining[l] = 0;
        const OutputLifetime& lifetime = lifetimes.all()[l];
        memory.releasing(d.plan.schedule()[size_t(lifetime.producerStep)].pass, lifetime.output);
    }
    memory.releasing = nullptr;
}

QVector<OutputLifetime> Renderer::outputLifetimes() const {
    if (d->latest.number == 0) return {};
    const std::vector<OutputLifetime>& all = detail::lifetimesOf(*d).all();
    return QVector<OutputLifetime>(all.begin(), all.end());
}

void Renderer::setMemoryPlanning(bool enabled) {
    d->memory.planning = enabled;
    d->memory.settingsChanged = true;
}

bool Renderer::memoryPlanning() const {
    return d->memory.planning;
}

bool Renderer::setOutputMemory(int node, int output, const OutputMemory& memory) {
    if (!d->graph.isValidNode(node)) return false;
    const int pass = d->graph.nodeValue(node);
    if (!d->isPassIndex(pass) || output < 0 || output >= d->graph.numOutputs(node)) return false;
    if (!detail::memoryRequestProblem(memory.size, memory.alignment).isEmpty()) return false;
    d->memory.table.insert(qMakePair(pass, output), memory);
    d->memory.settingsChanged = true;
    return true;
}

void Renderer::setOutputMemoryFunction(std::function<OutputMemory(int node, int output)> memory) {
    d->memory.function = std::move(memory);
    d->memory.settingsChanged = true;
}

void Renderer::invalidateOutputSizes() {
    d->memory.settingsChanged = true;
    ++d->historyEpoch;  // kept values were made at the old size
}

MemoryPlan Renderer::memoryPlan() const {
    return d->memory.plan;
}

qint64 Renderer::memoryOffset(int node, int output) const {
    const MemoryPlan& plan = d->memory.plan;
    if (plan.offsets.isEmpty() || d->memory.planBuild != d->plan.buildNumber()) return -1;
    const int step = d->plan.stepOf(node);
    if (step < 0) return -1;
    const detail::OutputLifetimes& lifetimes = d->memory.lifetimes;
    if (output < 0 || output >= lifetimes.count(step)) return -1;
    const int l = lifetimes.firstOf(step) + output;
    const int place =
        size_t(l) < d->memory.historyPlaces.size() ? d->memory.historyPlaces[size_t(l)] : -1;
    if (place >= 0) return plan.offsets.at(place + int(d->latest.number % 2));
    return plan.offsets.at(l);
}

qint64 Renderer::historyMemoryOffset(int node, int output) const {
    const qint64 offset = memoryOffset(node, output);
    if (offset < 0) return -1;
    const int l = d->memory.lifetimes.firstOf(d->plan.stepOf(node)) + output;
    const int place = d->memory.historyPlaces[size_t(l)];
    return place < 0 ? -1 : d->memory.plan.offsets.at(place + int((d->latest.number + 1) % 2));
}

void Renderer::setOutputReleased(std::function<void(RenderPass* pass, int output)> released) {
    d->memory.released = std::move(released);
}

}  // namespace Orv
}  // namespace Vantrel
