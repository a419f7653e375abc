#include "render/frameplan_p.h"

#include <algorithm>
#include <functional>
#include <queue>

namespace Vantrel {
namespace Orv {

bool detail::FramePlan::isCurrent(const Graph& graph, int target, int numPasses, bool culling,
                                  const QVector<bool>& cutAtDisabled,
                                  const HistoryInputs& history) const {
    return _built && _graphRevision == graph.revision() && _target == target &&
           _numPasses == numPasses && _culling == culling && _cutAtDisabled == cutAtDisabled &&
           _history == history;
}

void detail::FramePlan::build(const Graph& graph, int target, const QVector<RenderPass*>& passes,
                              int numParameters, int numOutputs, bool culling,
                              const QVector<bool>& cutAtDisabled, const HistoryInputs& history) {
    _graph = &graph;
    _passes = &passes;
    _numParameters = numParameters;
    _numOutputs = numOutputs;
    _built = true;
    ++_buildNumber;
    _graphRevision = graph.revision();
    _target = target;
    _numPasses = passes.size();
    _culling = culling;
    _cutAtDisabled = cutAtDisabled;
    _history = history;
    _nodeOfPass.clear();
    if (!history.isEmpty()) {
        _nodeOfPass.assign(size_t(_numPasses), -1);
        for (int node = graph.numNodesGlobal() - 1; node >= 0; --node) {
            if (graph.isValidNode(node) && isPassIndex(graph.nodeValue(node)))
                _nodeOfPass[size_t(graph.nodeValue(node))] = node;
        }
    }
    _tableSize = graph.numNodesGlobal();

    _schedule.clear();
    _feeds.clear();
    _feedSteps.clear();
    _lastStepOfPass.clear();
    _users.clear();
    _stepOfNode.clear();
    findRoots();
    if (!_roots.empty()) {
        // 1. Needed nodes: the roots and everything upstream, depth first from each root.
        _needed.fill(false, graph.numNodesGlobal());
        _finished.clear();
        _dependencies.clear();
        _finishedIndex.assign(size_t(graph.numNodesGlobal()), -1);
        _reach.assign(size_t(graph.numNodesGlobal()), Reach{-1, Reach::kTarget});
        _stepOfNode.assign(size_t(graph.numNodesGlobal()), -1);
        _historyProducers.clear();
        for (size_t r = 0; r < _roots.size(); ++r) {
            if (!_needed.at(_roots[r])) visitFrom(_roots[r], Reach{-1, _rootReasons[r]});
        }
        // The producers that only history inputs need, each visited as a root of its own.
        for (size_t h = 0; h < _historyProducers.size(); ++h) {
            const auto producer = _historyProducers[h];
            if (!_needed.at(producer.first)) visitFrom(producer.first, producer.second);
        }
        // 2. The schedule: producers first, then the order of addition.
        orderPasses();
        // 3. The step each feed reads.
        findFeedSteps();
    }
    _graph = nullptr;
    _passes = nullptr;
}

void detail::FramePlan::findRoots() {
    // The passes feeding the renderer outputs, in output order, then the target. A removed
    // node is still in the table until purge and is rendered like any other; only a ref
    // outside the table is ignored.
    _roots.clear();
    _rootReasons.clear();
    _collected.clear();
    for (int o = 0; o < _numOutputs; ++o) {
        int node = Graph::kRootNodeRef;
        int port = o;
        Collected collect{-1, -1};
        if (_graph->walkDown(node, port)) {
            _roots.push_back(node);
            _rootReasons.push_back(o);
            const int passIndex = _graph->nodeValue(node);
            if (isPassIndex(passIndex)) collect = Collected{passIndex, port};
        }
        _collected.push_back(collect);
    }
    if (_target >= 0 && _target < _graph->numNodesGlobal()) {
        _roots.push_back(_target);
        _rootReasons.push_back(Reach::kTarget);
    }
    if (_culling) return;
    const int numNodes = _graph->numNodesGlobal();
    for (int node = 0; node < numNodes; ++node) {
        if (_graph->isValidNode(node) && isPassIndex(_graph->nodeValue(node))) {
            _roots.push_back(node);
            _rootReasons.push_back(Reach::kUnculled);
        }
    }
}

void detail::FramePlan::visitFrom(int root, Reach reach) {
    // An explicit stack keeps long producer chains off the call stack. A node is flagged
    // before its inputs are followed, so a producer loop through container ports ends where
    // it meets a node still on the stack: that producer is not waited for. Every other
    // producer becomes a dependency of its consumer.
    _stack.clear();
    _pending.clear();
    _needed[root] = true;
    _reach[size_t(root)] = reach;
    _stack.push_back(Visit{root, 0, inputsToFollow(root), 0});
    while (!_stack.empty()) {
        Visit& top = _stack.back();
        if (top.nextInput < top.numInputs) {
            const int consumer = top.node;
            const int input = top.nextInput++;
            int producer = -1;
            _pending.push_back(trace(consumer, input, producer));
            if (producer < 0) continue;
            if (_pending.back().history) {
                _historyProducers.emplace_back(producer, Reach{consumer, input});
                continue;
            }
            if (!_needed.at(producer)) {
                _needed[producer] = true;
                _reach[size_t(producer)] = Reach{consumer, input};
                _dependencies.emplace_back(producer, consumer);
                _stack.push_back(
                    Visit{producer, 0, inputsToFollow(producer), int(_pending.size())});
            } else if (_finishedIndex[size_t(producer)] >= 0) {
                _dependencies.emplace_back(producer, consumer);
            }
            continue;
        }
        const Visit done = top;
        _stack.pop_back();
        const int passIndex = _graph->nodeValue(done.node);
        _finishedIndex[size_t(done.node)] = int(_finished.size());
        _finished.push_back(Finished{done.node, isPassIndex(passIndex) ? passIndex : -1,
                                     done.numInputs, int(_feeds.size())});
        _feeds.insert(_feeds.end(), _pending.begin() + done.firstFeed, _pending.end());
        _pending.resize(size_t(done.firstFeed));
    }
}

int detail::FramePlan::inputsToFollow(int node) const {
    const int passIndex = _graph->nodeValue(node);
    if (!_cutAtDisabled.isEmpty() && isPassIndex(passIndex) &&
        !_cutAtDisabled.value(passIndex, true))
        return 0;
    return _graph->numInputs(node);
}

void detail::FramePlan::orderPasses() {
    // Kahn's algorithm over the needed nodes. Nodes without a pass are taken as soon as they
    // are ready, so a pass waits for the passes behind a group as if the group were not there.
    const int numFinished = int(_finished.size());
    _waitsFor.assign(size_t(numFinished), 0);
    for (auto& dependency : _dependencies) {
        dependency.first = _finishedIndex[size_t(dependency.first)];
        dependency.second = _finishedIndex[size_t(dependency.second)];
        ++_waitsFor[size_t(dependency.second)];
    }
    listBySource(
        numFinished,
        [this](auto add) {
            for (const auto& dependency : _dependencies) add(dependency.first, dependency.second);
        },
        &_firstConsumer, &_consumers);

    // Ready nodes, lowest key first: nodes without a pass (key 0) before any pass, passes by
    // pass index, then by node ref should a host have given two nodes one pass index.
    using Key = std::pair<qint64, int>;  // (pass index + 1, position)
    auto keyOf = [this](int f) {
        const Finished& finished = _finished[size_t(f)];
        return Key{(qint64(finished.passIndex + 1) << 32) | quint32(finished.node), f};
    };
    std::priority_queue<Key, std::vector<Key>, std::greater<Key>> ready;
    for (int f = 0; f < numFinished; ++f) {
        if (_waitsFor[size_t(f)] == 0) ready.push(keyOf(f));
    }
    while (!ready.empty()) {
        const int f = ready.top().second;
        ready.pop();
        const Finished& finished = _finished[size_t(f)];
        if (finished.passIndex >= 0) {
            const int firstUsers = int(_users.size());
            const int numOutputs = _graph->numOutputs(finished.node);
            for (int o = 0; o < numOutputs; ++o) {
                const int count = countOutputUsers(finished.node, o);
                if (count > 0) _users.push_back(OutputUsers{o, count});
            }
            _stepOfNode[size_t(finished.node)] = int(_schedule.size());
            _schedule.push_back(Step{_passes->at(finished.passIndex), finished.node,
                                     finished.passIndex, finished.numInputs, numOutputs,
                                     finished.firstFeed, firstUsers,
                                     int(_users.size()) - firstUsers});
        }
        for (int c = _firstConsumer[size_t(f)]; c < _firstConsumer[size_t(f) + 1]; ++c) {
            const int consumer = _consumers[size_t(c)];
            if (--_waitsFor[size_t(consumer)] == 0) ready.push(keyOf(consumer));
        }
    }
}

void detail::FramePlan::findFeedSteps() {
    // Forward, the latest step of each pass so far gives the writer; backward, the next step
    // gives the overwriter. A pass not yet run this frame is read as its last step left it.
    const int numSteps = int(_schedule.size());
    _feedSteps.assign(_feeds.size(), FeedStep{-1, -1, false});
    _lastStepOfPass.assign(size_t(_numPasses), -1);
    for (int s = 0; s < numSteps; ++s) _lastStepOfPass[size_t(_schedule[size_t(s)].passIndex)] = s;
    std::vector<int> stepOfPass(size_t(_numPasses), -1);
    for (int s = 0; s < numSteps; ++s) {
        const Step& step = _schedule[size_t(s)];
        for (int f = step.firstFeed; f < step.firstFeed + step.numInputs; ++f) {
            const int pass = _feeds[size_t(f)].pass;
            if (pass < 0) continue;
            FeedStep& read = _feedSteps[size_t(f)];
            read.writer = _feeds[size_t(f)].history ? -1 : stepOfPass[size_t(pass)];
            read.frameBefore = read.writer < 0;
            if (read.frameBefore) read.writer = _lastStepOfPass[size_t(pass)];
        }
        stepOfPass[size_t(step.passIndex)] = s;
    }
    std::fill(stepOfPass.begin(), stepOfPass.end(), -1);
    for (int s = numSteps - 1; s >= 0; --s) {
        const Step& step = _schedule[size_t(s)];
        for (int f = step.firstFeed; f < step.firstFeed + step.numInputs; ++f) {
            const int pass = _feeds[size_t(f)].pass;
            if (pass >= 0 && !_feeds[size_t(f)].history)
                _feedSteps[size_t(f)].nextWriter = stepOfPass[size_t(pass)];
        }
        stepOfPass[size_t(step.passIndex)] = s;
    }
}

detail::FramePlan::Feed detail::FramePlan::trace(int node, int input, int& producer) const {
    producer = -1;
    if (!_history.isEmpty()) {
        const auto history = _history.constFind(qMakePair(_graph->nodeValue(node), input));
        if (history != _history.constEnd()) {
            const int passIndex = history->first;
            if (!isPassIndex(passIndex) || _nodeOfPass[size_t(passIndex)] < 0)
                return Feed{Feed::kDefault, -1, nullptr, false};
            producer = _nodeOfPass[size_t(passIndex)];
            return Feed{passIndex, history->second, _passes->at(passIndex), true};
        }
    }
    // A parameter when the down edges lead up to the root; else the sibling output feeding the
    // outermost container input, followed down to the innermost output behind it.
    int source = node;
    int port = input;
    if (_graph->walkUp(source, port) && source == Graph::kRootNodeRef) {
        if (port < _numParameters) return Feed{Feed::kParameter, port, nullptr, false};
        return Feed{Feed::kDefault, -1, nullptr, false};
    }
    if (!_graph->walkAcross(source, port)) return Feed{Feed::kDefault, -1, nullptr, false};
    _graph->walkDown(source, port);
    producer = source;
    const int passIndex = _graph->nodeValue(source);
    if (!isPassIndex(passIndex)) return Feed{Feed::kDefault, -1, nullptr, false};
    return Feed{passIndex, port, _passes->at(passIndex), false};
}

int detail::FramePlan::countOutputUsers(int node, int output) const {
    // Needed consumers, disabled ones included. An edge into a container counts the container's
    // first-level consumers of that input; an up edge counts only a needed container (the root
    // is needed only as the target), so renderer outputs are not users.
    int users = 0;
    const int numEdges = _graph->numOutputDestinations(node, output);
    for (int k = 0; k < numEdges; ++k) {
        const int edge = _graph->outputDestination(node, output, k);
        const int dest = _graph->edgeDestNode(edge);
        if (_graph->numNodes(dest) > 0 && !_graph->contains(dest, node)) {
            const int input = _graph->edgeDestIndex(edge);
            const int numInner = _graph->numInputDestinations(dest, input);
            for (int m = 0; m < numInner; ++m) {
                if (isNeeded(_graph->edgeDestNode(_graph->inputDestination(dest, input, m))))
                    ++users;
            }
        }
        if (isNeeded(dest)) ++users;
    }
    return users;
}

}  // namespace Orv
}  // namespace Vantrel
