// Nodes, ports and groups: creation, lookup by name, names and values.
#include "graph_fixtures.h"
#include "graph_invariants.h"

using Vantrel::Orv::Graph;

TEST(GraphNodes, AddNodeAppendsAChildWithUnnamedFreePorts) {
    Graph g;
    EXPECT_EQ(g.addNode(QStringLiteral("b"), 2, 1, Graph::kRootNodeRef), 1);
    EXPECT_EQ(g.addNode(QStringLiteral("c"), -4, -1, 1), 2);  // negative counts give no ports
    EXPECT_EQ(graphSnapshot(g).mid(1),
              QStringList({"node 1 parent 0 value -1 'b' children [2] groups [|]",
                           "  in0 group -1 source -1 to [] ''", "  in1 group -1 source -1 to [] ''",
                           "  out0 group -1 source -1 to [] ''",
                           "node 2 parent 1 value -1 'c' children [] groups [|]"}));
    EXPECT_EQ(g.findInput(1, QString()), 0);
    g.setInputName(1, 0, QStringLiteral("named"));
    EXPECT_EQ(g.findInput(1, QString()), 1);
}

TEST_F(SampleGraphTest, FindNodeSearchesDirectChildrenInOrder) {
    EXPECT_EQ(graph.findNode(QStringLiteral("X"), p), x);
    EXPECT_EQ(graph.findNode(QStringLiteral("X"), Graph::kRootNodeRef), -1);  // grandchild
    EXPECT_EQ(graph.findNode(QStringLiteral("a"), Graph::kRootNodeRef), -1);  // case matters
    EXPECT_EQ(graph.findNode(QStringLiteral("A "), Graph::kRootNodeRef), -1);

    const int second = graph.addNode(QStringLiteral("A"), 0, 0, Graph::kRootNodeRef);
    EXPECT_EQ(graph.findNode(QStringLiteral("A"), Graph::kRootNodeRef), a);
    graph.setNodeName(a, QStringLiteral("renamed"));
    EXPECT_EQ(graph.findNode(QStringLiteral("A"), Graph::kRootNodeRef), second);
    graph.setNodeName(c, QStringLiteral("A"));
    EXPECT_EQ(graph.findNode(QStringLiteral("A"), Graph::kRootNodeRef), c);
}

TEST_F(SampleGraphTest, PortsAndGroupsAreAppendedNamedAndFound) {
    EXPECT_EQ(graph.addInputGroup(a, QStringLiteral("g")), 0);
    EXPECT_EQ(graph.addInputGroup(a, QStringLiteral("h")), 1);
    EXPECT_EQ(graph.addInputGroup(a, QStringLiteral("g")), 2);
    EXPECT_EQ(graph.findInputGroup(a, QStringLiteral("g")), 0);
    EXPECT_EQ(graph.findInputGroup(a, QStringLiteral("h")), 1);
    EXPECT_EQ(graph.findOutputGroup(a, QStringLiteral("g")), -1);
    // The group ref is stored as passed, even one that names no group.
    EXPECT_EQ(graph.addInput(a, QStringLiteral("in"), 5), 2);
    EXPECT_EQ(graph.inputGroup(a, 2), 5);
    EXPECT_FALSE(graph.isValidInputGroup(a, 5));
    EXPECT_TRUE(graph.isValidInput(a, 2));

    EXPECT_EQ(graph.addOutputGroup(a, QStringLiteral("og")), 0);
    EXPECT_EQ(graph.addOutput(a, QStringLiteral("out0"), 0), 2);
    EXPECT_EQ(graph.findOutput(a, QStringLiteral("out0")), 0);  // first of two
    EXPECT_EQ(graph.outputGroup(a, 2), 0);
    EXPECT_TRUE(graph.isValidOutputGroup(a, 0));
    EXPECT_FALSE(graph.isValidOutputGroup(a, 1));
    EXPECT_EQ(graph.findInput(a, QStringLiteral("IN0")), -1);

    // Each setter replaces its own field only.
    graph.setOutputGroupName(a, 0, QStringLiteral("og2"));
    graph.setNodeValue(x, 17);
    EXPECT_EQ(graph.outputGroupName(a, 0), QStringLiteral("og2"));
    EXPECT_EQ(graph.nodeValue(x), 17);
    EXPECT_EQ(graph.nodeValue(y), -1);
}
