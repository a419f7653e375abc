#pragma once

#include <Orv/Graph.h>

#include "graph/side_p.h"

#include <QString>
#include <QVector>
#include <QtGlobal>

namespace Vantrel {
namespace Orv {
namespace detail {

struct PortRecord {
    QString name = QString(QLatin1String(""));  // empty, not null, until named
    int source = -1;                            // edge ending here
    QVector<int> destinations;                  // edges starting here, in order of addition
    int group = -1;
};

struct GroupRecord {
    QString name;
};

struct NodeRecord {
    NodeRecord() = default;
    NodeRecord(const QString& name, int parent) : name(name), parent(parent) {}

    // The ports (T = PortRecord) or the groups (T = GroupRecord) on one side, so that code for
    // the four lists is written once.
    template <typename T>
    QVector<T>& list(Side side);
    template <typename T>
    const QVector<T>& list(Side side) const;

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

template <>
inline QVector<PortRecord>& NodeRecord::list<PortRecord>(Side side) {
    return side == Side::Input ? inputs : outputs;
}
template <>
inline QVector<GroupRecord>& NodeRecord::list<GroupRecord>(Side side) {
    return side == Side::Input ? inputGroups : outputGroups;
}
template <>
inline const QVector<PortRecord>& NodeRecord::list<PortRecord>(Side side) const {
    return side == Side::Input ? inputs : outputs;
}
template <>
inline const QVector<GroupRecord>& NodeRecord::list<GroupRecord>(Side side) const {
    return side == Side::Input ? inputGroups : outputGroups;
}

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

}  // namespace detail
}  // namespace Orv
}  // namespace Vantrel

// Records hold ints, bools and implicitly shared Qt values, which may all be moved as raw bytes:
// the tables then grow and shift with memcpy instead of element by element.
Q_DECLARE_TYPEINFO(Vantrel::Orv::detail::PortRecord, Q_MOVABLE_TYPE);
Q_DECLARE_TYPEINFO(Vantrel::Orv::detail::GroupRecord, Q_MOVABLE_TYPE);
Q_DECLARE_TYPEINFO(Vantrel::Orv::detail::NodeRecord, Q_MOVABLE_TYPE);
Q_DECLARE_TYPEINFO(Vantrel::Orv::detail::EdgeRecord, Q_MOVABLE_TYPE);

namespace Vantrel {
namespace Orv {
namespace detail {

enum class EdgeKind { None, Regular, Down, Up };

// The tables behind a Graph, with checked access: every accessor returns null for a ref or
// index outside its table or list, so callers need a single test per argument. Two words in
// the names say the rest: "live" accepts only records not removed, "edit" gives write access.
// Readers are const and editors test through them first, so a refused call detaches none of
// the lists that copies of a graph share until one of them is written.
struct GraphData {
    QVector<NodeRecord> nodes;
    QVector<EdgeRecord> edges;
    // Counts edits, so that clients can cache what they derive from the graph. It only grows,
    // also across assignment, so a cached value never matches a graph that changed since.
    quint64 revision = 0;

    // One unsigned comparison covers both "negative" and "past the end".
    static bool inRange(int index, int size) { return unsigned(index) < unsigned(size); }

    template <typename T>
    static const T* at(const QVector<T>& list, int index) {
        return inRange(index, list.size()) ? list.constData() + index : nullptr;
    }

    const NodeRecord* node(int ref) const { return at(nodes, ref); }
    const NodeRecord* liveNode(int ref) const {
        const NodeRecord* n = node(ref);
        return n && !n->removed ? n : nullptr;
    }
    const EdgeRecord* edge(int ref) const { return at(edges, ref); }
    const EdgeRecord* liveEdge(int ref) const {
        const EdgeRecord* e = edge(ref);
        return e && !e->removed ? e : nullptr;
    }
    // A port or group of a node: entry() of any node in the table, liveEntry() of a live one.
    template <typename T>
    const T* entry(int ref, Side side, int index) const {
        const NodeRecord* n = node(ref);
        return n ? at(n->list<T>(side), index) : nullptr;
    }
    template <typename T>
    const T* liveEntry(int ref, Side side, int index) const {
        const NodeRecord* n = liveNode(ref);
        return n ? at(n->list<T>(side), index) : nullptr;
    }
    const PortRecord* port(int ref, Side side, int index) const {
        return entry<PortRecord>(ref, side, index);
    }
    const PortRecord* livePort(int ref, Side side, int index) const {
        return liveEntry<PortRecord>(ref, side, index);
    }

    NodeRecord* editNode(int ref) { return node(ref) ? nodes.data() + ref : nullptr; }
    NodeRecord* editLiveNode(int ref) { return liveNode(ref) ? nodes.data() + ref : nullptr; }
    EdgeRecord* editEdge(int ref) { return edge(ref) ? edges.data() + ref : nullptr; }
    template <typename T>
    T* editEntry(int ref, Side side, int index) {
        return entry<T>(ref, side, index) ? nodes[ref].list<T>(side).data() + index : nullptr;
    }
    template <typename T>
    T* editLiveEntry(int ref, Side side, int index) {
        return liveEntry<T>(ref, side, index) ? nodes[ref].list<T>(side).data() + index : nullptr;
    }

    // The edge ending at a port, -1 when there is none or the port does not exist.
    int sourceOf(int ref, Side side, int index) const {
        const PortRecord* p = port(ref, side, index);
        return p ? p->source : -1;
    }

    // The kind follows from the parents of the two nodes; None for removed or unknown edges
    // and for edges whose nodes are not in the table.
    EdgeKind edgeKind(int ref) const {
        const EdgeRecord* e = liveEdge(ref);
        if (!e) return EdgeKind::None;
        const NodeRecord* src = node(e->srcNode);
        const NodeRecord* dst = node(e->dstNode);
        if (!src || !dst) return EdgeKind::None;
        if (src->parent == dst->parent) return EdgeKind::Regular;
        if (e->srcNode == dst->parent) return EdgeKind::Down;
        if (src->parent == e->dstNode) return EdgeKind::Up;
        return EdgeKind::None;
    }

    // Appends a checked edge record and links it into the port it leaves and the one it enters.
    int linkEdge(const EdgeRecord& record, Side from, Side to);
    // The one way an edge leaves the graph: out of its two ports, then flagged. Anything but a
    // live edge is ignored.
    void unlinkEdge(int ref);
    // Unlinks every edge at a port: the one ending there and all those starting there.
    void unlinkPort(int ref, Side side, int index);
};

// For code of the library that builds a graph in one step (reading a document) rather than
// call by call.
struct GraphAccess {
    // Gives each node n the ref refOf[n], on a graph without edges; refOf is a permutation that
    // keeps the root at 0. Parents and lists of children follow.
    static void renumberNodes(Graph& graph, const QVector<int>& refOf);
};

}  // namespace detail
}  // namespace Orv
}  // namespace Vantrel
