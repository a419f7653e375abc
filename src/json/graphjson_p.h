#pragma once

#include <Orv/Graph.h>

#include "graph/side_p.h"
#include "json/jsonreader_p.h"
#include "json/jsonwriter_p.h"

#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>

namespace Vantrel {
namespace Orv {
namespace detail {

struct PortDesc {
    QString name;
    int group = Graph::kInvalidGroupRef;
};

// One node of a description, in the order the nodes are created (which is their ref).
struct NodeDesc {
    int parent = -1;
    int index = 0;  // its place in its parent's list of children
    QString name;
    int value = -1;
    const JsonValue* inputsListed = nullptr;  // the "inputs" and "outputs" members, if given
    const JsonValue* outputsListed = nullptr;
    QVector<PortDesc> inputs;
    QVector<PortDesc> outputs;
    QStringList inputGroups;
    QStringList outputGroups;
    // Members a renderer adds, in the order of the extra names given to readGraphDesc.
    const JsonValue* extra[3] = {};
};

struct EdgeDesc {
    const JsonValue* from;
    const JsonValue* to;
};

// A graph as a document describes it, read but not yet built. It points into the document.
struct GraphDesc {
    Pointer at;               // where the object holding "root" and "edges" is
    QVector<NodeDesc> nodes;  // [0] is the root
    QVector<int> ids;         // in document order, -1 where none was given
    QVector<EdgeDesc> edges;
};

// Where node `node` of `desc` is in the document.
Pointer nodeAt(const GraphDesc& desc, int node);
// Reads the node tree under `root` and the edge list `edges` (null for none) of the object at
// `at`. Nodes may carry up to three `extra` members, which are left in NodeDesc::extra.
bool readGraphDesc(const JsonValue* root, const JsonValue* edges, const Pointer& at,
                   const QVector<const char*>& extra, Errors& errors, GraphDesc* desc);
// Creates the described nodes and ports on a new graph, in document order, so that node refs
// come out as they were saved.
void buildNodes(const GraphDesc& desc, Graph* graph);
// Then adds the edges in document order; reports the first refusal.
bool buildEdges(const GraphDesc& desc, Errors& errors, Graph* graph);
// The node that `path` names below the root ("lighting", "direct", or child indexes).
bool resolveNode(const Graph& graph, const JsonValue& path, const Pointer& at, Errors& errors,
                 int* node);

// How to write one graph. The renderer writes its root ports separately, leaves node values to
// itself and adds members to each node below the root.
struct GraphWriteOptions {
    bool rootPorts = true;
    bool values = true;
    // Writes a node's extra members after its name; false (with `error` set) refuses the save.
    std::function<bool(int node, JsonWriter& writer, QString* error)> decorate;
};
// Writes the graph's "root" and "edges" members into the open object.
bool writeGraph(const Graph& graph, const GraphWriteOptions& options, JsonWriter& writer,
                QString* error);
// The path of a live node as written in edges and targets: names where they are unique among
// the siblings, child indexes where they are not.
void writeNodePath(const Graph& graph, int node, JsonWriter& writer);

// "node 'lighting/direct'", or "the root": how messages name a node (by Graph::nodePath).
QString describeNode(const Graph& graph, int node);

}  // namespace detail
}  // namespace Orv
}  // namespace Vantrel

// Descriptions of large graphs grow by the thousand: moved, not copied, when their lists grow.
Q_DECLARE_TYPEINFO(Vantrel::Orv::detail::PortDesc, Q_MOVABLE_TYPE);
Q_DECLARE_TYPEINFO(Vantrel::Orv::detail::NodeDesc, Q_MOVABLE_TYPE);
Q_DECLARE_TYPEINFO(Vantrel::Orv::detail::EdgeDesc, Q_PRIMITIVE_TYPE);
