#include <Orv/Walkers.h>

#include <Orv/Graph.h>

#include <vector>

namespace Vantrel {
namespace Orv {

namespace detail {

// The current path of a bottom-up walk, its top (the current node) last. One growing block
// rather than a node per level: a deep walk neither recurses nor allocates at every step.
struct WalkPath {
    struct Level {
        int node;
        int nextIndex;  // next input or child to examine
    };
    std::vector<Level> levels;

    explicit WalkPath(int start) : levels{{start, 0}} {}

    // Leaves the current node if it has had all its successors examined (`leaveDone`), then
    // descends along successors until the top node has none left to examine. `count` gives a
    // node's number of successors, `successor` the one at an index or -1 to pass it over.
    template <typename Count, typename Successor>
    void step(bool leaveDone, Count count, Successor successor) {
        if (leaveDone && !levels.empty() && levels.back().nextIndex >= count(levels.back().node))
            levels.pop_back();
        while (!levels.empty()) {
            Level& top = levels.back();
            if (top.nextIndex >= count(top.node)) return;
            const int next = successor(top.node, top.nextIndex++);
            if (next >= 0) levels.push_back({next, 0});
        }
    }
};

// The queue of a breadth-first walk: every node it reaches, in order, and the current one.
// Each node is queued once, so one slot per node of the table is enough.
struct WalkQueue {
    QVector<int> nodes;
    int head = 0;

    bool hasCurrent() const { return head < nodes.size(); }
};

}  // namespace detail

namespace {

// The producer of input `input` of `node`, or -1 when the input has none or the producer lies
// outside the marks (the graph changed under the walker).
int producerOf(const Graph& graph, int node, int input, bool throughHierarchy, int numMarks) {
    int producer = node;
    int port = input;
    const bool found = throughHierarchy ? graph.walkToSourceNode(producer, port)
                                        : graph.walkAcross(producer, port);
    if (!found || producer < 0 || producer >= numMarks) return -1;
    return producer;
}

bool hasLevels(const detail::WalkPath* path) {
    return path && !path->levels.empty();
}

int topNode(const detail::WalkPath* path) {
    return hasLevels(path) ? path->levels.back().node : Graph::kInvalidNodeRef;
}

}  // namespace

BottomUpInputWalker::BottomUpInputWalker(const Graph& graph, int node, bool throughHierarchy)
    : _graph(&graph), _throughHierarchy(throughHierarchy), _path(nullptr) {
    if (node == Graph::kInvalidNodeRef) return;
    // Any other ref outside the table also walks nothing, rather than reading past the marks.
    if (node < 0 || node >= graph.numNodesGlobal()) return;
    _visited.fill(false, graph.numNodesGlobal());
    _path = new detail::WalkPath(node);
    step(false);
}

BottomUpInputWalker::~BottomUpInputWalker() {
    delete _path;
}

bool BottomUpInputWalker::valid() const {
    return hasLevels(_path);
}

int BottomUpInputWalker::node() const {
    return topNode(_path);
}

void BottomUpInputWalker::next() {
    step(true);
}

void BottomUpInputWalker::step(bool leaveDone) {
    if (!_path) return;
    const auto numInputs = [this](int node) { return _graph->numInputs(node); };
    const auto unvisitedProducer = [this](int node, int input) {
        const int producer = producerOf(*_graph, node, input, _throughHierarchy, _visited.size());
        if (producer < 0 || _visited[producer]) return -1;
        _visited[producer] = true;
        return producer;
    };
    _path->step(leaveDone, numInputs, unvisitedProducer);
}

BreadthFirstInputWalker::BreadthFirstInputWalker(const Graph& graph, int node,
                                                 bool throughHierarchy)
    : _graph(&graph), _throughHierarchy(throughHierarchy), _queue(new detail::WalkQueue) {
    const int numNodes = graph.numNodesGlobal();
    if (node == Graph::kInvalidNodeRef || node < 0 || node >= numNodes) return;
    _visited.fill(false, numNodes);
    _queue->nodes.reserve(numNodes);
    _visited[node] = true;
    _queue->nodes.append(node);
}

BreadthFirstInputWalker::~BreadthFirstInputWalker() {
    delete _queue;
}

bool BreadthFirstInputWalker::valid() const {
    return _queue->hasCurrent();
}

int BreadthFirstInputWalker::node() const {
    return _queue->hasCurrent() ? _queue->nodes.at(_queue->head) : Graph::kInvalidNodeRef;
}

void BreadthFirstInputWalker::next() {
    if (!_queue->hasCurrent()) return;
    const int current = _queue->nodes.at(_queue->head++);
    const int numInputs = _graph->numInputs(current);
    for (int input = 0; input < numInputs; ++input) {
        const int producer =
            producerOf(*_graph, current, input, _throughHierarchy, _visited.size());
        if (producer >= 0 && !_visited[producer]) {
            _visited[producer] = true;
            _queue->nodes.append(producer);
        }
    }
}

BottomUpSubgraphWalker::BottomUpSubgraphWalker(const Graph& graph, int node)
    : _graph(&graph), _path(nullptr) {
    if (!graph.isValidNode(node)) return;
    _path = new detail::WalkPath(node);
    step(false);
}

BottomUpSubgraphWalker::~BottomUpSubgraphWalker() {
    delete _path;
}

bool BottomUpSubgraphWalker::valid() const {
    return hasLevels(_path);
}

int BottomUpSubgraphWalker::node() const {
    return topNode(_path);
}

void BottomUpSubgraphWalker::next() {
    step(true);
}

void BottomUpSubgraphWalker::step(bool leaveDone) {
    if (!_path) return;
    // Each node has one parent, so no marks are needed to visit it once.
    _path->step(
        leaveDone, [this](int node) { return _graph->numNodes(node); },
        [this](int node, int index) { return _graph->getNode(index, node); });
}

}  // namespace Orv
}  // namespace Vantrel
