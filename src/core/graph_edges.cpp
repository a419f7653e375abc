// Edges: what the adders refuse, linking and unlinking, and the kind and fields of an edge.
#include <Orv/Graph.h>

#include "graph_p.h"

#include <utility>

namespace Vantrel {
namespace Orv {

int GraphData::linkEdge(const EdgeRecord& record, Side from, Side to) {
    const int ref = edges.size();
    edges.append(record);
    editLiveEntry<PortRecord>(record.srcNode, from, record.srcIndex)->destinations.append(ref);
    editLiveEntry<PortRecord>(record.dstNode, to, record.dstIndex)->source = ref;
    return ref;
}

void GraphData::unlinkEdge(int ref) {
    if (!liveEdge(ref)) return;
    // A down edge starts at an input and an up edge ends at an output. An edge of no kind, which
    // only a corrupt table holds, is taken as an up edge.
    const EdgeKind kind = edgeKind(ref);
    const Side from = kind == EdgeKind::Down ? Side::Input : Side::Output;
    const Side to =
        kind == EdgeKind::Regular || kind == EdgeKind::Down ? Side::Input : Side::Output;
    const EdgeRecord record = edges.at(ref);
    if (PortRecord* src = editEntry<PortRecord>(record.srcNode, from, record.srcIndex)) {
        const int at = src->destinations.indexOf(ref);
        if (at >= 0) src->destinations.remove(at);
    }
    if (PortRecord* dst = editEntry<PortRecord>(record.dstNode, to, record.dstIndex))
        dst->source = -1;
    editEdge(ref)->removed = true;
}

void GraphData::unlinkPort(int ref, Side side, int index) {
    const PortRecord* p = port(ref, side, index);
    if (!p || (p->source == -1 && p->destinations.isEmpty())) return;  // detaches nothing
    // The port is emptied first: unlinking its edges then finds nothing left to erase here, and
    // its list is neither copied nor read again while they go.
    PortRecord* edited = editEntry<PortRecord>(ref, side, index);
    const int source = std::exchange(edited->source, -1);
    const QVector<int> destinations = std::exchange(edited->destinations, QVector<int>());
    unlinkEdge(source);
    for (int edge : destinations) unlinkEdge(edge);
}

namespace {

// A down edge (inputs) runs from a parent's input to its child's, an up edge (outputs) from a
// child's output to its parent's. Either is refused when the port it would feed has a source.
int linkLevels(GraphData& d, Side side, int parentPort, int child, int childPort) {
    const NodeRecord* c = d.node(child);
    const int parent = c ? c->parent : -1;
    const PortRecord* outer = d.livePort(parent, side, parentPort);
    const PortRecord* inner = d.livePort(child, side, childPort);
    if (!outer || !inner) return -1;
    if (side == Side::Input) {
        if (inner->source != -1) return -1;
        return d.linkEdge(EdgeRecord(parent, parentPort, child, childPort), side, side);
    }
    if (outer->source != -1) return -1;
    return d.linkEdge(EdgeRecord(child, childPort, parent, parentPort), side, side);
}

}  // namespace

int Graph::addEdge(int srcNode, int srcOutput, int dstNode, int dstInput) {
    ++d->revision;
    const PortRecord* output = d->livePort(srcNode, Side::Output, srcOutput);
    const PortRecord* input = d->livePort(dstNode, Side::Input, dstInput);
    // A pair that is not siblings would make an edge of another kind, linked at the wrong ports.
    if (!output || !input || d->nodes.at(srcNode).parent != d->nodes.at(dstNode).parent) return -1;
    if (input->source != -1) return -1;
    // An output that feeds up edges hands its value out of the container; it feeds no sibling.
    if (!output->destinations.isEmpty() &&
        d->edgeKind(output->destinations.first()) != EdgeKind::Regular)
        return -1;
    if (precedes(dstNode, srcNode, true)) return -1;
    return d->linkEdge(EdgeRecord(srcNode, srcOutput, dstNode, dstInput), Side::Output,
                       Side::Input);
}

int Graph::addDownEdge(int parentInput, int childNode, int childInput) {
    ++d->revision;
    return linkLevels(*d, Side::Input, parentInput, childNode, childInput);
}

int Graph::addUpEdge(int parentOutput, int childNode, int childOutput) {
    ++d->revision;
    return linkLevels(*d, Side::Output, parentOutput, childNode, childOutput);
}

void Graph::removeEdge(int edge) {
    ++d->revision;
    d->unlinkEdge(edge);
}

void Graph::disconnectInput(int node, int input) {
    ++d->revision;
    if (d->livePort(node, Side::Input, input)) d->unlinkPort(node, Side::Input, input);
}

void Graph::disconnectInputGroup(int node, int group) {
    ++d->revision;
    if (!d->liveNode(node)) return;
    const int count = numInputs(node);
    for (int i = 0; i < count; ++i) {
        if (inputGroup(node, i) == group) d->unlinkPort(node, Side::Input, i);
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
    const EdgeRecord* e = d->edge(edge);
    return e ? e->srcNode : -1;
}

int Graph::edgeSourceIndex(int edge) const {
    const EdgeRecord* e = d->edge(edge);
    return e ? e->srcIndex : -1;
}

int Graph::edgeDestNode(int edge) const {
    const EdgeRecord* e = d->edge(edge);
    return e ? e->dstNode : -1;
}

int Graph::edgeDestIndex(int edge) const {
    const EdgeRecord* e = d->edge(edge);
    return e ? e->dstIndex : -1;
}

}  // namespace Orv
}  // namespace Vantrel
