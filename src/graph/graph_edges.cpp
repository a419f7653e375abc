// Edges: what the adders refuse, linking and unlinking, and the kind and fields of an edge.
#include <Orv/Graph.h>

#include "graph/graph_p.h"
#include "graph/refusal_p.h"

#include <utility>

namespace Vantrel {
namespace Orv {

int detail::GraphData::linkEdge(const detail::EdgeRecord& record, detail::Side from,
                                detail::Side to) {
    const int ref = edges.size();
    edges.append(record);
    editLiveEntry<detail::PortRecord>(record.srcNode, from, record.srcIndex)
        ->destinations.append(ref);
    editLiveEntry<detail::PortRecord>(record.dstNode, to, record.dstIndex)->source = ref;
    return ref;
}

void detail::GraphData::unlinkEdge(int ref) {
    if (!liveEdge(ref)) return;
    // A down edge starts at an input and an up edge ends at an output. An edge of no kind, which
    // only a corrupt table holds, is taken as an up edge.
    const detail::EdgeKind kind = edgeKind(ref);
    const detail::Side from =
        kind == detail::EdgeKind::Down ? detail::Side::Input : detail::Side::Output;
    const detail::Side to = kind == detail::EdgeKind::Regular || kind == detail::EdgeKind::Down
                                ? detail::Side::Input
                                : detail::Side::Output;
    const detail::EdgeRecord record = edges.at(ref);
    if (detail::PortRecord* src =
            editEntry<detail::PortRecord>(record.srcNode, from, record.srcIndex)) {
        const int at = src->destinations.indexOf(ref);
        if (at >= 0) src->destinations.remove(at);
    }
    if (detail::PortRecord* dst =
            editEntry<detail::PortRecord>(record.dstNode, to, record.dstIndex))
        dst->source = -1;
    editEdge(ref)->removed = true;
}

void detail::GraphData::unlinkPort(int ref, detail::Side side, int index) {
    const detail::PortRecord* p = port(ref, side, index);
    if (!p || (p->source == -1 && p->destinations.isEmpty())) return;  // detaches nothing
    // The port is emptied first: unlinking its edges then finds nothing left to erase here, and
    // its list is neither copied nor read again while they go.
    detail::PortRecord* edited = editEntry<detail::PortRecord>(ref, side, index);
    const int source = std::exchange(edited->source, -1);
    const QVector<int> destinations = std::exchange(edited->destinations, QVector<int>());
    unlinkEdge(source);
    for (int edge : destinations) unlinkEdge(edge);
}

namespace {

// A down edge (inputs) runs from a parent's input to its child's, an up edge (outputs) from a
// child's output to its parent's. Either is refused when the port it would feed has a source.
int linkLevels(detail::GraphData& d, detail::Side side, int parentPort, int child, int childPort) {
    const detail::NodeRecord* c = d.node(child);
    const int parent = c ? c->parent : -1;
    const detail::PortRecord* outer = d.livePort(parent, side, parentPort);
    const detail::PortRecord* inner = d.livePort(child, side, childPort);
    if (!outer || !inner) return -1;
    if (side == detail::Side::Input) {
        if (inner->source != -1) return -1;
        return d.linkEdge(detail::EdgeRecord(parent, parentPort, child, childPort), side, side);
    }
    if (outer->source != -1) return -1;
    return d.linkEdge(detail::EdgeRecord(child, childPort, parent, parentPort), side, side);
}

}  // namespace

int Graph::addEdge(int srcNode, int srcOutput, int dstNode, int dstInput) {
    ++d->revision;
    const detail::PortRecord* output = d->livePort(srcNode, detail::Side::Output, srcOutput);
    const detail::PortRecord* input = d->livePort(dstNode, detail::Side::Input, dstInput);
    // A pair that is not siblings would make an edge of another kind, linked at the wrong ports.
    if (!output || !input || d->nodes.at(srcNode).parent != d->nodes.at(dstNode).parent) return -1;
    if (input->source != -1) return -1;
    // An output that feeds up edges hands its value out of the container; it feeds no sibling.
    if (!output->destinations.isEmpty() &&
        d->edgeKind(output->destinations.first()) != detail::EdgeKind::Regular)
        return -1;
    if (precedes(dstNode, srcNode, true)) return -1;
    return d->linkEdge(detail::EdgeRecord(srcNode, srcOutput, dstNode, dstInput),
                       detail::Side::Output, detail::Side::Input);
}

int Graph::addDownEdge(int parentInput, int childNode, int childInput) {
    ++d->revision;
    return linkLevels(*d, detail::Side::Input, parentInput, childNode, childInput);
}

int Graph::addUpEdge(int parentOutput, int childNode, int childOutput) {
    ++d->revision;
    return linkLevels(*d, detail::Side::Output, parentOutput, childNode, childOutput);
}

// The reasons are worked out after the fact: a refusal changes nothing, so the graph they read
// is the one the adder saw, and the adders themselves stay as lean as before.
int Graph::addEdge(int srcNode, int srcOutput, int dstNode, int dstInput, QString* why) {
    const int edge = addEdge(srcNode, srcOutput, dstNode, dstInput);
    if (why)
        *why = edge >= 0 ? QString()
                         : detail::edgeRefusal(*this, srcNode, srcOutput, dstNode, dstInput);
    return edge;
}

int Graph::addDownEdge(int parentInput, int childNode, int childInput, QString* why) {
    const int edge = addDownEdge(parentInput, childNode, childInput);
    if (why)
        *why = edge >= 0 ? QString()
                         : detail::downEdgeRefusal(*this, parentInput, childNode, childInput);
    return edge;
}

int Graph::addUpEdge(int parentOutput, int childNode, int childOutput, QString* why) {
    const int edge = addUpEdge(parentOutput, childNode, childOutput);
    if (why)
        *why = edge >= 0 ? QString()
                         : detail::upEdgeRefusal(*this, parentOutput, childNode, childOutput);
    return edge;
}

void Graph::removeEdge(int edge) {
    ++d->revision;
    d->unlinkEdge(edge);
}

void Graph::disconnectInput(int node, int input) {
    ++d->revision;
    if (d->livePort(node, detail::Side::Input, input))
        d->unlinkPort(node, detail::Side::Input, input);
}

void Graph::disconnectInputGroup(int node, int group) {
    ++d->revision;
    if (!d->liveNode(node)) return;
    const int count = numInputs(node);
    for (int i = 0; i < count; ++i) {
        if (inputGroup(node, i) == group) d->unlinkPort(node, detail::Side::Input, i);
    }
}

bool Graph::isRegularEdge(int edge) const {
    return d->edgeKind(edge) == detail::EdgeKind::Regular;
}

bool Graph::isDownEdge(int edge) const {
    return d->edgeKind(edge) == detail::EdgeKind::Down;
}

bool Graph::isUpEdge(int edge) const {
    return d->edgeKind(edge) == detail::EdgeKind::Up;
}

int Graph::edgeSourceNode(int edge) const {
    const detail::EdgeRecord* e = d->edge(edge);
    return e ? e->srcNode : -1;
}

int Graph::edgeSourceIndex(int edge) const {
    const detail::EdgeRecord* e = d->edge(edge);
    return e ? e->srcIndex : -1;
}

int Graph::edgeDestNode(int edge) const {
    const detail::EdgeRecord* e = d->edge(edge);
    return e ? e->dstNode : -1;
}

int Graph::edgeDestIndex(int edge) const {
    const detail::EdgeRecord* e = d->edge(edge);
    return e ? e->dstIndex : -1;
}

}  // namespace Orv
}  // namespace Vantrel
