#include "graph_invariants.h"

#include <QVector>

using Vantrel::Orv::Graph;

namespace {

struct Port {
    int node;
    bool input;
    int index;
    bool operator==(const Port& o) const {
        return node == o.node && input == o.input && index == o.index;
    }
    QString name() const {
        return QStringLiteral("%1 %2 of node %3")
            .arg(input ? "input" : "output")
            .arg(index)
            .arg(node);
    }
};

QVector<Port> portsOf(const Graph& g, int node) {
    QVector<Port> ports;
    for (int i = 0; i < g.numInputs(node); ++i) ports.append({node, true, i});
    for (int o = 0; o < g.numOutputs(node); ++o) ports.append({node, false, o});
    return ports;
}
int sourceOf(const Graph& g, const Port& p) {
    return p.input ? g.inputSource(p.node, p.index) : g.outputSource(p.node, p.index);
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
// A down edge starts at an input; an up edge ends at an output.
Port edgeSource(const Graph& g, int e) {
    return {g.edgeSourceNode(e), g.isDownEdge(e), g.edgeSourceIndex(e)};
}
Port edgeDest(const Graph& g, int e) {
    return {g.edgeDestNode(e), !g.isUpEdge(e), g.edgeDestIndex(e)};
}

QString join(const QVector<int>& refs) {
    QStringList list;
    for (int ref : refs) list << QString::number(ref);
    return list.join(',');
}

}  // namespace

::testing::AssertionResult checkGraphInvariants(const Graph& g) {
    QStringList problems;
    for (int node = 0; node < g.numNodesGlobal(); ++node) {
        const bool live = g.isValidNode(node);
        if (live && node != Graph::kRootNodeRef) {
            const int parent = g.parentNode(node);
            const int found = childrenOf(g, parent).count(node);
            if (found != 1 || !g.isValidNode(parent))
                problems << QStringLiteral("node %1 stands %2 times under its parent")
                                .arg(node)
                                .arg(found);
        }
        for (int child : childrenOf(g, node)) {
            if (!live || !g.isValidNode(child) || g.parentNode(child) != node)
                problems << QStringLiteral("node %1 lists %2 as a child").arg(node).arg(child);
        }
        for (const Port& port : portsOf(g, node)) {
            const int s = sourceOf(g, port);
            if (s != -1 && (!live || !g.isValidEdge(s) || !(edgeDest(g, s) == port)))
                problems << port.name() + QStringLiteral(" has source %1, not ending there").arg(s);
            for (int e : destinationsOf(g, port)) {
                if (!live || !g.isValidEdge(e) || !(edgeSource(g, e) == port))
                    problems << port.name() +
                                    QStringLiteral(" lists %1, not starting there").arg(e);
            }
        }
    }
    for (int e = 0; e < g.numEdgesGlobal(); ++e) {
        if (!g.isValidEdge(e)) continue;
        const int kinds = int(g.isRegularEdge(e)) + int(g.isDownEdge(e)) + int(g.isUpEdge(e));
        if (kinds != 1) {
            problems << QStringLiteral("edge %1 is of %2 kinds").arg(e).arg(kinds);
            continue;
        }
        const int found = destinationsOf(g, edgeSource(g, e)).count(e);
        if (found != 1)
            problems << QStringLiteral("edge %1 stands %2 times at its source").arg(e).arg(found);
        if (sourceOf(g, edgeDest(g, e)) != e)
            problems << QStringLiteral("edge %1 is not the source of ").arg(e) +
                            edgeDest(g, e).name();
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
            const QString name = p.input ? g.inputName(n, p.index) : g.outputName(n, p.index);
            const int group = p.input ? g.inputGroup(n, p.index) : g.outputGroup(n, p.index);
            lines << QStringLiteral("  %1%2 group %3 source %4 to [%5] '%6'")
                         .arg(p.input ? "in" : "out")
                         .arg(p.index)
                         .arg(group)
                         .arg(sourceOf(g, p))
                         .arg(join(destinationsOf(g, p)), name);
        }
    }
    for (int e = 0; e < g.numEdgesGlobal(); ++e) {
        lines << QStringLiteral("edge %1%2: %3.%4 -> %5.%6")
                     .arg(e)
                     .arg(g.isValidEdge(e) ? "" : " removed")
                     .arg(g.edgeSourceNode(e))
                     .arg(g.edgeSourceIndex(e))
                     .arg(g.edgeDestNode(e))
                     .arg(g.edgeDestIndex(e));
    }
    return lines;
}
