#pragma once

#include <QString>
#include <QVector>
#include <QtGlobal>

namespace Vantrel {
namespace Orv {

struct PortRecord {
    QString name = QString(QLatin1String(""));  // empty, not null, until named
    int source = -1;            // edge ending here
    QVector<int> destinations;  // edges starting here, in order of addition
    int group = -1;
};

struct GroupRecord {
    QString name;
};

struct NodeRecord {
    NodeRecord() = default;
    NodeRecord(const QString& name, int parent) : name(name), parent(parent) {}

    QString name;
    int parent = -1;
    int value = -1;
    QVector<PortRecord> inputs;
    QVector<PortRecord> outputs;
    QVector<GroupRecord> inputGroups;
    QVector<GroupRecord> outputGroups;
    QVector<int> children;
    bool removed = false;
};

struct EdgeRecord {
    EdgeRecord() = default;
    EdgeRecord(int srcNode, int srcIndex, int dstNode, int dstIndex)
        : srcNode(srcNode), srcIndex(srcIndex), dstNode(dstNode), dstIndex(dstIndex) {}

    int srcNode = -1;
    int srcIndex = -1;
    int dstNode = -1;
    int dstIndex = -1;
    bool removed = false;
};

}  // namespace Orv
}  // namespace Vantrel

// Records hold ints, bools and implicitly shared Qt values, which may all be moved as raw bytes:
// the tables then grow and shift with memcpy instead of element by element.
Q_DECLARE_TYPEINFO(Vantrel::Orv::PortRecord, Q_MOVABLE_TYPE);
Q_DECLARE_TYPEINFO(Vantrel::Orv::GroupRecord, Q_MOVABLE_TYPE);
Q_DECLARE_TYPEINFO(Vantrel::Orv::NodeRecord, Q_MOVABLE_TYPE);
Q_DECLARE_TYPEINFO(Vantrel::Orv::EdgeRecord, Q_MOVABLE_TYPE);

namespace Vantrel {
namespace Orv {

enum class EdgeKind { None, Regular, Down, Up };

// One of a node's lists, so that paired input/output (and group) code is written once.
using PortList = QVector<PortRecord> NodeRecord::*;
using GroupList = QVector<GroupRecord> NodeRecord::*;

// Checked access to the tables. Every helper returns null (or a neutral value) for a ref or
// index outside its table or list, so callers need a single test per argument.
//   readers (const): any record still in the table, removed or not, except the live...()
//     helpers, which accept live nodes and edges only (predicates);
//   edit...(): live nodes only, for editors; editRecord...() also removed ones, for removal.
// Readers are const-only and editors have their own names, so a query never detaches the lists
// that copies of a graph share until one of them is written.
struct GraphData {
    QVector<NodeRecord> nodes;
    QVector<EdgeRecord> edges;
    // Counts edits, so that clients can cache what they derive from the graph. It only grows,
    // also across assignment, so a cached value never matches a graph that changed since.
    quint64 revision = 0;

    // One unsigned comparison covers both "negative" and "past the end".
    static bool inRange(int index, int size) { return unsigned(index) < unsigned(size); }

    template <typename T>
    static const T* entry(const QVector<T>& list, int index) {
        return inRange(index, list.size()) ? list.constData() + index : nullptr;
    }
    template <typename T>
    static T* editEntry(QVector<T>& list, int index) {
        return inRange(index, list.size()) ? list.data() + index : nullptr;
    }

    const NodeRecord* nodeRecord(int node) const { return entry(nodes, node); }
    const NodeRecord* liveNode(int node) const {
        const NodeRecord* n = nodeRecord(node);
        return n && !n->removed ? n : nullptr;
    }
    const EdgeRecord* edgeRecord(int edge) const { return entry(edges, edge); }
    const EdgeRecord* liveEdge(int edge) const {
        const EdgeRecord* e = edgeRecord(edge);
        return e && !e->removed ? e : nullptr;
    }

    // An entry (port or group) of one of a node's lists.
    template <typename T>
    const T* record(int node, QVector<T> NodeRecord::*list, int index) const {
        const NodeRecord* n = nodeRecord(node);
        return n ? entry(n->*list, index) : nullptr;
    }
    template <typename T>
    const T* live(int node, QVector<T> NodeRecord::*list, int index) const {
        const NodeRecord* n = liveNode(node);
        return n ? entry(n->*list, index) : nullptr;
    }
    const PortRecord* inputRecord(int node, int input) const {
        return record(node, &NodeRecord::inputs, input);
    }
    const PortRecord* outputRecord(int node, int output) const {
        return record(node, &NodeRecord::outputs, output);
    }

    // Editors: the test goes through the const path, so a refused call detaches nothing.
    NodeRecord* editNode(int node) { return liveNode(node) ? nodes.data() + node : nullptr; }
    NodeRecord* editNodeRecord(int node) {
        return nodeRecord(node) ? nodes.data() + node : nullptr;
    }
    EdgeRecord* editEdgeRecord(int edge) {
        return edgeRecord(edge) ? edges.data() + edge : nullptr;
    }
    template <typename T>
    T* edit(int node, QVector<T> NodeRecord::*list, int index) {
        return live(node, list, index) ? editEntry(nodes[node].*list, index) : nullptr;
    }
    template <typename T>
    T* editRecord(int node, QVector<T> NodeRecord::*list, int index) {
        return record(node, list, index) ? editEntry(nodes[node].*list, index) : nullptr;
    }

    // The edge ending at a port, -1 when there is none or the port does not exist.
    int sourceOf(int node, PortList list, int port) const {
        const PortRecord* p = record(node, list, port);
        return p ? p->source : -1;
    }

    // The kind follows from the parents of the two nodes; None for removed or unknown edges
    // and for edges whose nodes are not in the table.
    EdgeKind edgeKind(int edge) const {
        const EdgeRecord* e = liveEdge(edge);
        if (!e) return EdgeKind::None;
        const NodeRecord* src = nodeRecord(e->srcNode);
        const NodeRecord* dst = nodeRecord(e->dstNode);
        if (!src || !dst) return EdgeKind::None;
        if (src->parent == dst->parent) return EdgeKind::Regular;
        if (e->srcNode == dst->parent) return EdgeKind::Down;
        if (src->parent == e->dstNode) return EdgeKind::Up;
        return EdgeKind::None;
    }

    // The lists holding an edge's two ends: a down edge starts at an input, an up edge ends
    // at an output. An edge of no kind is taken as an up edge, as removeEdge does.
    static PortList sourceList(EdgeKind kind) {
        return kind == EdgeKind::Down ? &NodeRecord::inputs : &NodeRecord::outputs;
    }
    static PortList destList(EdgeKind kind) {
        return kind == EdgeKind::Regular || kind == EdgeKind::Down ? &NodeRecord::inputs
                                                                   : &NodeRecord::outputs;
    }
};

}  // namespace Orv
}  // namespace Vantrel
