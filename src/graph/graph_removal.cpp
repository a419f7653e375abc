// Removal of nodes, ports and groups, and compaction of the tables.
#include <Orv/Graph.h>

#include "graph/graph_p.h"

#include <QVector>

#include <utility>

namespace Vantrel {
namespace Orv {

namespace {

// Erases one port after unlinking its edges; the edges at later ports of the side follow their
// ports down by one index, so that every edge still names the port that holds it.
void erasePort(detail::GraphData& d, int node, detail::Side side, int port) {
    if (!d.livePort(node, side, port)) return;
    d.unlinkPort(node, side, port);
    const QVector<detail::PortRecord>& ports = d.node(node)->list<detail::PortRecord>(side);
    for (int later = port + 1; later < ports.size(); ++later) {
        if (detail::EdgeRecord* source = d.editEdge(ports.at(later).source)) --source->dstIndex;
        for (int edge : ports.at(later).destinations) {
            if (detail::EdgeRecord* destination = d.editEdge(edge)) --destination->srcIndex;
        }
    }
    d.editLiveNode(node)->list<detail::PortRecord>(side).remove(port);
}

// Flags a live node and its whole subtree removed, once every edge at their ports is unlinked.
// The subtree is gathered with an explicit stack, so that deep nesting cannot overflow the call
// stack.
void removeSubtree(detail::GraphData& d, int node) {
    QVector<int> subtree;
    QVector<int> pending{node};
    while (!pending.isEmpty()) {
        const int current = pending.takeLast();
        subtree.append(current);
        const QVector<int>& children = d.node(current)->children;
        for (int i = children.size() - 1; i >= 0; --i) {
            if (d.liveNode(children.at(i))) pending.append(children.at(i));
        }
    }
    for (int current : std::as_const(subtree)) {
        for (detail::Side side : {detail::Side::Input, detail::Side::Output}) {
            const int numPorts = d.node(current)->list<detail::PortRecord>(side).size();
            for (int port = 0; port < numPorts; ++port) d.unlinkPort(current, side, port);
        }
    }
    for (int i = subtree.size() - 1; i >= 0; --i) {
        detail::NodeRecord* record = d.editNode(subtree.at(i));
        record->children.clear();
        record->removed = true;
    }
}

// Takes the ports of a side out of `group` and lowers the refs of the later groups' ports, so
// that they keep naming their groups once `group` is erased. Refs past the last group are
// left as they are: they named no group before and name none after.
void eraseGroup(detail::GraphData& d, int node, detail::Side side, int group) {
    if (!d.liveEntry<detail::GroupRecord>(node, side, group)) return;
    detail::NodeRecord* record = d.editLiveNode(node);
    const int numGroups = record->list<detail::GroupRecord>(side).size();
    for (detail::PortRecord& port : record->list<detail::PortRecord>(side)) {
        if (port.group == group) {
            port.group = -1;
        } else if (port.group > group && port.group < numGroups) {
            --port.group;
        }
    }
    record->list<detail::GroupRecord>(side).remove(group);
}

int mapped(const QVector<int>& map, int ref) {
    return map.value(ref, -1);
}

// Rewrites a list of refs through `map`; an entry naming no surviving record (which only a
// corrupt table holds) is dropped rather than kept as -1.
void remapList(QVector<int>& refs, const QVector<int>& map) {
    int kept = 0;
    for (int i = 0; i < refs.size(); ++i) {
        const int renumbered = mapped(map, refs.at(i));
        if (renumbered != -1) refs[kept++] = renumbered;
    }
    refs.resize(kept);
}

void remapPorts(QVector<detail::PortRecord>& ports, const QVector<int>& edgeMap) {
    for (detail::PortRecord& port : ports) {
        if (port.source != -1) port.source = mapped(edgeMap, port.source);
        remapList(port.destinations, edgeMap);
    }
}

// The new ref of every record that is not removed, in table order; -1 for removed ones.
template <typename Record>
QVector<int> survivorMap(const QVector<Record>& table, int* survivors) {
    QVector<int> map(table.size(), -1);
    int next = 0;
    for (int i = 0; i < table.size(); ++i) {
        if (!table.at(i).removed) map[i] = next++;
    }
    *survivors = next;
    return map;
}

// Moves every survivor down over the removed records before it, in table order, and drops the
// tail. Working in place spares a second table and its fresh memory; move-assigning over a
// removed record frees what it held, and the table keeps its capacity for later additions.
template <typename Record>
void compact(QVector<Record>& table, int count) {
    Record* records = table.data();
    int to = 0;
    for (int i = 0; i < table.size(); ++i) {
        if (records[i].removed) continue;
        if (to != i) records[to] = std::move(records[i]);
        ++to;
    }
    table.resize(count);
}

}  // namespace

void Graph::removeNode(int node) {
    ++d->revision;
    if (!d->liveNode(node)) return;
    const int parent = d->node(node)->parent;
    removeSubtree(*d, node);
    if (detail::NodeRecord* p = d->editNode(parent)) {
        const int index = p->children.indexOf(node);
        if (index >= 0) p->children.remove(index);
    }
}

void Graph::removeInput(int node, int input) {
    ++d->revision;
    erasePort(*d, node, detail::Side::Input, input);
}

void Graph::removeOutput(int node, int output) {
    ++d->revision;
    erasePort(*d, node, detail::Side::Output, output);
}

void Graph::removeInputGroup(int node, int group) {
    ++d->revision;
    eraseGroup(*d, node, detail::Side::Input, group);
}

void Graph::removeOutputGroup(int node, int group) {
    ++d->revision;
    eraseGroup(*d, node, detail::Side::Output, group);
}

void Graph::purge() {
    ++d->revision;
    // Linear in the size of the graph: two maps, one pass rewriting the refs that live records
    // hold, then one pass over each table moving the survivors to their new places. The maps go
    // before the removed records are freed: releasing a large block makes the allocator sweep
    // its lists of small free blocks, and that sweep is cheapest before they fill up.
    int numNodes = 0;
    int numEdges = 0;
    {
        const QVector<int> nodeMap = survivorMap(d->nodes, &numNodes);
        const QVector<int> edgeMap = survivorMap(d->edges, &numEdges);
        if (numNodes == d->nodes.size() && numEdges == d->edges.size()) return;

        detail::NodeRecord* records = d->nodes.data();
        for (int i = 0; i < d->nodes.size(); ++i) {
            detail::NodeRecord& record = records[i];
            if (record.removed) continue;
            remapPorts(record.inputs, edgeMap);
            remapPorts(record.outputs, edgeMap);
            remapList(record.children, nodeMap);
            if (record.parent != -1) record.parent = mapped(nodeMap, record.parent);
        }
        for (detail::EdgeRecord& edge : d->edges) {
            if (edge.removed) continue;
            edge.srcNode = mapped(nodeMap, edge.srcNode);
            edge.dstNode = mapped(nodeMap, edge.dstNode);
        }
    }
    compact(d->nodes, numNodes);
    compact(d->edges, numEdges);
}

void detail::GraphAccess::renumberNodes(Graph& graph, const QVector<int>& refOf) {
    ++graph.d->revision;
    QVector<NodeRecord>& table = graph.d->nodes;
    QVector<NodeRecord> renumbered(table.size());
    for (int n = 0; n < table.size(); ++n) {
        NodeRecord& record = table[n];
        if (record.parent != -1) record.parent = refOf.at(record.parent);
        for (int& child : record.children) child = refOf.at(child);
        renumbered[refOf.at(n)] = std::move(record);
    }
    table.swap(renumbered);
}

}  // namespace Orv
}  // namespace Vantrel
