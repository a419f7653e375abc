// The walkers' visiting orders, across siblings and through containers.
#include <Orv/Walkers.h>

#include "graph_fixtures.h"

#include <QVector>

using namespace Vantrel::Orv;

namespace {

// (That a walker stays empty past its end, the fuzzer checks on every walk.)
template <typename Walker>
QVector<int> walk(Walker&& walker) {
    QVector<int> order;
    for (; walker.valid(); walker.next()) order.append(walker.node());
    return order;
}

QVector<int> bottomUp(const Graph& g, int node, bool through) {
    return walk(BottomUpInputWalker(g, node, through));
}
QVector<int> breadthFirst(const Graph& g, int node, bool through) {
    return walk(BreadthFirstInputWalker(g, node, through));
}
QVector<int> subtree(const Graph& g, int node) {
    return walk(BottomUpSubgraphWalker(g, node));
}

}  // namespace

TEST_F(SampleGraphTest, InputWalkersOrderProducersDepthAndBreadthFirst) {
    //   A -> B.in0 -> P.in0 ;  A -> C.in0 -> P.in1 ;  A -> C.in1
    ASSERT_NE(graph.addEdge(a, 0, b, 0), -1);
    ASSERT_NE(graph.addEdge(a, 0, c, 0), -1);
    ASSERT_NE(graph.addEdge(b, 0, p, 0), -1);
    ASSERT_NE(graph.addEdge(c, 0, p, 1), -1);
    ASSERT_NE(graph.addEdge(a, 1, c, 1), -1);  // a second input fed by A: visited once
    for (bool through : {false, true}) {
        EXPECT_EQ(bottomUp(graph, p, through), QVector<int>({a, b, c, p}));
        EXPECT_EQ(breadthFirst(graph, p, through), QVector<int>({p, b, c, a}));
        EXPECT_EQ(bottomUp(graph, c, through), QVector<int>({a, c}));
        EXPECT_EQ(breadthFirst(graph, a, through), QVector<int>({a}));
    }
}

TEST_F(SampleGraphTest, ThroughHierarchyLooksInsideContainers) {
    //   A -> P.in0 ==down==> X -> Y ==up==> P.out0 -> B
    ASSERT_NE(graph.addEdge(a, 0, p, 0), -1);
    ASSERT_NE(graph.addDownEdge(0, x, 0), -1);
    ASSERT_NE(graph.addEdge(x, 0, y, 0), -1);
    ASSERT_NE(graph.addUpEdge(0, y, 0), -1);
    ASSERT_NE(graph.addEdge(p, 0, b, 0), -1);
    // Across siblings only, a down edge is a dead end and B's producer is P itself.
    EXPECT_EQ(bottomUp(graph, y, false), QVector<int>({x, y}));
    EXPECT_EQ(bottomUp(graph, b, false), QVector<int>({a, p, b}));
    EXPECT_EQ(breadthFirst(graph, b, false), QVector<int>({b, p, a}));
    // Through containers P is passed through, never visited.
    EXPECT_EQ(bottomUp(graph, y, true), QVector<int>({a, x, y}));
    EXPECT_EQ(bottomUp(graph, b, true), QVector<int>({a, x, y, b}));
    EXPECT_EQ(breadthFirst(graph, b, true), QVector<int>({b, y, x, a}));
}

TEST_F(SampleGraphTest, SubgraphWalkerVisitsChildrenBeforeParents) {
    const int z = graph.addNode("Z", 0, 0, x);
    EXPECT_EQ(subtree(graph, p), QVector<int>({z, x, y, p}));
    EXPECT_EQ(subtree(graph, Graph::kRootNodeRef), QVector<int>({a, b, c, z, x, y, p, root}));
    graph.removeNode(x);
    EXPECT_EQ(subtree(graph, p), QVector<int>({y, p}));
    EXPECT_TRUE(subtree(graph, z).isEmpty());
}

TEST(WalkerDepth, LongChainsNeedNoRecursionToWalkOrToTestForCycles) {
    // Edges go in from the far end, so that each cycle test finds nothing upstream.
    Graph g;
    QVector<int> chain;
    for (int i = 0; i < 20000; ++i) chain.append(g.addNode("n", 1, 1, Graph::kRootNodeRef));
    for (int i = chain.size() - 1; i > 0; --i) g.addEdge(chain[i - 1], 0, chain[i], 0);
    EXPECT_EQ(bottomUp(g, chain.last(), false), chain);
    EXPECT_EQ(breadthFirst(g, chain.last(), true), QVector<int>(chain.rbegin(), chain.rend()));
    // The cycle test of the closing edge searches the whole chain upstream.
    EXPECT_TRUE(g.precedes(chain.first(), chain.last(), false));
    EXPECT_FALSE(g.precedes(chain.last(), chain.first(), true));
    EXPECT_EQ(g.addEdge(chain.last(), 0, chain.first(), 0), -1);

    Graph nested;
    QVector<int> path{Graph::kRootNodeRef};
    for (int i = 0; i < 100000; ++i) path.append(nested.addNode("c", 0, 0, path.last()));
    EXPECT_EQ(subtree(nested, Graph::kRootNodeRef), QVector<int>(path.rbegin(), path.rend()));
}
