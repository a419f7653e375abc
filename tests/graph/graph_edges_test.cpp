// Edges: the three adders' refusals, and what disconnecting takes.
#include "graph_fixtures.h"
#include "graph_invariants.h"

#include <QVector>

using Vantrel::Orv::Graph;

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

// (That each adder's edge is the next ref, of its kind, between the ports asked for, and that a
// removed edge keeps its record but no kind, the fuzzer checks after every call.)
TEST_F(SampleGraphTest, DownAndUpEdgesRefuseAFedEndAndTheRoot) {
    ASSERT_NE(graph.addDownEdge(1, x, 0), -1);
    ASSERT_NE(graph.addUpEdge(0, y, 1), -1);
    // A fed child input or parent output refuses a second edge; the parent input may fan out.
    EXPECT_EQ(graph.addDownEdge(0, x, 0), -1);
    EXPECT_EQ(graph.addUpEdge(0, x, 0), -1);
    EXPECT_NE(graph.addDownEdge(1, y, 0), -1);
    EXPECT_EQ(graph.addDownEdge(0, root, 0) + graph.addUpEdge(0, root, 0), -2);  // no parent
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
