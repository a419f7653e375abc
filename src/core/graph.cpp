#include <Orv/Graph.h>

#include "diagnostics_p.h"
#include "graph_p.h"

#include <QSet>

// Every operation tests its arguments with the checked helpers of GraphData: a ref or index
// outside its table or list gives the neutral result, and editors refuse removed nodes. The
// tests are single comparisons, so valid calls pay next to nothing for them.

namespace Vantrel {
namespace Orv {

// Defined here as well as valued in the class, so that each stays an exported symbol.
const int Graph::kInvalidNodeRef;
const int Graph::kInvalidEdgeRef;
const int Graph::kInvalidGroupRef;
const int Graph::kRootNodeRef;

namespace {

const PortList kInputs = &NodeRecord::inputs;
const PortList kOutputs = &NodeRecord::outputs;
const GroupList kInputGroups = &NodeRecord::inputGroups;
const GroupList kOutputGroups = &NodeRecord::outputGroups;

GraphData* newGraphData() {
    GraphData* d = new GraphData;
    d->nodes.append(NodeRecord(QStringLiteral(""), -1));
    return d;
}

// The shapes shared by the input/output and group pairs.

template <typename T>
int countOf(const GraphData& d, int node, QVector<T> NodeRecord::*list) {
    const NodeRecord* n = d.nodeRecord(node);
    return n ? (n->*list).size() : 0;
}

template <typename T>
int indexOfName(const QVector<T>& list, const QString& name) {
    for (int i = 0; i < list.size(); ++i) {
        if (list.at(i).name == name) return i;
    }
    return -1;
}

template <typename T>
int findIn(const GraphData& d, int node, QVector<T> NodeRecord::*list, const QString& name) {
    const NodeRecord* n = d.nodeRecord(node);
    return n ? indexOfName(n->*list, name) : -1;
}

template <typename T>
QString nameOf(const GraphData& d, int node, QVector<T> NodeRecord::*list, int index) {
    const T* r = d.record(node, list, index);
    return r ? r->name : QString();
}

template <typename T>
void setNameOf(GraphData& d, int node, QVector<T> NodeRecord::*list, int index,
               const QString& name) {
    if (T* r = d.edit(node, list, index)) r->name = name;
}

template <typename T>
int appendTo(GraphData& d, int node, QVector<T> NodeRecord::*list, const T& record) {
    NodeRecord* n = d.editNode(node);
    if (!n) return -1;
    (n->*list).append(record);
    return (n->*list).size() - 1;
}

int appendPort(GraphData& d, int node, PortList list, const QString& name, int group) {
    PortRecord port;
    port.name = name;
    port.group = group;
    return appendTo(d, node, list, port);
}

int appendGroup(GraphData& d, int node, GroupList list, const QString& name) {
    GroupRecord group;
    group.name = name;
    return appendTo(d, node, list, group);
}

bool hasDestination(const GraphData& d, int node, PortList list, int port, int index) {
    const PortRecord* p = d.live(node, list, port);
    return p && GraphData::inRange(index, p->destinations.size());
}

int numDestinationsOf(const GraphData& d, int node, PortList list, int port) {
    const PortRecord* p = d.record(node, list, port);
    return p ? p->destinations.size() : 0;
}

int destinationOf(const GraphData& d, int node, PortList list, int port, int index) {
    const PortRecord* p = d.record(node, list, port);
    return p ? p->destinations.value(index, -1) : -1;
}

int groupOf(const GraphData& d, int node, PortList list, int port) {
    const PortRecord* p = d.record(node, list, port);
    return p ? p->group : -1;
}

// Appends a checked edge record and links it into its two ports.
int linkEdge(GraphData& d, const EdgeRecord& record, PortList srcList, PortList dstList) {
    const int edge = d.edges.size();
    d.edges.append(record);
    d.edit(record.srcNode, srcList, record.srcIndex)->destinations.append(edge);
    d.edit(record.dstNode, dstList, record.dstIndex)->source = edge;
    return edge;
}

// Follows the chain of `kind` edges that feed a port (down edges into inputs, up edges into
// outputs) to its far end. Each step moves one level in the hierarchy, so the chain is no
// longer than the edge table; a longer one can only be a corrupt loop and is refused.
bool walkChain(const GraphData& d, PortList list, EdgeKind kind, int& node, int& port) {
    int edge = d.sourceOf(node, list, port);
    if (d.edgeKind(edge) != kind) return false;
    int n = node;
    int p = port;
    for (int steps = 0; d.edgeKind(edge) == kind; ++steps) {
        if (steps == d.edges.size()) return false;
        const EdgeRecord& e = d.edges.at(edge);
        n = e.srcNode;
        p = e.srcIndex;
        edge = d.sourceOf(n, list, p);
    }
    node = n;
    port = p;
    return true;
}

// Only a node with an output that feeds some edge can be queued by the upstream search.
bool feedsAnything(const NodeRecord& node) {
    for (const PortRecord& output : node.outputs) {
        if (!output.destinations.isEmpty()) return true;
    }
    return false;
}

}  // namespace

// --- Lifetime -------------------------------------------------------------------------------

Graph::Graph() : d(newGraphData()) {}

Graph::~Graph() {
    delete d;
}

// The tables' lists are implicitly shared, so a copy is cheap until one side writes; editors
// write through GraphData's edit helpers only, which detach first.
Graph::Graph(const Graph& other) : d(new GraphData(*other.d)) {}

Graph& Graph::operator=(const Graph& other) {
    if (this != &other) {
        const quint64 next = qMax(d->revision, other.d->revision) + 1;
        *d = *other.d;
        d->revision = next;
    }
    return *this;
}

// The moved-from graph gets a fresh root-only table: a failed allocation here terminates.
Graph::Graph(Graph&& other) noexcept : d(other.d) {
    other.d = newGraphData();
    other.d->revision = d->revision + 1;
}

Graph& Graph::operator=(Graph&& other) noexcept {
    if (this != &other) {
        GraphData* fresh = newGraphData();
        const quint64 next = qMax(d->revision, other.d->revision) + 1;
        fresh->revision = next;
        delete d;
        d = other.d;
        d->revision = next;
        other.d = fresh;
    }
    return *this;
}

// --- Table-wide access ----------------------------------------------------------------------

int Graph::numNodesGlobal() const {
    return d->nodes.size();
}

int Graph::getNodeGlobal(int index) const {
    return index;
}

int Graph::numEdgesGlobal() const {
    return d->edges.size();
}

int Graph::getEdgeGlobal(int index) const {
    return index;
}

quint64 Graph::revision() const {
    return d->revision;
}

int Graph::numNodes(int parent) const {
    return countOf(*d, parent, &NodeRecord::children);
}

int Graph::getNode(int index, int parent) const {
    const NodeRecord* p = d->nodeRecord(parent);
    return p ? p->children.value(index, -1) : -1;
}

// --- Validity -------------------------------------------------------------------------------

bool Graph::isValidNode(int node) const {
    return d->liveNode(node);
}

bool Graph::isValidInput(int node, int input) const {
    return d->live(node, kInputs, input);
}

bool Graph::isValidOutput(int node, int output) const {
    return d->live(node, kOutputs, output);
}

bool Graph::isValidInputDestination(int node, int input, int index) const {
    return hasDestination(*d, node, kInputs, input, index);
}

bool Graph::isValidOutputDestination(int node, int output, int index) const {
    return hasDestination(*d, node, kOutputs, output, index);
}

bool Graph::isValidInputGroup(int node, int group) const {
    return d->live(node, kInputGroups, group);
}

bool Graph::isValidOutputGroup(int node, int group) const {
    return d->live(node, kOutputGroups, group);
}

bool Graph::isValidEdge(int edge) const {
    return d->liveEdge(edge);
}

// --- Nodes, ports and groups ----------------------------------------------------------------

int Graph::addNode(const QString& name, int numInputs, int numOutputs, int parent) {
    ++d->revision;
    if (!d->liveNode(parent)) return -1;
    const int node = d->nodes.size();
    d->nodes.append(NodeRecord(name, parent));
    d->nodes[parent].children.append(node);
    NodeRecord& record = d->nodes[node];
    if (numInputs > 0) record.inputs.resize(numInputs);
    if (numOutputs > 0) record.outputs.resize(numOutputs);
    return node;
}

int Graph::addInput(int node, const QString& name, int group) {
    ++d->revision;
    return appendPort(*d, node, kInputs, name, group);
}

int Graph::addOutput(int node, const QString& name, int group) {
    ++d->revision;
    return appendPort(*d, node, kOutputs, name, group);
}

int Graph::addInputGroup(int node, const QString& name) {
    ++d->revision;
    return appendGroup(*d, node, kInputGroups, name);
}

int Graph::addOutputGroup(int node, const QString& name) {
    ++d->revision;
    return appendGroup(*d, node, kOutputGroups, name);
}

int Graph::findNode(const QString& name, int parent) const {
    const NodeRecord* p = d->nodeRecord(parent);
    if (!p) return -1;
    for (int child : p->children) {
        const NodeRecord* c = d->nodeRecord(child);
        if (c && c->name == name) return child;
    }
    return -1;
}

int Graph::findInput(int node, const QString& name) const {
    return findIn(*d, node, kInputs, name);
}

int Graph::findOutput(int node, const QString& name) const {
    return findIn(*d, node, kOutputs, name);
}

int Graph::findInputGroup(int node, const QString& name) const {
    return findIn(*d, node, kInputGroups, name);
}

int Graph::findOutputGroup(int node, const QString& name) const {
    return findIn(*d, node, kOutputGroups, name);
}

int Graph::numInputs(int node) const {
    return countOf(*d, node, kInputs);
}

int Graph::numOutputs(int node) const {
    return countOf(*d, node, kOutputs);
}

int Graph::numInputGroups(int node) const {
    return countOf(*d, node, kInputGroups);
}

int Graph::numOutputGroups(int node) const {
    return countOf(*d, node, kOutputGroups);
}

QString Graph::nodeName(int node) const {
    const NodeRecord* n = d->nodeRecord(node);
    return n ? n->name : QString();
}

void Graph::setNodeName(int node, const QString& name) {
    ++d->revision;
    if (NodeRecord* n = d->editNode(node)) n->name = name;
}

QString Graph::inputName(int node, int input) const {
    return nameOf(*d, node, kInputs, input);
}

void Graph::setInputName(int node, int input, const QString& name) {
    ++d->revision;
    setNameOf(*d, node, kInputs, input, name);
}

QString Graph::outputName(int node, int output) const {
    return nameOf(*d, node, kOutputs, output);
}

void Graph::setOutputName(int node, int output, const QString& name) {
    ++d->revision;
    setNameOf(*d, node, kOutputs, output, name);
}

QString Graph::inputGroupName(int node, int group) const {
    return nameOf(*d, node, kInputGroups, group);
}

void Graph::setInputGroupName(int node, int group, const QString& name) {
    ++d->revision;
    setNameOf(*d, node, kInputGroups, group, name);
}

QString Graph::outputGroupName(int node, int group) const {
    return nameOf(*d, node, kOutputGroups, group);
}

void Graph::setOutputGroupName(int node, int group, const QString& name) {
    ++d->revision;
    setNameOf(*d, node, kOutputGroups, group, name);
}

int Graph::nodeValue(int node) const {
    const NodeRecord* n = d->nodeRecord(node);
    return n ? n->value : -1;
}

void Graph::setNodeValue(int node, int value) {
    ++d->revision;
    if (NodeRecord* n = d->editNode(node)) n->value = value;
}

int Graph::parentNode(int node) const {
    const NodeRecord* n = d->nodeRecord(node);
    return n ? n->parent : -1;
}

// --- Port wiring ----------------------------------------------------------------------------

int Graph::inputSource(int node, int input) const {
    return d->sourceOf(node, kInputs, input);
}

int Graph::numInputDestinations(int node, int input) const {
    return numDestinationsOf(*d, node, kInputs, input);
}

int Graph::inputDestination(int node, int input, int index) const {
    return destinationOf(*d, node, kInputs, input, index);
}

int Graph::inputGroup(int node, int input) const {
    return groupOf(*d, node, kInputs, input);
}

int Graph::outputSource(int node, int output) const {
    return d->sourceOf(node, kOutputs, output);
}

int Graph::numOutputDestinations(int node, int output) const {
    return numDestinationsOf(*d, node, kOutputs, output);
}

int Graph::outputDestination(int node, int output, int index) const {
    return destinationOf(*d, node, kOutputs, output, index);
}

int Graph::outputGroup(int node, int output) const {
    return groupOf(*d, node, kOutputs, output);
}

// --- Edges ----------------------------------------------------------------------------------

int Graph::addEdge(int srcNode, int srcOutput, int dstNode, int dstInput) {
    ++d->revision;
    const PortRecord* output = d->live(srcNode, kOutputs, srcOutput);
    const PortRecord* input = d->live(dstNode, kInputs, dstInput);
    // A pair that is not siblings would make an edge of another kind, linked at the wrong ports.
    if (!output || !input || d->nodes.at(srcNode).parent != d->nodes.at(dstNode).parent) return -1;
    if (input->source != -1) return -1;
    // An output that feeds up edges hands its value out of the container; it feeds no sibling.
    if (!output->destinations.isEmpty() &&
        d->edgeKind(output->destinations.first()) != EdgeKind::Regular)
        return -1;
    if (precedes(dstNode, srcNode, true)) return -1;
    return linkEdge(*d, EdgeRecord(srcNode, srcOutput, dstNode, dstInput), kOutputs, kInputs);
}

int Graph::addDownEdge(int parentInput, int childNode, int childInput) {
    ++d->revision;
    const int parent = parentNode(childNode);
    const PortRecord* input = d->live(childNode, kInputs, childInput);
    if (!input || !d->live(parent, kInputs, parentInput)) return -1;
    if (input->source != -1) return -1;
    return linkEdge(*d, EdgeRecord(parent, parentInput, childNode, childInput), kInputs, kInputs);
}

int Graph::addUpEdge(int parentOutput, int childNode, int childOutput) {
    ++d->revision;
    const int parent = parentNode(childNode);
    const PortRecord* output = d->live(parent, kOutputs, parentOutput);
    if (!output || !d->live(childNode, kOutputs, childOutput)) return -1;
    if (output->source != -1) return -1;
    return linkEdge(*d, EdgeRecord(childNode, childOutput, parent, parentOutput), kOutputs,
                    kOutputs);
}

void Graph::removeEdge(int edge) {
    ++d->revision;
    if (!d->liveEdge(edge)) return;
    const EdgeKind kind = d->edgeKind(edge);
    const EdgeRecord record = d->edges.at(edge);
    if (PortRecord* src =
            d->editRecord(record.srcNode, GraphData::sourceList(kind), record.srcIndex)) {
        const int at = src->destinations.indexOf(edge);
        if (at >= 0) src->destinations.remove(at);
    }
    if (PortRecord* dst = d->editRecord(record.dstNode, GraphData::destList(kind), record.dstIndex))
        dst->source = -1;
    d->editEdgeRecord(edge)->removed = true;
}

void Graph::disconnectInput(int node, int input) {
    ++d->revision;
    if (!isValidInput(node, input)) return;
    removeEdge(inputSource(node, input));
    // From the last entry down, so that the indexes still to come stay put as entries go.
    for (int k = numInputDestinations(node, input) - 1; k >= 0; --k)
        removeEdge(inputDestination(node, input, k));
}

void Graph::disconnectInputGroup(int node, int group) {
    ++d->revision;
    if (!isValidNode(node)) return;
    const int count = numInputs(node);
    for (int i = 0; i < count; ++i) {
        if (inputGroup(node, i) == group) disconnectInput(node, i);
    }
}

bool Graph::isRegularEdge(int edge) const {
    return d->edgeKind(edge) == EdgeKind::Regular;
}

bool Graph::isDownEdge(int edge) const {
    return d->edgeKind(edge) == EdgeKind::Down;
}

bool Graph::isUpEdge(int edge) const {
    return d->edgeKind(edge) == EdgeKind::Up;
}

int Graph::edgeSourceNode(int edge) const {
    const EdgeRecord* e = d->edgeRecord(edge);
    return e ? e->srcNode : -1;
}

int Graph::edgeSourceIndex(int edge) const {
    const EdgeRecord* e = d->edgeRecord(edge);
    return e ? e->srcIndex : -1;
}

int Graph::edgeDestNode(int edge) const {
    const EdgeRecord* e = d->edgeRecord(edge);
    return e ? e->dstNode : -1;
}

int Graph::edgeDestIndex(int edge) const {
    const EdgeRecord* e = d->edgeRecord(edge);
    return e ? e->dstIndex : -1;
}

// --- Navigation -----------------------------------------------------------------------------

bool Graph::walkUp(int& node, int& port) const {
    return walkChain(*d, kInputs, EdgeKind::Down, node, port);
}

bool Graph::walkAcross(int& node, int& port) const {
    const int edge = inputSource(node, port);
    if (d->edgeKind(edge) != EdgeKind::Regular) return false;
    const EdgeRecord& e = d->edges.at(edge);
    node = e.srcNode;
    port = e.srcIndex;
    return true;
}

bool Graph::walkDown(int& node, int& port) const {
    // Only an up edge from a live child feeds an output, so a node without children ends the
    // walk at once, without reading its port list: most producers are such nodes.
    const NodeRecord* n = d->nodeRecord(node);
    if (!n || n->children.isEmpty()) return false;
    return walkChain(*d, kOutputs, EdgeKind::Up, node, port);
}

bool Graph::walkToSourceNode(int& node, int& port) const {
    walkUp(node, port);
    if (!walkAcross(node, port)) return false;
    walkDown(node, port);
    return true;
}

// Breadth-first against the edges. Two shortcuts keep it cheap on every addEdge without
// changing its answer: only a node with an output that feeds an edge is ever queued, so any
// other node precedes only itself; and the visited marks are a set of the nodes reached
// rather than one mark per node of the table. Nothing is kept between calls, so concurrent
// readers stay safe. A node equals itself only when it is in the table.
bool Graph::precedes(int upstream, int downstream, bool throughHierarchy) const {
    const NodeRecord* target = d->nodeRecord(upstream);
    if (!target || !d->nodeRecord(downstream)) return false;
    if (upstream == downstream) return true;
    if (!feedsAnything(*target)) return false;

    QVector<int> queue;
    queue.append(downstream);
    QSet<int> visited;
    for (int head = 0; head < queue.size(); ++head) {
        const int x = queue.at(head);
        if (x == upstream) return true;
        if (visited.contains(x)) continue;
        visited.insert(x);
        const int count = numInputs(x);
        for (int i = 0; i < count; ++i) {
            int n = x;
            int k = i;
            if (throughHierarchy) walkUp(n, k);
            if (!walkAcross(n, k)) continue;
            if (throughHierarchy) walkDown(n, k);
            queue.append(n);
        }
    }
    return false;
}

bool Graph::contains(int ancestor, int node) const {
    const NodeRecord* n = d->nodeRecord(node);
    if (!n) return false;
    // Parents always precede their children in the table, so the climb ends; the bound only
    // guards against a corrupt chain.
    int p = n->parent;
    for (int steps = 0; p != -1 && steps < d->nodes.size(); ++steps) {
        if (p == ancestor) return true;
        const NodeRecord* r = d->nodeRecord(p);
        if (!r) return false;
        p = r->parent;
    }
    return false;
}

int Graph::indexOfNode(int node) const {
    const NodeRecord* parent = d->nodeRecord(parentNode(node));
    return parent ? parent->children.indexOf(node) : -1;
}

// --- Wiring by name -----------------------------------------------------------------------

namespace {

// One side of a name match: the inputs or the outputs of one node.
struct PortSide {
    int node;
    bool outputs;
};

int portCount(const Graph& graph, PortSide side) {
    return side.outputs ? graph.numOutputs(side.node) : graph.numInputs(side.node);
}

QString portName(const Graph& graph, PortSide side, int port) {
    return side.outputs ? graph.outputName(side.node, port) : graph.inputName(side.node, port);
}

// The scheme shared by the matching operations: each port of `ports` that is not skipped is
// offered to the first like-named candidate of `candidates` that is not skipped, and the scan
// of candidates ends there whether or not `connect(candidate, port)` makes the edge.
template <typename SkipPort, typename SkipCandidate, typename Connect>
void connectMatching(const Graph& graph, PortSide ports, PortSide candidates, SkipPort skipPort,
                     SkipCandidate skipCandidate, Connect connect) {
    const int numPorts = portCount(graph, ports);
    for (int port = 0; port < numPorts; ++port) {
        if (skipPort(port)) continue;
        const QString name = portName(graph, ports, port);
        const int numCandidates = portCount(graph, candidates);
        for (int candidate = 0; candidate < numCandidates; ++candidate) {
            if (skipCandidate(candidate)) continue;
            if (portName(graph, candidates, candidate) != name) continue;
            connect(candidate, port);
            break;
        }
    }
}

// True if the output feeds at least one edge and the first is not of the wanted kind.
template <typename IsKind>
bool firstDestinationIsNot(const Graph& graph, int node, int output, IsKind isKind) {
    return graph.numOutputDestinations(node, output) > 0 &&
           !(graph.*isKind)(graph.outputDestination(node, output, 0));
}

}  // namespace

int Graph::addEdgeByName(int srcNode, const QString& srcOutputName, int dstNode,
                         const QString& dstInputName) {
    const bool sourceFound = ORV_SOFT_ASSERT(
        isValidOutput(srcNode, findOutput(srcNode, srcOutputName)),
        QString::asprintf("Source output '%s' is not valid", qUtf8Printable(srcOutputName)));
    const bool destFound = ORV_SOFT_ASSERT(
        isValidInput(dstNode, findInput(dstNode, dstInputName)),
        QString::asprintf("Dest input '%s' is not valid", qUtf8Printable(dstInputName)));
    if (!sourceFound || !destFound) return kInvalidEdgeRef;
    return addEdge(srcNode, findOutput(srcNode, srcOutputName), dstNode,
                   findInput(dstNode, dstInputName));
}

int Graph::addDownEdgeByName(const QString& parentInputName, int childNode,
                             const QString& childInputName) {
    const QString names = QString::asprintf(
        "Parent '%s' Child '%s'", qUtf8Printable(parentInputName), qUtf8Printable(childInputName));
    // The checks hold up on any childNode: the queries answer -1 or false outside the table.
    const bool childFound = ORV_SOFT_ASSERT(isValidNode(childNode), names);
    const bool childInputFound =
        ORV_SOFT_ASSERT(isValidInput(childNode, findInput(childNode, childInputName)), names);
    const bool parentInputFound = ORV_SOFT_ASSERT(
        isValidInput(parentNode(childNode), findInput(parentNode(childNode), parentInputName)),
        names);
    if (!childFound || !childInputFound || !parentInputFound) return kInvalidEdgeRef;
    return addDownEdge(findInput(parentNode(childNode), parentInputName), childNode,
                       findInput(childNode, childInputName));
}

int Graph::addUpEdgeByName(const QString& parentOutputName, int childNode,
                           const QString& childOutputName) {
    // Unchecked by design: a name that is not found gives -1, which addUpEdge() refuses
    // silently, as it does a childNode outside the table or without a parent.
    const int parent = parentNode(childNode);
    return addUpEdge(findOutput(parent, parentOutputName), childNode,
                     findOutput(childNode, childOutputName));
}

void Graph::connectByName(int srcNode, int dstNode) {
    if (!isValidNode(srcNode) || !isValidNode(dstNode)) return;
    connectMatching(
        *this, PortSide{dstNode, false}, PortSide{srcNode, true},
        [&](int input) { return inputSource(dstNode, input) != kInvalidEdgeRef; },
        [&](int output) {
            return firstDestinationIsNot(*this, srcNode, output, &Graph::isRegularEdge);
        },
        [&](int output, int input) { addEdge(srcNode, output, dstNode, input); });
}

void Graph::connectGroups(int srcNode, int srcGroup, int dstNode, int dstGroup) {
    if (!isValidNode(srcNode) || !isValidNode(dstNode)) return;
    connectMatching(
        *this, PortSide{dstNode, false}, PortSide{srcNode, true},
        [&](int input) {
            return inputGroup(dstNode, input) != dstGroup ||
                   inputSource(dstNode, input) != kInvalidEdgeRef;
        },
        [&](int output) {
            return outputGroup(srcNode, output) != srcGroup ||
                   firstDestinationIsNot(*this, srcNode, output, &Graph::isRegularEdge);
        },
        [&](int output, int input) { addEdge(srcNode, output, dstNode, input); });
}

void Graph::connectNamedGroups(int srcNode, const QString& srcGroupName, int dstNode,
                               const QString& dstGroupName) {
    connectGroups(srcNode, findOutputGroup(srcNode, srcGroupName), dstNode,
                  findInputGroup(dstNode, dstGroupName));
}

void Graph::connectDownByName(int childNode) {
    const int parent = parentNode(childNode);
    if (!isValidNode(childNode) || !isValidNode(parent)) return;
    connectMatching(
        *this, PortSide{childNode, false}, PortSide{parent, false},
        [&](int input) { return inputSource(childNode, input) != kInvalidEdgeRef; },
        [](int) { return false; },
        [&](int parentInput, int input) { addDownEdge(parentInput, childNode, input); });
}

void Graph::connectUpByName(int childNode) {
    const int parent = parentNode(childNode);
    if (!isValidNode(childNode) || !isValidNode(parent)) return;
    connectMatching(
        *this, PortSide{childNode, true}, PortSide{parent, true},
        [&](int output) { return outputSource(childNode, output) != kInvalidEdgeRef; },
        [&](int output) { return firstDestinationIsNot(*this, parent, output, &Graph::isUpEdge); },
        [&](int parentOutput, int output) { addUpEdge(parentOutput, childNode, output); });
}

}  // namespace Orv
}  // namespace Vantrel
