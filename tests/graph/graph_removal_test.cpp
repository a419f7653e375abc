// Removal of nodes, ports and groups, and purge's compaction and renumbering.
#include "graph_invariants.h"

#include <QVector>

using Vantrel::Orv::Graph;

namespace {

// The root with children 1..5 and node 6 under node 5, each with two inputs and two outputs:
//   e0: 1.out0 -> 3.in0   e1: 2.out0 -> 3.in1   e2: 3.out0 -> 5.in0   e3: 4.out0 -> 5.in1
//   e4: 5.in0 ==down==> 6.in0   e5: 6.out0 ==up==> 5.out0   e6: 5.in1 ==down==> 6.in1
//   e7: 1.out1 -> 4.in0
struct Tree : ::testing::Test {
    Graph g;

    void SetUp() override {
        for (int i = 1; i <= 5; ++i) g.addNode(QString::number(i), 2, 2, 0);
        g.addNode("6", 2, 2, 5);
        const QVector<int> e{g.addEdge(1, 0, 3, 0),  g.addEdge(2, 0, 3, 1),  g.addEdge(3, 0, 5, 0),
                             g.addEdge(4, 0, 5, 1),  g.addDownEdge(0, 6, 0), g.addUpEdge(0, 6, 0),
                             g.addDownEdge(1, 6, 1), g.addEdge(1, 1, 4, 0)};
        ASSERT_EQ(e, QVector<int>({0, 1, 2, 3, 4, 5, 6, 7}));
    }
    void TearDown() override { EXPECT_TRUE(checkGraphInvariants(g)); }
};

}  // namespace

// (That the removed node, its subtree and every edge at them are no longer valid, the fuzzer and
// the teardown's invariant check catch.)
TEST_F(Tree, RemovingANodeTakesItsSubtreeAndEveryEdgeAtIt) {
    g.removeNode(2);
    EXPECT_EQ(graphSnapshot(g)[0], "node 0 parent -1 value -1 '' children [1,3,4,5] groups [|]");
    EXPECT_EQ(g.edgeSourceNode(1), 2);  // records are readable until purge

    g.addNode("7", 1, 1, 6);
    ASSERT_NE(g.addDownEdge(0, 7, 0), -1);
    g.removeNode(5);
    EXPECT_TRUE(g.isValidEdge(0) && g.isValidEdge(7));
    EXPECT_EQ(g.numNodesGlobal(), 8);
}

// (That purge keeps a graph with nothing removed as it is, the fuzzer checks.)
TEST_F(Tree, PurgeRenumbersEveryStoredRef) {
    for (int i = 0; i < 3; ++i) g.addEdge(1, 0, g.addNode("sink", 1, 0, 0), 0);  // e8..e10
    g.removeEdge(9);  // from the middle of 1.out0's destinations
    g.removeNode(2);  // with e1
    g.removeNode(4);  // with e3 and e7
    g.purge();
    // Nodes 0, 1, 3, 5, 6, 7, 8, 9 become 0..7; edges 0, 2, 4, 5, 6, 8, 10 become 0..6.
    Graph expected;
    for (const char* name : {"1", "3", "5"}) expected.addNode(name, 2, 2, 0);
    expected.addNode("6", 2, 2, 3);
    for (int i = 0; i < 3; ++i) expected.addNode("sink", 1, 0, 0);
    expected.addEdge(1, 0, 2, 0);
    expected.addEdge(2, 0, 3, 0);
    expected.addDownEdge(0, 4, 0);
    expected.addUpEdge(0, 4, 0);
    expected.addDownEdge(1, 4, 1);
    expected.addEdge(1, 0, 5, 0);
    expected.addEdge(1, 0, 7, 0);
    EXPECT_EQ(graphSnapshot(g), graphSnapshot(expected));
    EXPECT_TRUE(g.isDownEdge(2) && g.isUpEdge(3) && g.isRegularEdge(1));

    // Removing the root removes everything, and purge then empties both tables.
    g.removeNode(Graph::kRootNodeRef);
    for (int i = 0; i < 8; ++i) EXPECT_FALSE(g.isValidNode(i) || g.isValidEdge(i)) << i;
    g.purge();
    EXPECT_EQ(g.numNodesGlobal() + g.numEdgesGlobal(), 0);
}

TEST_F(Tree, RemovingAWiredPortRemovesItsEdgesAndRenumbersLaterPorts) {
    g.removeInput(3, 0);   // drops e0; e1 now ends at input 0
    g.removeInput(5, 0);   // drops e2 and e4; e3 and the down edge e6 move to input 0
    g.removeOutput(1, 0);  // e7 now starts at output 0
    g.removeOutput(6, 0);  // drops the up edge e5
    for (int e : {0, 2, 4, 5}) EXPECT_FALSE(g.isValidEdge(e)) << e;
    EXPECT_EQ(QVector<int>({g.inputSource(3, 0), g.edgeDestIndex(1), g.edgeDestIndex(3),
                            g.edgeSourceIndex(6), g.edgeSourceIndex(7)}),
              QVector<int>({1, 0, 0, 0, 0}));
}

TEST(PortAndGroupRemoval, LaterPortsAndGroupsMoveDown) {
    Graph g;
    const int n = g.addNode("n", 0, 0, Graph::kRootNodeRef);
    for (const char* name : {"g0", "g1", "g2"}) g.addInputGroup(n, name);
    g.addOutputGroup(n, "og");
    for (int group : {0, 1, 2, -1, 9}) g.addInput(n, QString::number(group), group);
    g.addOutput(n, "o", 0);

    g.removeInput(n, 0);
    g.removeInputGroup(n, 1);
    // The port of the removed group joins no group, the later group's port follows it down,
    // and a ref past the last group is kept as it was; outputs keep theirs.
    EXPECT_EQ(
        graphSnapshot(g).mid(1),
        QStringList({"node 1 parent 0 value -1 'n' children [] groups [g0,g2,|,og]",
                     "  in0 group -1 source -1 to [] '1'", "  in1 group 1 source -1 to [] '2'",
                     "  in2 group -1 source -1 to [] '-1'", "  in3 group 9 source -1 to [] '9'",
                     "  out0 group 0 source -1 to [] 'o'"}));
    g.removeOutputGroup(n, 0);
    EXPECT_EQ(QVector<int>({g.outputGroup(n, 0), g.numOutputGroups(n), g.numInputGroups(n)}),
              QVector<int>({-1, 0, 2}));
}

TEST(RemovalDepth, DeepNestingNeedsNoRecursion) {
    Graph g;
    int parent = g.addNode("top", 1, 0, Graph::kRootNodeRef);
    for (int i = 0; i < 100000; ++i) {
        const int child = g.addNode("c", 1, 0, parent);
        g.addDownEdge(0, child, 0);
        parent = child;
    }
    g.addNode("kept", 0, 0, Graph::kRootNodeRef);
    g.removeNode(1);
    g.purge();
    EXPECT_EQ(graphSnapshot(g),
              QStringList({"node 0 parent -1 value -1 '' children [1] groups [|]",
                           "node 1 parent 0 value -1 'kept' children [] groups [|]"}));
}
