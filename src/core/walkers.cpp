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
    moveNext();
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
    if (!valid()) return;
    const detail::WalkPath::Level& top = _path->levels.back();
    if (top.nextIndex >= _graph->numInputs(top.node)) pop();
    moveNext();
}

void BottomUpInputWalker::moveNext() {
    // Descends along unvisited producers until the top node has had all its inputs examined.
    while (valid()) {
        detail::WalkPath::Level& top = _path->levels.back();
        if (top.nextIndex >= _graph->numInputs(top.node)) return;
        const int input = top.nextIndex++;
        const int producer =
            producerOf(*_graph, top.node, input, _throughHierarchy, _visited.size());
        if (producer >= 0 && !_visited[producer]) {
            _visited[producer] = true;
            _path->levels.push_back({producer, 0});
        }
    }
}

void BottomUpInputWalker::pop() {
    _path->levels.pop_back();
}

BreadthFirstInputWalker::BreadthFirstInputWalker(const Graph& graph, int node,
                                                 bool throughHierarchy)
    : _graph(&graph), _throughHierarchy(throughHierarchy), _head(0), _tail(0) {
    const int numNodes = graph.numNodesGlobal();
    _visited.fill(false, numNodes);
    _queue.fill(Graph::kInvalidNodeRef, numNodes + 1);
    if (node == Graph::kInvalidNodeRef || node < 0 || node >= numNodes) return;
    _visited[node] = true;
    _queue[_tail++] = node;
}

BreadthFirstInputWalker::~BreadthFirstInputWalker() = default;

bool BreadthFirstInputWalker::valid() const {
    return _head < _tail;
}

int BreadthFirstInputWalker::node() const {
    return _head < _tail ? _queue[_head] : Graph::kInvalidNodeRef;
}

void BreadthFirstInputWalker::next() {
    if (_head >= _tail) return;
    const int current = _queue[_head++];
    const int numInputs = _graph->numInputs(current);
    for (int input = 0; input < numInputs; ++input) {
        const int producer =
            producerOf(*_graph, current, input, _throughHierarchy, _visited.size());
        // Each node is queued once, so the queue cannot overflow; the test guards the slot.
        if (producer >= 0 && !_visited[producer] && _tail < _queue.size()) {
            _visited[producer] = true;
            _queue[_tail++] = producer;
        }
    }
}

BottomUpSubgraphWalker::BottomUpSubgraphWalker(const Graph& graph, int node)
    : _graph(&graph), _path(nullptr) {
    if (!graph.isValidNode(node)) return;
    _path = new detail::WalkPath(node);
    moveNext();
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
    if (!valid()) return;
    const detail::WalkPath::Level& top = _path->levels.back();
    if (top.nextIndex >= _graph->numNodes(top.node)) pop();
    moveNext();
}

void BottomUpSubgraphWalker::moveNext() {
    // Each node has one parent, so no marks are needed to visit it once.
    while (valid()) {
        detail::WalkPath::Level& top = _path->levels.back();
        if (top.nextIndex >= _graph->numNodes(top.node)) return;
        const int child = _graph->getNode(top.nextIndex++, top.node);
        _path->levels.push_back({child, 0});
    }
}

void BottomUpSubgraphWalker::pop() {
    _path->levels.pop_back();
}

}  // namespace Orv
}  // namespace Vantrel
