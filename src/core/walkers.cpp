#include <Orv/Walkers.h>

#include <Orv/Graph.h>

namespace Vantrel {
namespace Orv {

// One level of a bottom-up walk's current path; the entries form a singly linked stack whose
// top is the current node, so the walk needs no recursion however deep the graph is.
struct BottomUpInputWalker::StackEntry {
    int node;
    int nextIndex;      // next input to examine
    StackEntry* below;  // the consumer, null at the start node
};

struct BottomUpSubgraphWalker::StackEntry {
    int node;
    int nextIndex;      // next child to examine
    StackEntry* below;  // the parent, null at the start node
};

namespace {

template <typename Entry>
void pushEntry(Entry*& stack, int node) {
    stack = new Entry{node, 0, stack};
}

template <typename Entry>
void popEntry(Entry*& stack) {
    Entry* top = stack;
    stack = top->below;
    delete top;
}

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

}  // namespace

BottomUpInputWalker::BottomUpInputWalker(const Graph& graph, int node, bool throughHierarchy)
    : _graph(&graph), _throughHierarchy(throughHierarchy), _stack(nullptr) {
    if (node == Graph::kInvalidNodeRef) return;
    // Any other ref outside the table also walks nothing, rather than reading past the marks.
    if (node < 0 || node >= graph.numNodesGlobal()) return;
    _visited.fill(false, graph.numNodesGlobal());
    pushEntry(_stack, node);
    moveNext();
}

BottomUpInputWalker::~BottomUpInputWalker() {
    while (_stack) pop();
}

bool BottomUpInputWalker::valid() const {
    return _stack != nullptr;
}

int BottomUpInputWalker::node() const {
    return _stack ? _stack->node : Graph::kInvalidNodeRef;
}

void BottomUpInputWalker::next() {
    if (!_stack) return;
    if (_stack->nextIndex >= _graph->numInputs(_stack->node)) pop();
    moveNext();
}

void BottomUpInputWalker::moveNext() {
    // Descends along unvisited producers until the top node has had all its inputs examined.
    while (_stack && _stack->nextIndex < _graph->numInputs(_stack->node)) {
        const int input = _stack->nextIndex++;
        const int producer =
            producerOf(*_graph, _stack->node, input, _throughHierarchy, _visited.size());
        if (producer >= 0 && !_visited[producer]) {
            _visited[producer] = true;
            pushEntry(_stack, producer);
        }
    }
}

void BottomUpInputWalker::pop() {
    popEntry(_stack);
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
    : _graph(&graph), _stack(nullptr) {
    if (!graph.isValidNode(node)) return;
    pushEntry(_stack, node);
    moveNext();
}

BottomUpSubgraphWalker::~BottomUpSubgraphWalker() {
    while (_stack) pop();
}

bool BottomUpSubgraphWalker::valid() const {
    return _stack != nullptr;
}

int BottomUpSubgraphWalker::node() const {
    return _stack ? _stack->node : Graph::kInvalidNodeRef;
}

void BottomUpSubgraphWalker::next() {
    if (!_stack) return;
    if (_stack->nextIndex >= _graph->numNodes(_stack->node)) pop();
    moveNext();
}

void BottomUpSubgraphWalker::moveNext() {
    // Each node has one parent, so no marks are needed to visit it once.
    while (_stack && _stack->nextIndex < _graph->numNodes(_stack->node)) {
        const int child = _graph->getNode(_stack->nextIndex++, _stack->node);
        pushEntry(_stack, child);
    }
}

void BottomUpSubgraphWalker::pop() {
    popEntry(_stack);
}

}  // namespace Orv
}  // namespace Vantrel
