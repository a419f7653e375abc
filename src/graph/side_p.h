#pragma once

#include <Orv/Graph.h>

#include <QString>

namespace Vantrel {
namespace Orv {
namespace detail {

// A node's two sides: its inputs and input groups, or its outputs and output groups.
enum class Side { Input, Output };

inline const char* sideName(Side side) {
    return side == Side::Input ? "input" : "output";
}

// One side's ports through the graph's public queries, for code outside the graph.
inline int numPorts(const Graph& graph, int node, Side side) {
    return side == Side::Input ? graph.numInputs(node) : graph.numOutputs(node);
}
inline QString portName(const Graph& graph, int node, Side side, int port) {
    return side == Side::Input ? graph.inputName(node, port) : graph.outputName(node, port);
}
// How messages name a port: its name, or "input 2" / "output 0" for one without a name.
inline QString portLabel(const Graph& graph, int node, Side side, int port) {
    const QString name = portName(graph, node, side, port);
    if (!name.isEmpty()) return name;
    return (side == Side::Input ? QStringLiteral("input ") : QStringLiteral("output ")) +
           QString::number(port);
}
inline int portGroup(const Graph& graph, int node, Side side, int port) {
    return side == Side::Input ? graph.inputGroup(node, port) : graph.outputGroup(node, port);
}
inline int numGroups(const Graph& graph, int node, Side side) {
    return side == Side::Input ? graph.numInputGroups(node) : graph.numOutputGroups(node);
}
inline QString groupName(const Graph& graph, int node, Side side, int group) {
    return side == Side::Input ? graph.inputGroupName(node, group)
                               : graph.outputGroupName(node, group);
}

}  // namespace detail
}  // namespace Orv
}  // namespace Vantrel
