// Edges: the three adders and their refusals, the kinds, and what removal leaves behind.
#include "graph_fixtures.h"
#include "graph_invariants.h"

#include <QVector>

using Vantrel::Orv::Graph;

namespace {

// The three kind predicates as one code (regular 1, down 2, up 4), then the four fields.
QVector<int> edgeFacts(const Graph& g, int e) {
    return {g.isRegularEdge(e) + 2 * g.isDownEdge(e) + 4 * g.isUpEdge(e), g.edgeSourceNode(e),
            g.edgeSourceIndex(e), g.edgeDestNode(e), g.edgeDestIndex(e)};
}

}  // namespace

// (That a refused edit changes nothing is the fuzzer's to check, for every adder.)
TEST_F(SampleGraphTest, AddEdgeRefusesFedInputsCyclesAndNonSiblings) {
    ASSERT_EQ(graph.addEdge(a, 0, b, 0), 0);
    const struct {
        int src, output, dst, input;
        const char* why;
    } refused[] = {{c, 0, b, 0, "fed input"},   {b, 0, a, 0, "cycle"},
                   {a, 1, a, 1, "self"},        {0, 0, 0, 0, "root into itself"},
                   {a, 0, x, 0, "into nephew"}, {x, 0, a, 1, "from nephew"},
                   {p, 0, x, 0, "into child"},  {x, 0, p, 0, "from child"}};
    for (const auto& e : refused)
        EXPECT_EQ(graph.addEdge(e.src, e.output, e.dst, e.input), -1) << e.why;
    // Once freed, the fed input takes the same edge.
    graph.disconnectInput(b, 0);
    EXPECT_EQ(graph.addEdge(c, 0, b, 0), 1);
}

TEST_F(SampleGraphTest, OnlyAnOutputsFirstDestinationDecidesIfItFeedsSiblings) {
    // Up edge first: the output then refuses regular edges.
    ASSERT_EQ(graph.addUpEdge(0, x, 0), 0);
    EXPECT_EQ(graph.addEdge(x, 0, y, 0), -1);
    // Regular edge first: an up edge may follow, and regular edges still go in after it.
    ASSERT_NE(graph.addEdge(x, 1, y, 0), -1);
    const int up = graph.addUpEdge(1, x, 1);
    EXPECT_EQ(graph.outputDestination(x, 1, 1), up);
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
    EXPECT_EQ(edgeFacts(graph, down), (QVector<int>{2, p, 1, x, 0}));
    EXPECT_EQ(edgeFacts(graph, up), (QVector<int>{4, y, 1, p, 0}));
    EXPECT_EQ(edgeFacts(graph, regular), (QVector<int>{1, a, 0, b, 0}));
    // A fed child input or parent output refuses a second edge; the parent input may fan out.
    EXPECT_EQ(graph.addDownEdge(0, x, 0), -1);
    EXPECT_EQ(graph.addUpEdge(0, x, 0), -1);
    EXPECT_NE(graph.addDownEdge(1, y, 0), -1);
    EXPECT_EQ(graph.numInputDestinations(p, 1), 2);
    EXPECT_EQ(graph.addDownEdge(0, root, 0) + graph.addUpEdge(0, root, 0), -2);  // no parent
}

TEST_F(SampleGraphTest, RemovedEdgeKeepsItsRecordOnly) {
    ASSERT_EQ(graph.addEdge(a, 1, b, 0), 0);
    graph.removeEdge(0);
    EXPECT_EQ(graph.addEdge(a, 0, b, 1), 1);  // refs count removed edges
    graph.removeEdge(1);
    EXPECT_EQ(edgeFacts(graph, 0), (QVector<int>{0, a, 1, b, 0}));
    // (That removed down and up edges leave their ports, and that removing an edge again
    // changes nothing, the fuzzer checks with the invariant checker.)
}

// An input takes its own source and the down edges it feeds; a group takes its inputs' sources.
TEST_F(SampleGraphTest, DisconnectingAnInputOrAGroupRemovesOnlyItsEdges) {
    graph.addEdge(a, 0, p, 0);
    for (int child : {x, y}) graph.addDownEdge(0, child, 0);
    const int kept = graph.addDownEdge(1, y, 1);
    graph.disconnectInput(p, 0);  // the fuzzer checks that the input keeps no edge
    EXPECT_TRUE(graph.isValidEdge(kept));

    const int n = graph.addNode("N", 0, 0, root);
    for (int group : {0, 1, 0, -1}) graph.addInput(n, QString(), group);
    graph.addInputGroup(n, "g0");
    graph.addInputGroup(n, "g1");
    for (int i = 0; i < 4; ++i) graph.addEdge(a, 0, n, i);
    auto fed = [&] {
        QVector<bool> result;
        for (int i = 0; i < 4; ++i) result.append(graph.inputSource(n, i) != -1);
        return result;
    };
    graph.disconnectInputGroup(n, 0);
    EXPECT_EQ(fed(), (QVector<bool>{false, true, false, true}));
    graph.disconnectInputGroup(n, Graph::kInvalidGroupRef);  // the inputs in no group
    EXPECT_EQ(fed(), (QVector<bool>{false, true, false, false}));
}
