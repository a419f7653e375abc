// Nodes, ports and groups: creation, lookup by name, names and values.
#include "graph_fixtures.h"

using Vantrel::Orv::Graph;

TEST(GraphNodes, AddNodeAppendsAChildWithUnnamedPorts) {
    Graph g;
    EXPECT_EQ(g.addNode(QStringLiteral("a"), 0, 0, Graph::kRootNodeRef), 1);
    EXPECT_EQ(g.numNodes(0), 1);
    EXPECT_EQ(g.getNode(0, 0), 1);
    EXPECT_EQ(g.parentNode(1), 0);
    EXPECT_EQ(g.nodeValue(1), -1);
    EXPECT_EQ(g.numInputs(1), 0);
    EXPECT_EQ(g.findNode(QStringLiteral("a"), 0), 1);

    const int b = g.addNode(QStringLiteral("b"), 3, 2, 0);
    EXPECT_EQ(b, 2);
    EXPECT_EQ(g.getNode(1, 0), b);
    EXPECT_EQ(g.numInputs(b), 3);
    EXPECT_EQ(g.numOutputs(b), 2);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(g.inputName(b, i), QString());
        EXPECT_EQ(g.inputSource(b, i), -1);
        EXPECT_EQ(g.numInputDestinations(b, i), 0);
        EXPECT_EQ(g.inputGroup(b, i), -1);
    }
    EXPECT_EQ(g.findInput(b, QString()), 0);
    EXPECT_EQ(g.findOutput(b, QString()), 0);
    g.setInputName(b, 0, QStringLiteral("named"));
    EXPECT_EQ(g.findInput(b, QString()), 1);

    const int none = g.addNode(QStringLiteral("c"), -4, -1, b);
    EXPECT_EQ(g.numInputs(none), 0);
    EXPECT_EQ(g.numOutputs(none), 0);
    EXPECT_EQ(g.parentNode(none), b);
    EXPECT_EQ(g.numNodes(b), 1);
    EXPECT_EQ(g.numNodes(0), 2);
}

TEST_F(SampleGraphTest, FindNodeSearchesDirectChildrenInOrder) {
    EXPECT_EQ(graph.findNode(QStringLiteral("X"), p), x);
    EXPECT_EQ(graph.findNode(QStringLiteral("X"), Graph::kRootNodeRef), -1);  // grandchild
    EXPECT_EQ(graph.findNode(QStringLiteral("a"), Graph::kRootNodeRef), -1);  // case matters
    EXPECT_EQ(graph.findNode(QStringLiteral("A "), Graph::kRootNodeRef), -1);
    EXPECT_EQ(graph.findNode(QStringLiteral("A"), x), -1);  // no children

    const int second = graph.addNode(QStringLiteral("A"), 0, 0, Graph::kRootNodeRef);
    EXPECT_EQ(graph.findNode(QStringLiteral("A"), Graph::kRootNodeRef), a);
    graph.setNodeName(a, QStringLiteral("renamed"));
    EXPECT_EQ(graph.findNode(QStringLiteral("A"), Graph::kRootNodeRef), second);
    graph.setNodeName(c, QStringLiteral("A"));
    EXPECT_EQ(graph.findNode(QStringLiteral("A"), Graph::kRootNodeRef), c);
}

TEST_F(SampleGraphTest, PortsAndGroupsAreAppendedAndFoundByName) {
    EXPECT_EQ(graph.addInputGroup(a, QStringLiteral("g")), 0);
    EXPECT_EQ(graph.addInputGroup(a, QStringLiteral("h")), 1);
    EXPECT_EQ(graph.addInputGroup(a, QStringLiteral("g")), 2);
    EXPECT_EQ(graph.numInputGroups(a), 3);
    EXPECT_EQ(graph.findInputGroup(a, QStringLiteral("g")), 0);
    EXPECT_EQ(graph.findInputGroup(a, QStringLiteral("h")), 1);
    EXPECT_EQ(graph.findOutputGroup(a, QStringLiteral("g")), -1);
    EXPECT_EQ(graph.numOutputGroups(a), 0);

    // The group ref is stored as passed, even one that names no group.
    EXPECT_EQ(graph.addInput(a, QStringLiteral("in"), 5), 2);
    EXPECT_EQ(graph.inputGroup(a, 2), 5);
    EXPECT_FALSE(graph.isValidInputGroup(a, 5));
    EXPECT_TRUE(graph.isValidInput(a, 2));
    EXPECT_FALSE(graph.isValidInputDestination(a, 2, 0));

    EXPECT_EQ(graph.addOutputGroup(a, QStringLiteral("og")), 0);
    EXPECT_EQ(graph.addOutput(a, QStringLiteral("out0"), 0), 2);
    EXPECT_EQ(graph.findOutput(a, QStringLiteral("out0")), 0);  // first of two
    EXPECT_EQ(graph.outputGroup(a, 2), 0);
    EXPECT_EQ(graph.outputGroup(a, 0), -1);
    EXPECT_TRUE(graph.isValidOutputGroup(a, 0));
    EXPECT_FALSE(graph.isValidOutputGroup(a, 1));
    EXPECT_FALSE(graph.isValidInputGroup(b, 0));
    EXPECT_EQ(graph.findInput(a, QStringLiteral("IN0")), -1);
}

TEST_F(SampleGraphTest, SettersReplaceOnlyTheirField) {
    graph.setNodeName(x, QStringLiteral("Y"));  // siblings may share a name
    graph.setInputName(x, 1, QStringLiteral("in0"));
    graph.addOutputGroup(x, QStringLiteral("og"));
    graph.setOutputGroupName(x, 0, QStringLiteral("og2"));
    graph.setNodeValue(x, 17);

    EXPECT_EQ(graph.findNode(QStringLiteral("Y"), p), x);
    EXPECT_EQ(graph.findInput(x, QStringLiteral("in0")), 0);
    EXPECT_EQ(graph.inputName(x, 1), QStringLiteral("in0"));
    EXPECT_EQ(graph.outputGroupName(x, 0), QStringLiteral("og2"));
    EXPECT_EQ(graph.nodeValue(x), 17);
    EXPECT_EQ(graph.nodeValue(y), -1);
    EXPECT_EQ(graph.nodeName(y), QStringLiteral("Y"));
}
