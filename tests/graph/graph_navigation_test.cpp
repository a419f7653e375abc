// Navigation: the walks along edges through containers, precedence, and the node tree.
#include "graph_fixtures.h"
#include "graph_invariants.h"

using Vantrel::Orv::Graph;

//   root: A, B, C, P
//   P holds X and Y; X holds K (a grandchild of P).
//   A.out1 -> P.in0 -> X.in0 -> K.in0          (regular, down, down)
//   K.out1 -> X.out0 -> P.out0 -> B.in0        (up, up, regular)
//   X.out1 -> Y.in0, and K.out0 -> X.out1      (regular inside P, then up)
//   P.in1 -> X.in1 -> K.in1                    (down, down; P.in1 is unfed)
//   P.out1 -> C.in0                            (regular; P.out1 is not fed from inside)
TEST_F(SampleGraphTest, WalksFollowTheirChainsThroughNestedContainers) {
    const int k = addNamedNode(graph, "K", x);
    graph.addEdge(a, 1, p, 0);
    graph.addDownEdge(0, x, 0);
    graph.addDownEdge(0, k, 0);
    graph.addUpEdge(0, k, 1);
    graph.addUpEdge(0, x, 0);
    graph.addEdge(p, 0, b, 0);
    graph.addEdge(x, 1, y, 0);
    graph.addUpEdge(1, k, 0);
    graph.addDownEdge(1, x, 1);
    graph.addDownEdge(1, k, 1);
    graph.addEdge(p, 1, c, 0);
    ASSERT_EQ(graph.numEdgesGlobal(), 11);

    using Walk = bool (Graph::*)(int&, int&) const;
    const Walk up = &Graph::walkUp, across = &Graph::walkAcross, down = &Graph::walkDown,
               source = &Graph::walkToSourceNode;
    // On false the cursor must stay put, except that walkToSourceNode reports the input at
    // the end of its down-edge chain.
    const struct {
        Walk walk;
        int node, port;
        bool moved;
        int toNode, toPort;
    } cases[] = {
        {up, k, 0, true, p, 0},      // outermost input, two levels up
        {across, b, 0, true, p, 0},  // an output index now
        {down, p, 0, true, k, 1},    // innermost output
        {up, y, 0, false, y, 0},     // each walk refuses a port fed by another kind
        {down, y, 0, false, y, 0},   {across, x, 0, false, x, 0},
        {up, a, 0, false, a, 0},  // or a port not fed at all
        {across, a, 0, false, a, 0}, {down, k, 1, false, k, 1},
        {source, k, 0, true, a, 1},  {source, b, 0, true, k, 1},  // never a container passed
        {source, y, 0, true, k, 0},  // a sibling in P, fed by X, whose output comes from K
        {source, c, 0, true, p, 1},  // a container output without an up edge is the producer
        {source, k, 1, false, p, 1}, {source, a, 0, false, a, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "from " << c.node << "." << c.port);
        int node = c.node, port = c.port;
        EXPECT_EQ((graph.*c.walk)(node, port), c.moved);
        EXPECT_EQ(node, c.toNode);
        EXPECT_EQ(port, c.toPort);
    }
}

//   A.out0 -> P.in0 ==down==> X.in0     Y.out0 ==up==> P.out0 -> B.in0 -> C.in0
//   A.out1 -> C.in1 (a diamond is no cycle: two paths to one node)
TEST_F(SampleGraphTest, PrecedesThroughHierarchyQueuesOnlyProducers) {
    graph.addEdge(a, 0, p, 0);
    graph.addDownEdge(0, x, 0);
    graph.addUpEdge(0, y, 0);
    graph.addEdge(p, 0, b, 0);
    graph.addEdge(b, 0, c, 0);
    graph.addEdge(a, 1, c, 1);
    const struct {
        int upstream, downstream;
        bool through, precedes;
    } cases[] = {
        {a, c, false, true},  {a, c, true, true},   {c, a, false, false}, {c, b, true, false},
        {b, b, false, true},  {y, y, true, true},  // itself, even with no edges
        {a, x, false, false}, {a, x, true, true},   {p, x, true, false},  {a, p, false, true},
        {y, b, true, true},   {y, b, false, false}, {p, b, false, true},  {p, b, true, false},
        {x, b, true, false},  {a, b, true, false},  // X feeds nothing Y needs
    };
    for (const auto& c : cases) {
        EXPECT_EQ(graph.precedes(c.upstream, c.downstream, c.through), c.precedes)
            << c.upstream << " before " << c.downstream << (c.through ? " through" : "");
    }
    graph.addEdge(x, 0, y, 0);
    EXPECT_TRUE(graph.precedes(a, b, true));  // A -> P.in0 -> X -> Y -> P.out0 -> B
}

TEST_F(SampleGraphTest, ContainsAndIndexOfNodeReadTheTree) {
    const int deep = graph.addNode("deep", 0, 0, y);
    EXPECT_EQ(QVector<bool>({graph.contains(root, a), graph.contains(root, deep),
                             graph.contains(p, deep), graph.contains(p, p), graph.contains(x, p),
                             graph.contains(a, x), graph.contains(root, root)}),
              QVector<bool>({true, true, true, false, false, false, false}));
    EXPECT_EQ(QVector<int>({graph.indexOfNode(root), graph.indexOfNode(c), graph.indexOfNode(y),
                            graph.indexOfNode(deep)}),
              QVector<int>({-1, 2, 1, 0}));
}
