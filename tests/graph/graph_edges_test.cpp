// Edges: cycles through containers, and what disconnecting takes. (The other refusals are in
// graph_refusals_test; each new edge's ref, kind and ends, the fuzzer checks after every call.)
#include "graph_fixtures.h"
#include "graph_invariants.h"

using Vantrel::Orv::Graph;

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
    graph.disconnectInputGroup(n, 0);
    EXPECT_EQ(feeds(graph, n), QStringList({"-", "A.0", "-", "A.0"}));
    graph.disconnectInputGroup(n, Graph::kInvalidGroupRef);  // the inputs in no group
    EXPECT_EQ(feeds(graph, n), QStringList({"-", "A.0", "-", "-"}));
}
