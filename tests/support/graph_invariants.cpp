#include "graph_invariants.h"

#include <QStringList>

using Vantrel::Orv::Graph;

namespace {

struct Port {
    int node;
    bool input;
    int index;
    bool operator==(const Port& o) const {
        return node == o.node && input == o.input && index == o.index;
    }
};

class Checker {
public:
    explicit Checker(const Graph& g) : g(g) {}

    QStringList run() {
        for (int i = 0; i < g.numNodesGlobal(); ++i) checkNode(g.getNodeGlobal(i));
        for (int i = 0; i < g.numEdgesGlobal(); ++i) checkEdge(g.getEdgeGlobal(i));
        return problems;
    }

private:
    const Graph& g;
    QStringList problems;

    static QString name(const Port& p) {
        return QStringLiteral("%1 %2 of node %3")
            .arg(p.input ? "input" : "output")
            .arg(p.index)
            .arg(p.node);
    }
    // A down edge starts at an input; an up edge ends at an output.
    Port sourceOf(int e) const {
        return {g.edgeSourceNode(e), g.isDownEdge(e), g.edgeSourceIndex(e)};
    }
    Port destOf(int e) const { return {g.edgeDestNode(e), !g.isUpEdge(e), g.edgeDestIndex(e)}; }
    int source(const Port& p) const {
        return p.input ? g.inputSource(p.node, p.index) : g.outputSource(p.node, p.index);
    }
    int numDestinations(const Port& p) const {
        return p.input ? g.numInputDestinations(p.node, p.index)
                       : g.numOutputDestinations(p.node, p.index);
    }
    int destination(const Port& p, int k) const {
        return p.input ? g.inputDestination(p.node, p.index, k)
                       : g.outputDestination(p.node, p.index, k);
    }

    void checkNode(int node) {
        const bool live = g.isValidNode(node);
        if (live && node != Graph::kRootNodeRef) {
            const int parent = g.parentNode(node);
            int found = 0;
            for (int i = 0; i < g.numNodes(parent); ++i) found += g.getNode(i, parent) == node;
            if (found != 1 || !g.isValidNode(parent))
                problems << QStringLiteral("node %1 stands %2 times under its parent")
                                .arg(node)
                                .arg(found);
        }
        for (int i = 0; i < g.numNodes(node); ++i) {
            const int child = g.getNode(i, node);
            if (!live || !g.isValidNode(child) || g.parentNode(child) != node)
                problems << QStringLiteral("node %1 lists %2 as a child").arg(node).arg(child);
        }
        for (int i = 0; i < g.numInputs(node); ++i) checkPort({node, true, i}, live);
        for (int i = 0; i < g.numOutputs(node); ++i) checkPort({node, false, i}, live);
    }

    // Every edge a port refers to is live and has this port at the matching end.
    void checkPort(const Port& port, bool live) {
        const int s = source(port);
        if (s != -1 && (!live || !g.isValidEdge(s) || !(destOf(s) == port)))
            problems << QStringLiteral("%1 has source %2, which does not end there")
                            .arg(name(port))
                            .arg(s);
        for (int k = 0; k < numDestinations(port); ++k) {
            const int e = destination(port, k);
            if (!live || !g.isValidEdge(e) || !(sourceOf(e) == port))
                problems << QStringLiteral("%1 lists %2, which does not start there")
                                .arg(name(port))
                                .arg(e);
        }
    }

    // A live edge is of one kind, stands once among its source's destinations, and is its
    // destination's source.
    void checkEdge(int e) {
        if (!g.isValidEdge(e)) return;
        const int kinds = int(g.isRegularEdge(e)) + int(g.isDownEdge(e)) + int(g.isUpEdge(e));
        if (kinds != 1) {
            problems << QStringLiteral("edge %1 is of %2 kinds").arg(e).arg(kinds);
            return;
        }
        const Port from = sourceOf(e);
        int found = 0;
        for (int k = 0; k < numDestinations(from); ++k) found += destination(from, k) == e;
        if (found != 1)
            problems << QStringLiteral("edge %1 stands %2 times at %3")
                            .arg(e)
                            .arg(found)
                            .arg(name(from));
        if (source(destOf(e)) != e)
            problems
                << QStringLiteral("edge %1 is not the source of %2").arg(e).arg(name(destOf(e)));
    }
};

}  // namespace

::testing::AssertionResult checkGraphInvariants(const Graph& graph) {
    const QStringList problems = Checker(graph).run();
    if (problems.isEmpty()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "graph invariants broken:\n  " << qPrintable(problems.join(QStringLiteral("\n  ")));
}
