// Navigation: the walks along edges through containers, precedence, and the node tree.
#include "graph_fixtures.h"
#include "graph_invariants.h"

using Vantrel::Orv::Graph;

namespace {

struct Cursor {
    int node;
    int port;
    bool operator==(const Cursor& o) const { return node == o.node && port == o.port; }
};

void PrintTo(const Cursor& c, std::ostream* os) {
    *os << "(" << c.node << ", " << c.port << ")";
}

using Walk = bool (Graph::*)(int&, int&) const;

// Moves the cursor with one of the walks.
bool walk(const Graph& g, Walk step, Cursor& cursor) {
    return (g.*step)(cursor.node, cursor.port);
}

}  // namespace

//   root: A, B, C, P
//   P holds X and Y; X holds K (a grandchild of P).
//   A.out1 -> P.in0 -> X.in0 -> K.in0          (regular, down, down)
//   K.out1 -> X.out0 -> P.out0 -> B.in0        (up, up, regular)
//   X.out1 -> Y.in0                             (regular, inside P)
class NestedGraphTest : public SampleGraphTest {
protected:
    void SetUp() override {
        k = addNamedNode(graph, QStringLiteral("K"), x);
        graph.addEdge(a, 1, p, 0);
        graph.addDownEdge(0, x, 0);
        graph.addDownEdge(0, k, 0);
        graph.addUpEdge(0, k, 1);
        graph.addUpEdge(0, x, 0);
        graph.addEdge(p, 0, b, 0);
        graph.addEdge(x, 1, y, 0);
        ASSERT_EQ(graph.numEdgesGlobal(), 7);
    }
    int k = -1;
};

TEST_F(NestedGraphTest, SingleKindWalksFollowTheirChains) {
    Cursor cur{k, 0};
    EXPECT_TRUE(walk(graph, &Graph::walkUp, cur));
    EXPECT_EQ(cur, (Cursor{p, 0}));  // outermost input, two levels up

    cur = {b, 0};
    EXPECT_TRUE(walk(graph, &Graph::walkAcross, cur));
    EXPECT_EQ(cur, (Cursor{p, 0}));  // an output index now
    EXPECT_TRUE(walk(graph, &Graph::walkDown, cur));
    EXPECT_EQ(cur, (Cursor{k, 1}));  // innermost output

    // Each walk refuses a port fed by another kind, or not fed at all, and stays put.
    const Cursor fedAcross{y, 0}, fedDown{x, 0}, unfed{cur.node, 1};
    for (Walk step : {&Graph::walkUp, &Graph::walkDown}) {
        cur = fedAcross;
        EXPECT_FALSE(walk(graph, step, cur));
        EXPECT_EQ(cur, fedAcross);
    }
    cur = fedDown;
    EXPECT_FALSE(walk(graph, &Graph::walkAcross, cur));
    EXPECT_EQ(cur, fedDown);
    cur = {a, 0};
    EXPECT_FALSE(walk(graph, &Graph::walkUp, cur));
    EXPECT_FALSE(walk(graph, &Graph::walkAcross, cur));
    cur = unfed;
    EXPECT_FALSE(walk(graph, &Graph::walkDown, cur));
    EXPECT_EQ(cur, unfed);
}

TEST_F(NestedGraphTest, WalkToSourceNodeTracesThroughNestedContainers) {
    Cursor cur{k, 0};
    EXPECT_TRUE(walk(graph, &Graph::walkToSourceNode, cur));
    EXPECT_EQ(cur, (Cursor{a, 1}));

    cur = {b, 0};
    EXPECT_TRUE(walk(graph, &Graph::walkToSourceNode, cur));
    EXPECT_EQ(cur, (Cursor{k, 1}));  // never the containers passed through

    // A sibling inside P fed by X, whose output is handed up from K.
    graph.addUpEdge(1, k, 0);
    cur = {y, 0};
    EXPECT_TRUE(walk(graph, &Graph::walkToSourceNode, cur));
    EXPECT_EQ(cur, (Cursor{k, 0}));

    // A container is the producer when its output has no up edge.
    graph.addEdge(p, 1, c, 0);
    cur = {c, 0};
    EXPECT_TRUE(walk(graph, &Graph::walkToSourceNode, cur));
    EXPECT_EQ(cur, (Cursor{p, 1}));
}

TEST_F(NestedGraphTest, WalkToSourceNodeStopsAtAnUnfedContainerInput) {
    graph.disconnectInput(p, 0);
    graph.addDownEdge(0, x, 0);  // X.in0 again fed from P.in0, which has no source now
    Cursor cur{k, 0};
    EXPECT_FALSE(walk(graph, &Graph::walkToSourceNode, cur));
    EXPECT_EQ(cur, (Cursor{p, 0}));

    cur = {a, 0};  // no source at all: unchanged
    EXPECT_FALSE(walk(graph, &Graph::walkToSourceNode, cur));
    EXPECT_EQ(cur, (Cursor{a, 0}));
}

TEST_F(SampleGraphTest, PrecedesFollowsRegularEdgesBetweenSiblings) {
    graph.addEdge(a, 0, b, 0);
    graph.addEdge(b, 0, c, 0);
    EXPECT_TRUE(graph.precedes(a, c, false));
    EXPECT_TRUE(graph.precedes(a, c, true));
    EXPECT_FALSE(graph.precedes(c, a, false));
    EXPECT_TRUE(graph.precedes(b, b, false));
    EXPECT_TRUE(graph.precedes(y, y, true));  // itself, even with no edges
    EXPECT_FALSE(graph.precedes(a, p, true));

    // A diamond is no cycle: two paths to one node.
    graph.addEdge(a, 1, c, 1);
    EXPECT_TRUE(graph.precedes(a, c, false));
    EXPECT_FALSE(graph.precedes(c, b, true));
}

TEST_F(SampleGraphTest, PrecedesThroughHierarchyQueuesOnlyProducers) {
    graph.addEdge(a, 0, p, 0);
    graph.addDownEdge(0, x, 0);
    EXPECT_FALSE(graph.precedes(a, x, false));
    EXPECT_TRUE(graph.precedes(a, x, true));
    EXPECT_FALSE(graph.precedes(p, x, true));
    EXPECT_TRUE(graph.precedes(a, p, false));

    // Out of the container: Y's output is handed up and feeds B.
    graph.addUpEdge(0, y, 0);
    graph.addEdge(p, 0, b, 0);
    EXPECT_TRUE(graph.precedes(y, b, true));
    EXPECT_FALSE(graph.precedes(y, b, false));
    EXPECT_TRUE(graph.precedes(p, b, false));
    EXPECT_FALSE(graph.precedes(p, b, true));
    EXPECT_FALSE(graph.precedes(x, b, true));  // X feeds nothing Y needs
    graph.addEdge(x, 0, y, 0);
    EXPECT_TRUE(graph.precedes(a, b, true));  // A -> P.in0 -> X -> Y -> P.out0 -> B
}

TEST(GraphNavigation, LongChainKeepsItsOrder) {
    // Producer-first edges along a chain; every link is tested for a cycle as it goes in.
    Graph g;
    const int length = 2000;
    int previous = addNamedNode(g, QStringLiteral("n0"), Graph::kRootNodeRef, 1, 1);
    const int first = previous;
    for (int i = 1; i < length; ++i) {
        const int node = addNamedNode(g, QStringLiteral("n%1").arg(i), Graph::kRootNodeRef, 1, 1);
        ASSERT_NE(g.addEdge(previous, 0, node, 0), -1);
        previous = node;
    }
    EXPECT_TRUE(g.precedes(first, previous, false));
    EXPECT_FALSE(g.precedes(previous, first, true));
    EXPECT_EQ(g.addEdge(previous, 0, first, 0), -1);
    EXPECT_TRUE(checkGraphInvariants(g));
}

TEST_F(SampleGraphTest, ContainsAndIndexOfNodeReadTheTree) {
    for (int n : {a, b, c, p, x, y}) EXPECT_TRUE(graph.contains(Graph::kRootNodeRef, n)) << n;
    EXPECT_TRUE(graph.contains(p, x));
    EXPECT_FALSE(graph.contains(p, p));
    EXPECT_FALSE(graph.contains(x, p));
    EXPECT_FALSE(graph.contains(a, x));
    EXPECT_FALSE(graph.contains(Graph::kRootNodeRef, Graph::kRootNodeRef));
    const int deep = graph.addNode(QStringLiteral("deep"), 0, 0, y);
    EXPECT_TRUE(graph.contains(p, deep));
    EXPECT_TRUE(graph.contains(Graph::kRootNodeRef, deep));

    EXPECT_EQ(graph.indexOfNode(Graph::kRootNodeRef), -1);
    EXPECT_EQ(graph.indexOfNode(a), 0);
    EXPECT_EQ(graph.indexOfNode(c), 2);
    EXPECT_EQ(graph.indexOfNode(y), 1);
    EXPECT_EQ(graph.indexOfNode(deep), 0);
}
