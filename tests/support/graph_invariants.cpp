#include "graph_invariants.h"

#include <QStringList>

using Vantrel::Orv::Graph;

namespace {

struct Checker {
    const Graph& g;
    QStringList problems;

    void fail(const QString& what) { problems.append(what); }

    // The edge that ends at a port must be live, of the port's kind of end, and name the port.
    void checkSource(int node, bool isInput, int port, int edge) {
        const QString where = QStringLiteral("%1 %2 of node %3")
                                  .arg(isInput ? QStringLiteral("input") : QStringLiteral("output"))
                                  .arg(port)
                                  .arg(node);
        if (edge == -1) return;
        if (!g.isValidEdge(edge)) {
            fail(QStringLiteral("%1 has source %2, which is not a live edge").arg(where).arg(edge));
            return;
        }
        const bool endsAtInput = g.isRegularEdge(edge) || g.isDownEdge(edge);
        if (endsAtInput != isInput || g.edgeDestNode(edge) != node || g.edgeDestIndex(edge) != port)
            fail(QStringLiteral("%1 has source %2, which ends elsewhere").arg(where).arg(edge));
    }

    void checkDestinations(int node, bool isInput, int port, int count,
                           int (Graph::*at)(int, int, int) const) {
        for (int k = 0; k < count; ++k) {
            const int edge = (g.*at)(node, port, k);
            const QString where =
                QStringLiteral("%1 %2 of node %3")
                    .arg(isInput ? QStringLiteral("input") : QStringLiteral("output"))
                    .arg(port)
                    .arg(node);
            if (!g.isValidEdge(edge)) {
                fail(QStringLiteral("%1 lists %2, which is not a live edge").arg(where).arg(edge));
                continue;
            }
            const bool startsAtInput = g.isDownEdge(edge);
            if (startsAtInput != isInput || g.edgeSourceNode(edge) != node ||
                g.edgeSourceIndex(edge) != port)
                fail(QStringLiteral("%1 lists %2, which starts elsewhere").arg(where).arg(edge));
            for (int j = 0; j < k; ++j) {
                if ((g.*at)(node, port, j) == edge)
                    fail(QStringLiteral("%1 lists %2 twice").arg(where).arg(edge));
            }
        }
    }

    void checkNode(int node) {
        const bool live = g.isValidNode(node);
        const int parent = g.parentNode(node);
        if (live && node != Graph::kRootNodeRef) {
            int found = 0;
            for (int i = 0; i < g.numNodes(parent); ++i) found += g.getNode(i, parent) == node;
            if (found != 1 || !g.isValidNode(parent))
                fail(QStringLiteral("live node %1 stands %2 times under its parent %3")
                         .arg(node)
                         .arg(found)
                         .arg(parent));
        }
        if (live) {
            for (int i = 0; i < g.numNodes(node); ++i) {
                const int child = g.getNode(i, node);
                if (!g.isValidNode(child) || g.parentNode(child) != node)
                    fail(QStringLiteral("node %1 lists %2, not a live child of it")
                             .arg(node)
                             .arg(child));
            }
        } else if (g.numNodes(node) != 0) {
            fail(QStringLiteral("removed node %1 still has children").arg(node));
        }
        for (int i = 0; i < g.numInputs(node); ++i) {
            const int count = g.numInputDestinations(node, i);
            if (!live && (g.inputSource(node, i) != -1 || count != 0))
                fail(QStringLiteral("input %1 of removed node %2 carries edges").arg(i).arg(node));
            checkSource(node, true, i, g.inputSource(node, i));
            checkDestinations(node, true, i, count, &Graph::inputDestination);
        }
        for (int i = 0; i < g.numOutputs(node); ++i) {
            const int count = g.numOutputDestinations(node, i);
            if (!live && (g.outputSource(node, i) != -1 || count != 0))
                fail(QStringLiteral("output %1 of removed node %2 carries edges").arg(i).arg(node));
            checkSource(node, false, i, g.outputSource(node, i));
            checkDestinations(node, false, i, count, &Graph::outputDestination);
        }
    }

    // A live edge must be of exactly one kind and be held by both of its ports.
    void checkEdge(int edge) {
        if (!g.isValidEdge(edge)) return;
        const int kinds =
            int(g.isRegularEdge(edge)) + int(g.isDownEdge(edge)) + int(g.isUpEdge(edge));
        if (kinds != 1) {
            fail(QStringLiteral("live edge %1 is of %2 kinds").arg(edge).arg(kinds));
            return;
        }
        const int src = g.edgeSourceNode(edge), srcIndex = g.edgeSourceIndex(edge);
        const int dst = g.edgeDestNode(edge), dstIndex = g.edgeDestIndex(edge);
        const bool down = g.isDownEdge(edge), up = g.isUpEdge(edge);
        const int held =
            down ? g.numInputDestinations(src, srcIndex) : g.numOutputDestinations(src, srcIndex);
        int found = 0;
        for (int k = 0; k < held; ++k) {
            found += (down ? g.inputDestination(src, srcIndex, k)
                           : g.outputDestination(src, srcIndex, k)) == edge;
        }
        if (found != 1)
            fail(QStringLiteral("live edge %1 stands %2 times at its source port")
                     .arg(edge)
                     .arg(found));
        const int source = up ? g.outputSource(dst, dstIndex) : g.inputSource(dst, dstIndex);
        if (source != edge)
            fail(QStringLiteral("live edge %1: its destination port has source %2")
                     .arg(edge)
                     .arg(source));
    }
};

}  // namespace

::testing::AssertionResult checkGraphInvariants(const Graph& graph) {
    Checker checker{graph, {}};
    for (int n = 0; n < graph.numNodesGlobal(); ++n) checker.checkNode(graph.getNodeGlobal(n));
    for (int e = 0; e < graph.numEdgesGlobal(); ++e) checker.checkEdge(graph.getEdgeGlobal(e));
    if (checker.problems.isEmpty()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "graph invariants broken:\n  "
           << qPrintable(checker.problems.join(QStringLiteral("\n  ")));
}
