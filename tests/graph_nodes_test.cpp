// Nodes, ports and groups: creation, lookup by name, names and values.
#include "graph_fixtures.h"
#include "graph_invariants.h"

using Vantrel::Orv::Graph;

TEST(GraphNodes, AddNodeAppendsAChildWithUnnamedFreePorts) {
    Graph g;
    EXPECT_EQ(g.addNode("b", 2, 1, Graph::kRootNodeRef), 1);
    EXPECT_EQ(g.addNode("c", -4, -1, 1), 2);  // negative counts give no ports
    EXPECT_EQ(graphSnapshot(g).mid(1),
              QStringList({"node 1 parent 0 value -1 'b' children [2] groups [|]",
                           "  in0 group -1 source -1 to [] ''", "  in1 group -1 source -1 to [] ''",
                           "  out0 group -1 source -1 to [] ''",
                           "node 2 parent 1 value -1 'c' children [] groups [|]"}));
    EXPECT_EQ(g.findInput(1, QString()), 0);
    EXPECT_FALSE(g.inputName(1, 1).isNull() || g.outputName(1, 0).isNull()) << "empty, not null";
    g.setInputName(1, 0, "named");
    EXPECT_EQ(g.findInput(1, QString()), 1);
}

// findNode searches direct children only, in order.
TEST_F(SampleGraphTest, NodesPortsAndGroupsAreAppendedNamedAndFound) {
    EXPECT_EQ(graph.findNode("X", p), x);
    for (const char* name : {"X", "a", "A "})  // a grandchild; case and spaces matter
        EXPECT_EQ(graph.findNode(name, root), -1) << name;
    const int second = graph.addNode("A", 0, 0, root);
    EXPECT_EQ(graph.findNode("A", root), a);
    graph.setNodeName(a, "renamed");
    EXPECT_EQ(graph.findNode("A", root), second);
    graph.setNodeName(c, "A");
    EXPECT_EQ(graph.findNode("A", root), c);
    EXPECT_EQ(QVector<int>({graph.addInputGroup(a, "g"), graph.addInputGroup(a, "h"),
                            graph.addInputGroup(a, "g"), graph.addInput(a, "in", 5),
                            graph.addOutputGroup(a, "og"), graph.addOutput(a, "out0", 0)}),
              QVector<int>({0, 1, 2, 2, 0, 2}));
    // Each setter replaces its own field only; a group ref is stored as passed, even one that
    // names no group.
    graph.setOutputGroupName(a, 0, "og2");
    graph.setNodeValue(a, 17);
    EXPECT_EQ(QVector<int>({graph.inputGroup(a, 2), graph.outputGroup(a, 2), graph.nodeValue(a),
                            graph.nodeValue(b), graph.findInput(a, "in")}),
              QVector<int>({5, 0, 17, -1, 2}));
    EXPECT_EQ(QStringList({graph.outputGroupName(a, 0), graph.inputGroupName(a, 2)}),
              QStringList({"og2", "g"}));
    EXPECT_EQ(QVector<int>({graph.findInputGroup(a, "g"), graph.findInputGroup(a, "h"),
                            graph.findOutputGroup(a, "g"), graph.findOutput(a, "out0"),
                            graph.findInput(a, "IN0")}),
              QVector<int>({0, 1, -1, 0, -1}));  // the first of like-named; case matters
    EXPECT_TRUE(graph.isValidInput(a, 2) && graph.isValidOutputGroup(a, 0));
    EXPECT_FALSE(graph.isValidInputGroup(a, 5) || graph.isValidOutputGroup(a, 1));
}
