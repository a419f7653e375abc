#pragma once

#include <Orv/Graph.h>

#include "graph/side_p.h"

#include <QString>

namespace Vantrel {
namespace Orv {
namespace detail {

// How messages name things, for the JSON loader and the graph's own reasons alike.
// 'text', as messages quote a name: verbatim, whatever it holds.
QString quoted(const QString& text);
// "node 'lighting/direct'", "the root", or "node 7, which does not exist (or is removed)".
QString describeNode(const Graph& graph, int node);
// "input 'color' of node 'tonemap'"
QString describePort(const Graph& graph, int node, Side side, int port);

// Why an adder refuses (or would refuse) that edge in the graph as it is; empty when it would
// add it. The tests follow the adders' own order, so the first rule broken is the one named.
QString edgeRefusal(const Graph& graph, int srcNode, int srcOutput, int dstNode, int dstInput);
QString downEdgeRefusal(const Graph& graph, int parentInput, int childNode, int childInput);
QString upEdgeRefusal(const Graph& graph, int parentOutput, int childNode, int childOutput);
// Why a port of that name is not found on the node ("node 'a' has no output named 'x'"); empty
// when it is.
QString namedPortRefusal(const Graph& graph, int node, Side side, const QString& name);

}  // namespace detail
}  // namespace Orv
}  // namespace Vantrel
