// Edges: the three adders and their refusals, the kinds, and what removal leaves behind.
#include "graph_fixtures.h"
#include "graph_invariants.h"

#include <QVector>

using Vantrel::Orv::Graph;

namespace {

QVector<int> outputDestinations(const Graph& g, int node, int output) {
    QVector<int> result;
    for (int k = 0; k < g.numOutputDestinations(node, output); ++k)
        result.append(g.outputDestination(node, output, k));
    return result;
}

}  // namespace

TEST_F(SampleGraphTest, OneOutputFeedsInputsInOrderOfAddition) {
    const int e1 = graph.addEdge(a, 0, b, 0);
    const int e2 = graph.addEdge(a, 0, c, 1);
    const int e3 = graph.addEdge(a, 0, b, 1);
    EXPECT_EQ(outputDestinations(graph, a, 0), (QVector<int>{e1, e2, e3}));
    EXPECT_EQ(graph.inputSource(c, 1), e2);

    // Removing the middle one keeps the others in order.
    graph.removeEdge(e2);
    EXPECT_EQ(outputDestinations(graph, a, 0), (QVector<int>{e1, e3}));
    EXPECT_EQ(graph.inputSource(c, 1), -1);
}

TEST_F(SampleGraphTest, AddEdgeRefusesAndChangesNothing) {
    const int ab = graph.addEdge(a, 0, b, 0);
    ASSERT_EQ(ab, 0);

    // A fed input keeps its edge; once freed, the same edge goes in.
    EXPECT_EQ(graph.addEdge(c, 0, b, 0), -1);
    EXPECT_EQ(graph.inputSource(b, 0), ab);
    // A cycle, and an edge from a node into itself.
    EXPECT_EQ(graph.addEdge(b, 0, a, 0), -1);
    EXPECT_EQ(graph.addEdge(a, 1, a, 1), -1);
    EXPECT_EQ(graph.addEdge(Graph::kRootNodeRef, 0, Graph::kRootNodeRef, 0), -1);
    // Nodes that are not siblings, either way round and at any depth.
    EXPECT_EQ(graph.addEdge(a, 0, x, 0), -1);
    EXPECT_EQ(graph.addEdge(x, 0, a, 1), -1);
    EXPECT_EQ(graph.addEdge(p, 0, x, 0), -1);
    EXPECT_EQ(graph.addEdge(x, 0, p, 0), -1);
    EXPECT_EQ(graph.numEdgesGlobal(), 1);
    EXPECT_EQ(graph.numOutputDestinations(a, 0), 1);
    EXPECT_EQ(graph.numOutputDestinations(b, 0), 0);
    EXPECT_EQ(graph.inputSource(a, 0), -1);
    EXPECT_EQ(graph.inputSource(x, 0), -1);

    graph.disconnectInput(b, 0);
    EXPECT_EQ(graph.addEdge(c, 0, b, 0), 1);
}

TEST_F(SampleGraphTest, OutputFeedingUpEdgesFeedsNoSibling) {
    // Up edge first: the output then refuses regular edges.
    ASSERT_EQ(graph.addUpEdge(0, x, 0), 0);
    EXPECT_EQ(graph.addEdge(x, 0, y, 0), -1);
    // Regular edge first: an up edge may follow, and regular edges still go in after it,
    // because only the first destination decides.
    const int xy = graph.addEdge(x, 1, y, 0);
    const int up = graph.addUpEdge(1, x, 1);
    EXPECT_EQ(outputDestinations(graph, x, 1), (QVector<int>{xy, up}));
    EXPECT_NE(graph.addEdge(x, 1, y, 1), -1);
}

TEST_F(SampleGraphTest, CyclesAreFoundThroughContainerPorts) {
    // A -> P.in0 -> X.in0 (down); X.out0 -> P.out0 (up) -> B.in0.
    graph.addEdge(a, 0, p, 0);
    graph.addDownEdge(0, x, 0);
    graph.addUpEdge(0, x, 0);
    graph.addEdge(p, 0, b, 0);

    EXPECT_EQ(graph.addEdge(b, 0, a, 1), -1);
    EXPECT_NE(graph.addEdge(b, 0, c, 0), -1);
    EXPECT_EQ(graph.addEdge(c, 0, a, 1), -1);  // C <- B <- X <- A
    // Only ports that carry the value count: P.in1 reaches nothing inside P, so feeding it
    // from B closes no cycle, although P's output feeds B.
    EXPECT_NE(graph.addEdge(b, 1, p, 1), -1);
    // Inside the container, the same rule between siblings.
    EXPECT_NE(graph.addEdge(x, 1, y, 0), -1);
    EXPECT_EQ(graph.addEdge(y, 0, x, 1), -1);
}

TEST_F(SampleGraphTest, DownAndUpEdgesLinkParentAndChildPorts) {
    const int down = graph.addDownEdge(1, x, 0);
    const int up = graph.addUpEdge(0, y, 1);
    const int regular = graph.addEdge(a, 0, b, 0);

    EXPECT_TRUE(graph.isDownEdge(down));
    EXPECT_FALSE(graph.isRegularEdge(down));
    EXPECT_FALSE(graph.isUpEdge(down));
    EXPECT_EQ(graph.edgeSourceNode(down), p);
    EXPECT_EQ(graph.edgeSourceIndex(down), 1);
    EXPECT_EQ(graph.edgeDestNode(down), x);
    EXPECT_EQ(graph.edgeDestIndex(down), 0);
    EXPECT_EQ(graph.inputDestination(p, 1, 0), down);
    EXPECT_EQ(graph.inputSource(x, 0), down);

    EXPECT_TRUE(graph.isUpEdge(up));
    EXPECT_FALSE(graph.isDownEdge(up));
    EXPECT_EQ(graph.edgeSourceNode(up), y);
    EXPECT_EQ(graph.edgeSourceIndex(up), 1);
    EXPECT_EQ(graph.edgeDestNode(up), p);
    EXPECT_EQ(graph.edgeDestIndex(up), 0);
    EXPECT_EQ(graph.outputDestination(y, 1, 0), up);
    EXPECT_EQ(graph.outputSource(p, 0), up);
    EXPECT_TRUE(graph.isRegularEdge(regular));

    // A fed child input or parent output refuses a second edge; the parent input may fan out.
    EXPECT_EQ(graph.addDownEdge(0, x, 0), -1);
    EXPECT_EQ(graph.addUpEdge(0, x, 0), -1);
    EXPECT_NE(graph.addDownEdge(1, y, 0), -1);
    EXPECT_EQ(graph.numInputDestinations(p, 1), 2);
    // The root has no parent to wire to.
    EXPECT_EQ(graph.addDownEdge(0, Graph::kRootNodeRef, 0), -1);
    EXPECT_EQ(graph.addUpEdge(0, Graph::kRootNodeRef, 0), -1);
}

TEST_F(SampleGraphTest, RemovedEdgeKeepsItsRecordOnly) {
    const int e = graph.addEdge(a, 1, b, 0);
    ASSERT_EQ(e, 0);
    graph.removeEdge(e);
    EXPECT_EQ(graph.addEdge(a, 0, b, 1), 1);  // refs count removed edges
    graph.removeEdge(1);

    EXPECT_FALSE(graph.isValidEdge(e));
    EXPECT_FALSE(graph.isRegularEdge(e));
    EXPECT_FALSE(graph.isDownEdge(e));
    EXPECT_FALSE(graph.isUpEdge(e));
    EXPECT_EQ(graph.edgeSourceNode(e), a);
    EXPECT_EQ(graph.edgeSourceIndex(e), 1);
    EXPECT_EQ(graph.edgeDestNode(e), b);
    EXPECT_EQ(graph.edgeDestIndex(e), 0);
    EXPECT_EQ(graph.numOutputDestinations(a, 1), 0);
    EXPECT_EQ(graph.inputSource(b, 0), -1);
    EXPECT_EQ(graph.numEdgesGlobal(), 2);

    // Removing it again, or refs that name nothing, changes nothing.
    const int other = graph.addEdge(a, 1, c, 0);
    graph.removeEdge(e);
    graph.removeEdge(-1);
    graph.removeEdge(graph.numEdgesGlobal());
    EXPECT_EQ(graph.inputSource(c, 0), other);
    EXPECT_EQ(outputDestinations(graph, a, 1), (QVector<int>{other}));

    // Removed down and up edges leave their ports too.
    const int down = graph.addDownEdge(0, x, 0);
    const int up = graph.addUpEdge(1, y, 0);
    graph.removeEdge(down);
    graph.removeEdge(up);
    EXPECT_EQ(graph.numInputDestinations(p, 0), 0);
    EXPECT_EQ(graph.inputSource(x, 0), -1);
    EXPECT_EQ(graph.numOutputDestinations(y, 0), 0);
    EXPECT_EQ(graph.outputSource(p, 1), -1);
}

TEST_F(SampleGraphTest, DisconnectInputRemovesItsSourceAndDownEdges) {
    const int source = graph.addEdge(a, 0, p, 0);
    const int d1 = graph.addDownEdge(0, x, 0);
    const int d2 = graph.addDownEdge(0, x, 1);
    const int d3 = graph.addDownEdge(0, y, 0);
    const int kept = graph.addDownEdge(1, y, 1);

    graph.disconnectInput(p, 0);
    for (int e : {source, d1, d2, d3}) EXPECT_FALSE(graph.isValidEdge(e)) << e;
    EXPECT_EQ(graph.inputSource(p, 0), -1);
    EXPECT_EQ(graph.numInputDestinations(p, 0), 0);
    EXPECT_EQ(graph.inputSource(x, 0), -1);
    EXPECT_EQ(graph.inputSource(y, 0), -1);
    EXPECT_EQ(graph.numOutputDestinations(a, 0), 0);
    EXPECT_TRUE(graph.isValidEdge(kept));

    graph.disconnectInput(p, 0);  // nothing left to do
    EXPECT_EQ(graph.numEdgesGlobal(), 5);
}

TEST_F(SampleGraphTest, DisconnectInputGroupTouchesOnlyThatGroup) {
    const int n = graph.addNode(QStringLiteral("N"), 0, 0, Graph::kRootNodeRef);
    const int g0 = graph.addInputGroup(n, QStringLiteral("g0"));
    const int g1 = graph.addInputGroup(n, QStringLiteral("g1"));
    graph.addInput(n, QStringLiteral("a"), g0);
    graph.addInput(n, QStringLiteral("b"), g1);
    graph.addInput(n, QStringLiteral("c"), g0);
    graph.addInput(n, QStringLiteral("d"), Graph::kInvalidGroupRef);
    for (int i = 0; i < 4; ++i) graph.addEdge(a, 0, n, i);

    graph.disconnectInputGroup(n, g0);
    EXPECT_EQ(graph.inputSource(n, 0), -1);
    EXPECT_NE(graph.inputSource(n, 1), -1);
    EXPECT_EQ(graph.inputSource(n, 2), -1);
    EXPECT_NE(graph.inputSource(n, 3), -1);

    // -1 selects the inputs in no group.
    graph.disconnectInputGroup(n, Graph::kInvalidGroupRef);
    EXPECT_NE(graph.inputSource(n, 1), -1);
    EXPECT_EQ(graph.inputSource(n, 3), -1);
    EXPECT_EQ(graph.numOutputDestinations(a, 0), 1);
}
