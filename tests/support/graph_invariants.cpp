#include "graph_invariants.h"

#include <QVector>

using Vantrel::Orv::Graph;

namespace {

// A port's wiring is read through whichever of the paired operations fits.
QVector<Port> portsOf(const Graph& g, int node) {
    QVector<Port> ports;
    for (int i = 0; i < g.numInputs(node); ++i) ports.append({node, true, i});
    for (int o = 0; o < g.numOutputs(node); ++o) ports.append({node, false, o});
    return ports;
}
QVector<int> destinationsOf(const Graph& g, const Port& p) {
    QVector<int> result;
    const int n = p.input ? g.numInputDestinations(p.node, p.index)
                          : g.numOutputDestinations(p.node, p.index);
    for (int k = 0; k < n; ++k)
        result.append(p.input ? g.inputDestination(p.node, p.index, k)
                              : g.outputDestination(p.node, p.index, k));
    return result;
}
QVector<int> childrenOf(const Graph& g, int node) {
    QVector<int> result;
    for (int i = 0; i < g.numNodes(node); ++i) result.append(g.getNode(i, node));
    return result;
}
QString join(const QVector<int>& refs) {
    QStringList list;
    for (int ref : refs) list << QString::number(ref);
    return list.join(',');
}

}  // namespace

int sourceOf(const Graph& g, const Port& p) {
    return p.input ? g.inputSource(p.node, p.index) : g.outputSource(p.node, p.index);
}
Port edgeSource(const Graph& g, int e) {
    return {g.edgeSourceNode(e), g.isDownEdge(e), g.edgeSourceIndex(e)};
}
Port edgeDest(const Graph& g, int e) {
    return {g.edgeDestNode(e), !g.isUpEdge(e), g.edgeDestIndex(e)};
}

::testing::AssertionResult checkGraphInvariants(const Graph& g) {
    QStringList problems;
    for (int node = 0; node < g.numNodesGlobal(); ++node) {
        const bool live = g.isValidNode(node);
        const int parent = g.parentNode(node);
        if (live && node != Graph::kRootNodeRef &&
            (childrenOf(g, parent).count(node) != 1 || !g.isValidNode(parent)))
            problems << QString::asprintf("node %d not once under its parent", node);
        for (int child : childrenOf(g, node)) {
            if (!live || !g.isValidNode(child) || g.parentNode(child) != node)
                problems << QString::asprintf("node %d lists child %d", node, child);
        }
        for (const Port& port : portsOf(g, node)) {
            const int s = sourceOf(g, port);
            if (s != -1 && (!live || !g.isValidEdge(s) || !(edgeDest(g, s) == port)))
                problems << QString::asprintf("port %d.%d has source %d", node, port.index, s);
            for (int e : destinationsOf(g, port)) {
                if (!live || !g.isValidEdge(e) || !(edgeSource(g, e) == port))
                    problems << QString::asprintf("port %d.%d lists %d", node, port.index, e);
            }
        }
    }
    for (int e = 0; e < g.numEdgesGlobal(); ++e) {
        if (!g.isValidEdge(e)) continue;
        if (int(g.isRegularEdge(e)) + int(g.isDownEdge(e)) + int(g.isUpEdge(e)) != 1)
            problems << QString::asprintf("edge %d is not of one kind", e);
        else if (destinationsOf(g, edgeSource(g, e)).count(e) != 1 ||
                 sourceOf(g, edgeDest(g, e)) != e)
            problems << QString::asprintf("edge %d is not linked at both ends", e);
    }
    if (problems.isEmpty()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "graph invariants broken:\n  " << qPrintable(problems.join(QStringLiteral("\n  ")));
}

QStringList graphSnapshot(const Graph& g) {
    QStringList lines;
    for (int n = 0; n < g.numNodesGlobal(); ++n) {
        QStringList groups;
        for (int i = 0; i < g.numInputGroups(n); ++i) groups << g.inputGroupName(n, i);
        groups << QStringLiteral("|");
        for (int o = 0; o < g.numOutputGroups(n); ++o) groups << g.outputGroupName(n, o);
        lines << QStringLiteral("node %1%2 parent %3 value %4 '%5' children [%6] groups [%7]")
                     .arg(n)
                     .arg(g.isValidNode(n) ? "" : " removed")
                     .arg(g.parentNode(n))
                     .arg(g.nodeValue(n))
                     .arg(g.nodeName(n), join(childrenOf(g, n)), groups.join(','));
        for (const Port& p : portsOf(g, n)) {
            lines << QStringLiteral("  %1%2 group %3 source %4 to [%5] '%6'")
                         .arg(p.input ? "in" : "out")
                         .arg(p.index)
                         .arg(p.input ? g.inputGroup(n, p.index) : g.outputGroup(n, p.index))
                         .arg(sourceOf(g, p))
                         .arg(join(destinationsOf(g, p)),
                              p.input ? g.inputName(n, p.index) : g.outputName(n, p.index));
        }
    }
    for (int e = 0; e < g.numEdgesGlobal(); ++e) {
        lines << QString::asprintf("edge %d%s: %d.%d -> %d.%d", e,
                                   g.isValidEdge(e) ? "" : " removed", g.edgeSourceNode(e),
                                   g.edgeSourceIndex(e), g.edgeDestNode(e), g.edgeDestIndex(e));
    }
    return lines;
}
