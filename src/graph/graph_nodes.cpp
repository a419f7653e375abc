// The tables, nodes, ports and groups: lifetime, table-wide access, validity, adders, lookup,
// names and values, and what each port is wired to.
#include <Orv/Graph.h>

#include "graph/graph_p.h"

// Every operation tests its arguments with the checked accessors of GraphData: a ref or index
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

detail::GraphData* newGraphData() {
    detail::GraphData* d = new detail::GraphData;
    d->nodes.append(detail::NodeRecord(QStringLiteral(""), -1));
    return d;
}

// The shapes shared by the input/output and port/group pairs; T picks ports or groups.

template <typename T>
int countOf(const detail::GraphData& d, int node, detail::Side side) {
    const detail::NodeRecord* n = d.node(node);
    return n ? n->list<T>(side).size() : 0;
}

template <typename T>
int findIn(const detail::GraphData& d, int node, detail::Side side, const QString& name) {
    const detail::NodeRecord* n = d.node(node);
    if (!n) return -1;
    const QVector<T>& list = n->list<T>(side);
    for (int i = 0; i < list.size(); ++i) {
        if (list.at(i).name == name) return i;
    }
    return -1;
}

template <typename T>
QString nameOf(const detail::GraphData& d, int node, detail::Side side, int index) {
    const T* r = d.entry<T>(node, side, index);
    return r ? r->name : QString();
}

template <typename T>
void setNameOf(detail::GraphData& d, int node, detail::Side side, int index, const QString& name) {
    if (T* r = d.editLiveEntry<T>(node, side, index)) r->name = name;
}

template <typename T>
int appendTo(detail::GraphData& d, int node, detail::Side side, const T& record) {
    detail::NodeRecord* n = d.editLiveNode(node);
    if (!n) return -1;
    n->list<T>(side).append(record);
    return n->list<T>(side).size() - 1;
}

int appendPort(detail::GraphData& d, int node, detail::Side side, const QString& name, int group) {
    detail::PortRecord port;
    port.name = name;
    port.group = group;
    return appendTo(d, node, side, port);
}

int appendGroup(detail::GraphData& d, int node, detail::Side side, const QString& name) {
    detail::GroupRecord group;
    group.name = name;
    return appendTo(d, node, side, group);
}

bool hasDestination(const detail::GraphData& d, int node, detail::Side side, int port, int index) {
    const detail::PortRecord* p = d.livePort(node, side, port);
    return p && detail::GraphData::inRange(index, p->destinations.size());
}

int numDestinationsOf(const detail::GraphData& d, int node, detail::Side side, int port) {
    const detail::PortRecord* p = d.port(node, side, port);
    return p ? p->destinations.size() : 0;
}

int destinationOf(const detail::GraphData& d, int node, detail::Side side, int port, int index) {
    const detail::PortRecord* p = d.port(node, side, port);
    return p ? p->destinations.value(index, -1) : -1;
}

int groupOf(const detail::GraphData& d, int node, detail::Side side, int port) {
    const detail::PortRecord* p = d.port(node, side, port);
    return p ? p->group : -1;
}

}  // namespace

// --- Lifetime -------------------------------------------------------------------------------

Graph::Graph() : d(newGraphData()) {}

Graph::~Graph() {
    delete d;
}

// The tables' lists are implicitly shared, so a copy is cheap until one side writes; editors
// write through GraphData's edit accessors only, which detach first.
Graph::Graph(const Graph& other) : d(new detail::GraphData(*other.d)) {}

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
        detail::GraphData* fresh = newGraphData();
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
    const detail::NodeRecord* p = d->node(parent);
    return p ? p->children.size() : 0;
}

int Graph::getNode(int index, int parent) const {
    const detail::NodeRecord* p = d->node(parent);
    return p ? p->children.value(index, -1) : -1;
}

// --- Validity -------------------------------------------------------------------------------

bool Graph::isValidNode(int node) const {
    return d->liveNode(node);
}

bool Graph::isValidInput(int node, int input) const {
    return d->livePort(node, detail::Side::Input, input);
}

bool Graph::isValidOutput(int node, int output) const {
    return d->livePort(node, detail::Side::Output, output);
}

bool Graph::isValidInputDestination(int node, int input, int index) const {
    return hasDestination(*d, node, detail::Side::Input, input, index);
}

bool Graph::isValidOutputDestination(int node, int output, int index) const {
    return hasDestination(*d, node, detail::Side::Output, output, index);
}

bool Graph::isValidInputGroup(int node, int group) const {
    return d->liveEntry<detail::GroupRecord>(node, detail::Side::Input, group);
}

bool Graph::isValidOutputGroup(int node, int group) const {
    return d->liveEntry<detail::GroupRecord>(node, detail::Side::Output, group);
}

bool Graph::isValidEdge(int edge) const {
    return d->liveEdge(edge);
}

// --- Nodes, ports and groups ----------------------------------------------------------------

int Graph::addNode(const QString& name, int numInputs, int numOutputs, int parent) {
    ++d->revision;
    if (!d->liveNode(parent)) return -1;
    const int node = d->nodes.size();
    d->nodes.append(detail::NodeRecord(name, parent));
    d->nodes[parent].children.append(node);
    detail::NodeRecord& record = d->nodes[node];
    if (numInputs > 0) record.inputs.resize(numInputs);
    if (numOutputs > 0) record.outputs.resize(numOutputs);
    return node;
}

int Graph::addInput(int node, const QString& name, int group) {
    ++d->revision;
    return appendPort(*d, node, detail::Side::Input, name, group);
}

int Graph::addOutput(int node, const QString& name, int group) {
    ++d->revision;
    return appendPort(*d, node, detail::Side::Output, name, group);
}

int Graph::addInputGroup(int node, const QString& name) {
    ++d->revision;
    return appendGroup(*d, node, detail::Side::Input, name);
}

int Graph::addOutputGroup(int node, const QString& name) {
    ++d->revision;
    return appendGroup(*d, node, detail::Side::Output, name);
}

int Graph::findNode(const QString& name, int parent) const {
    const detail::NodeRecord* p = d->node(parent);
    if (!p) return -1;
    for (int child : p->children) {
        const detail::NodeRecord* c = d->node(child);
        if (c && c->name == name) return child;
    }
    return -1;
}

int Graph::findInput(int node, const QString& name) const {
    return findIn<detail::PortRecord>(*d, node, detail::Side::Input, name);
}

int Graph::findOutput(int node, const QString& name) const {
    return findIn<detail::PortRecord>(*d, node, detail::Side::Output, name);
}

int Graph::findInputGroup(int node, const QString& name) const {
    return findIn<detail::GroupRecord>(*d, node, detail::Side::Input, name);
}

int Graph::findOutputGroup(int node, const QString& name) const {
    return findIn<detail::GroupRecord>(*d, node, detail::Side::Output, name);
}

int Graph::numInputs(int node) const {
    return countOf<detail::PortRecord>(*d, node, detail::Side::Input);
}

int Graph::numOutputs(int node) const {
    return countOf<detail::PortRecord>(*d, node, detail::Side::Output);
}

int Graph::numInputGroups(int node) const {
    return countOf<detail::GroupRecord>(*d, node, detail::Side::Input);
}

int Graph::numOutputGroups(int node) const {
    return countOf<detail::GroupRecord>(*d, node, detail::Side::Output);
}

QString Graph::nodeName(int node) const {
    const detail::NodeRecord* n = d->node(node);
    return n ? n->name : QString();
}

void Graph::setNodeName(int node, const QString& name) {
    ++d->revision;
    if (detail::NodeRecord* n = d->editLiveNode(node)) n->name = name;
}

QString Graph::inputName(int node, int input) const {
    return nameOf<detail::PortRecord>(*d, node, detail::Side::Input, input);
}

void Graph::setInputName(int node, int input, const QString& name) {
    ++d->revision;
    setNameOf<detail::PortRecord>(*d, node, detail::Side::Input, input, name);
}

QString Graph::outputName(int node, int output) const {
    return nameOf<detail::PortRecord>(*d, node, detail::Side::Output, output);
}

void Graph::setOutputName(int node, int output, const QString& name) {
    ++d->revision;
    setNameOf<detail::PortRecord>(*d, node, detail::Side::Output, output, name);
}

QString Graph::inputGroupName(int node, int group) const {
    return nameOf<detail::GroupRecord>(*d, node, detail::Side::Input, group);
}

void Graph::setInputGroupName(int node, int group, const QString& name) {
    ++d->revision;
    setNameOf<detail::GroupRecord>(*d, node, detail::Side::Input, group, name);
}

QString Graph::outputGroupName(int node, int group) const {
    return nameOf<detail::GroupRecord>(*d, node, detail::Side::Output, group);
}

void Graph::setOutputGroupName(int node, int group, const QString& name) {
    ++d->revision;
    setNameOf<detail::GroupRecord>(*d, node, detail::Side::Output, group, name);
}

int Graph::nodeValue(int node) const {
    const detail::NodeRecord* n = d->node(node);
    return n ? n->value : -1;
}

void Graph::setNodeValue(int node, int value) {
    ++d->revision;
    if (detail::NodeRecord* n = d->editLiveNode(node)) n->value = value;
}

int Graph::parentNode(int node) const {
    const detail::NodeRecord* n = d->node(node);
    return n ? n->parent : -1;
}

// --- Port wiring ----------------------------------------------------------------------------

int Graph::inputSource(int node, int input) const {
    return d->sourceOf(node, detail::Side::Input, input);
}

int Graph::numInputDestinations(int node, int input) const {
    return numDestinationsOf(*d, node, detail::Side::Input, input);
}

int Graph::inputDestination(int node, int input, int index) const {
    return destinationOf(*d, node, detail::Side::Input, input, index);
}

int Graph::inputGroup(int node, int input) const {
    return groupOf(*d, node, detail::Side::Input, input);
}

int Graph::outputSource(int node, int output) const {
    return d->sourceOf(node, detail::Side::Output, output);
}

int Graph::numOutputDestinations(int node, int output) const {
    return numDestinationsOf(*d, node, detail::Side::Output, output);
}

int Graph::outputDestination(int node, int output, int index) const {
    return destinationOf(*d, node, detail::Side::Output, output, index);
}

int Graph::outputGroup(int node, int output) const {
    return groupOf(*d, node, detail::Side::Output, output);
}

}  // namespace Orv
}  // namespace Vantrel
