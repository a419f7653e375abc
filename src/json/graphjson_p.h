#pragma once

#include <Orv/Graph.h>

#include "graph/refusal_p.h"
#include "graph/side_p.h"
#include "json/jsonreader_p.h"
#include "json/jsonwriter_p.h"

#include <QString>
#include <QVector>

#include <functional>

namespace Vantrel {
namespace Orv {
namespace detail {

// A node's members by these indexes (null where missing), then the extra ones named to readNodes.
enum NodeKey { kName, kValue, kInputs, kOutputs, kInputGroups, kOutputGroups, kChildren, kId };
const int kExtra = kId + 1;
// Called on each node once it is made; false (after Errors::fail) refuses the document.
using NodeHook = std::function<bool(int node, const JsonValue* const* members)>;

// Reads the node tree `root` of the object at `at` onto a new `graph`, node refs as saved. Nodes
// may carry up to three `extra` members, for `hook` (may be empty), called at the node's place.
bool readNodes(const JsonValue* root, Token at, const QVector<const char*>& extra,
               const NodeHook& hook, Errors& errors, Graph* graph);
// Then adds the edge list `edges` (null for none) in document order; reports the first refusal.
bool readEdges(const JsonValue* edges, Token at, Errors& errors, Graph* graph);
// The node that `path`, at `at`, names below the root ("lighting", "direct", or child indexes).
bool resolveNode(const Graph& graph, const JsonValue& path, Token at, Errors& errors, int* node);

// How to write a graph; a renderer writes its root ports and node values itself, and decorates.
struct GraphWriteOptions {
    bool rootPorts = true;
    bool values = true;
    // Writes a node's extra members after its name; false (with `error` set) refuses the save.
    std::function<bool(int node, JsonWriter& writer, QString* error)> decorate;
};
// Writes the graph's "root" and "edges" members into the open object.
bool writeGraph(const Graph& graph, const GraphWriteOptions& options, JsonWriter& writer,
                QString* error);
// A live node's path as edges and targets give it: names unique among siblings, else indexes.
void writeNodePath(const Graph& graph, int node, JsonWriter& writer);

}  // namespace detail
}  // namespace Orv
}  // namespace Vantrel
