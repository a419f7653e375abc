// Why an edge is refused, in the words the JSON loader uses for the same rules.
#include "graph/refusal_p.h"

namespace Vantrel {
namespace Orv {
namespace detail {

QString quoted(const QString& text) {
    return QLatin1Char('\'') + text + QLatin1Char('\'');
}

namespace {

const int kRoot = Graph::kRootNodeRef;

// The node is live, else why not.
QString nodeRefusal(const Graph& graph, int node) {
    return graph.isValidNode(node) ? QString() : describeNode(graph, node);
}

// The port exists on a live node, else why not.
QString portRefusal(const Graph& graph, int node, Side side, int port) {
    if (!graph.isValidNode(node)) return describeNode(graph, node);
    if (port >= 0 && port < numPorts(graph, node, side)) return QString();
    return describeNode(graph, node) + QStringLiteral(" has no ") + QLatin1String(sideName(side)) +
           QLatin1Char(' ') + QString::number(port);
}

QString alreadyFed(const Graph& graph, int node, Side side, int port) {
    return describePort(graph, node, side, port) + QStringLiteral(" already has a source");
}

// A down edge (inputs) or an up edge (outputs) between a child's port and its parent's.
QString levelRefusal(const Graph& graph, Side side, int parentPort, int child, int childPort) {
    if (QString why = nodeRefusal(graph, child); !why.isEmpty()) return why;
    if (child == kRoot) return QStringLiteral("the root has no parent");
    const int parent = graph.parentNode(child);
    if (QString why = portRefusal(graph, child, side, childPort); !why.isEmpty()) return why;
    if (QString why = portRefusal(graph, parent, side, parentPort); !why.isEmpty()) return why;
    if (side == Side::Input && graph.inputSource(child, childPort) != -1)
        return alreadyFed(graph, child, side, childPort);
    if (side == Side::Output && graph.outputSource(parent, parentPort) != -1)
        return alreadyFed(graph, parent, side, parentPort);
    return QString();
}

}  // namespace

QString describeNode(const Graph& graph, int node) {
    if (node == kRoot) return QStringLiteral("the root");
    if (!graph.isValidNode(node))
        return QStringLiteral("node ") + QString::number(node) +
               (node >= 0 && node < graph.numNodesGlobal()
                    ? QStringLiteral(", which is removed")
                    : QStringLiteral(", which does not exist"));
    return QStringLiteral("node ") + quoted(graph.nodePath(node));
}

QString describePort(const Graph& graph, int node, Side side, int port) {
    return QLatin1String(sideName(side)) + QLatin1Char(' ') +
           quoted(portName(graph, node, side, port)) + QStringLiteral(" of ") +
           describeNode(graph, node);
}

QString edgeRefusal(const Graph& graph, int srcNode, int srcOutput, int dstNode, int dstInput) {
    if (QString why = portRefusal(graph, srcNode, Side::Output, srcOutput); !why.isEmpty())
        return why;
    if (QString why = portRefusal(graph, dstNode, Side::Input, dstInput); !why.isEmpty())
        return why;
    if (graph.parentNode(srcNode) != graph.parentNode(dstNode))
        return describeNode(graph, srcNode) + QStringLiteral(" and ") +
               describeNode(graph, dstNode) + QStringLiteral(" are not siblings");
    if (graph.inputSource(dstNode, dstInput) != -1)
        return alreadyFed(graph, dstNode, Side::Input, dstInput);
    if (graph.numOutputDestinations(srcNode, srcOutput) > 0 &&
        !graph.isRegularEdge(graph.outputDestination(srcNode, srcOutput, 0)))
        return describePort(graph, srcNode, Side::Output, srcOutput) +
               QStringLiteral(
                   " already feeds its parent's output, which must come after its"
                   " regular edges");
    if (graph.precedes(dstNode, srcNode, true))
        return QStringLiteral("the edge from ") + describeNode(graph, srcNode) +
               QStringLiteral(" to ") + describeNode(graph, dstNode) +
               QStringLiteral(" would close a cycle");
    return QString();
}

QString downEdgeRefusal(const Graph& graph, int parentInput, int childNode, int childInput) {
    return levelRefusal(graph, Side::Input, parentInput, childNode, childInput);
}

QString upEdgeRefusal(const Graph& graph, int parentOutput, int childNode, int childOutput) {
    return levelRefusal(graph, Side::Output, parentOutput, childNode, childOutput);
}

QString namedPortRefusal(const Graph& graph, int node, Side side, const QString& name) {
    if (!graph.isValidNode(node)) return describeNode(graph, node);
    const int port =
        side == Side::Input ? graph.findInput(node, name) : graph.findOutput(node, name);
    if (port >= 0) return QString();
    return describeNode(graph, node) + QStringLiteral(" has no ") + QLatin1String(sideName(side)) +
           QStringLiteral(" named ") + quoted(name);
}

}  // namespace detail
}  // namespace Orv
}  // namespace Vantrel
