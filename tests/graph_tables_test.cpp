// The tables as a whole: a new graph, copies and moves, and what every operation does with
// refs and indexes that name nothing.
#include "graph_fixtures.h"
#include "graph_invariants.h"

#include <utility>

using Vantrel::Orv::Graph;

namespace {

void expectRootOnly(const Graph& g) {
    EXPECT_EQ(g.numNodesGlobal(), 1);
    EXPECT_EQ(g.numEdgesGlobal(), 0);
    EXPECT_TRUE(g.isValidNode(Graph::kRootNodeRef));
    EXPECT_EQ(g.parentNode(Graph::kRootNodeRef), -1);
    EXPECT_EQ(g.nodeValue(Graph::kRootNodeRef), -1);
    EXPECT_EQ(g.nodeName(Graph::kRootNodeRef), QString());
    EXPECT_FALSE(g.nodeName(Graph::kRootNodeRef).isNull());
    EXPECT_EQ(g.numNodes(Graph::kRootNodeRef), 0);
    EXPECT_EQ(g.numInputs(Graph::kRootNodeRef), 0);
    EXPECT_TRUE(checkGraphInvariants(g));
}

}  // namespace

TEST(GraphTables, NewGraphHoldsOnlyTheRoot) {
    Graph g;
    expectRootOnly(g);
    EXPECT_FALSE(g.isValidNode(1));
    EXPECT_FALSE(g.isValidEdge(0));
    EXPECT_EQ(Graph::kInvalidNodeRef, -1);
    EXPECT_EQ(Graph::kInvalidEdgeRef, -1);
    EXPECT_EQ(Graph::kInvalidGroupRef, -1);
    EXPECT_EQ(Graph::kRootNodeRef, 0);
}

TEST(GraphTables, GlobalIndexesAreRefsWithoutCheck) {
    Graph g;
    EXPECT_EQ(g.getNodeGlobal(7), 7);
    EXPECT_EQ(g.getNodeGlobal(-3), -3);
    EXPECT_EQ(g.getEdgeGlobal(7), 7);
}

TEST(GraphTables, CopiesAreIndependent) {
    SampleGraph s;
    Graph& g = s.graph;
    const int ab = g.addEdge(s.a, 0, s.b, 0);
    g.addDownEdge(0, s.x, 0);

    Graph copy(g);
    EXPECT_TRUE(checkGraphInvariants(copy));
    EXPECT_EQ(copy.numNodesGlobal(), g.numNodesGlobal());
    EXPECT_EQ(copy.inputSource(s.b, 0), ab);

    // Edit each side; the other must not see it.
    copy.removeEdge(ab);
    copy.setNodeName(s.a, QStringLiteral("A2"));
    copy.addNode(QStringLiteral("Z"), 1, 1, s.p);
    g.setInputName(s.x, 0, QStringLiteral("renamed"));
    g.addEdge(s.b, 0, s.c, 0);

    EXPECT_TRUE(g.isValidEdge(ab));
    EXPECT_EQ(g.inputSource(s.b, 0), ab);
    EXPECT_EQ(g.nodeName(s.a), QStringLiteral("A"));
    EXPECT_EQ(g.numNodes(s.p), 2);
    EXPECT_EQ(copy.inputName(s.x, 0), QStringLiteral("in0"));
    EXPECT_EQ(copy.inputSource(s.c, 0), -1);
    EXPECT_EQ(copy.numEdgesGlobal(), 2);
    EXPECT_EQ(g.numEdgesGlobal(), 3);

    Graph assigned;
    assigned = copy;
    assigned = assigned;  // self-assignment keeps the tables
    copy.setNodeValue(s.b, 42);
    EXPECT_EQ(assigned.nodeValue(s.b), -1);
    EXPECT_EQ(assigned.numNodes(s.p), 3);
    EXPECT_FALSE(assigned.isValidEdge(ab));
    EXPECT_TRUE(checkGraphInvariants(g));
    EXPECT_TRUE(checkGraphInvariants(copy));
    EXPECT_TRUE(checkGraphInvariants(assigned));
}

TEST(GraphTables, MovesLeaveARootOnlyGraph) {
    SampleGraph s;
    s.graph.addEdge(s.a, 0, s.b, 0);
    const int nodes = s.graph.numNodesGlobal();

    Graph moved(std::move(s.graph));
    EXPECT_EQ(moved.numNodesGlobal(), nodes);
    EXPECT_EQ(moved.numEdgesGlobal(), 1);
    expectRootOnly(s.graph);

    Graph target;
    target.addNode(QStringLiteral("old"), 0, 0, Graph::kRootNodeRef);
    target = std::move(moved);
    EXPECT_EQ(target.numNodesGlobal(), nodes);
    EXPECT_EQ(target.findNode(QStringLiteral("P"), 0), s.p);
    expectRootOnly(moved);

    // The moved-from graph is fully usable.
    EXPECT_EQ(moved.addNode(QStringLiteral("n"), 1, 1, Graph::kRootNodeRef), 1);
    EXPECT_TRUE(checkGraphInvariants(moved));
}

// Every operation, given refs and indexes that name nothing, answers the neutral value and
// changes nothing.
TEST(GraphTables, BadRefsAndIndexesGiveNeutralResults) {
    SampleGraph s;
    Graph& g = s.graph;
    g.addInputGroup(s.a, QStringLiteral("g"));
    g.addOutputGroup(s.a, QStringLiteral("g"));
    g.addEdge(s.a, 0, s.b, 0);
    const Graph before(g);
    const int tooBig = 1 << 30;
    const QString name = QStringLiteral("in0");

    for (int bad : {-1, -2, -tooBig, tooBig, g.numNodesGlobal()}) {
        SCOPED_TRACE(bad);
        // As a node.
        EXPECT_FALSE(g.isValidNode(bad));
        EXPECT_FALSE(g.isValidInput(bad, 0));
        EXPECT_FALSE(g.isValidOutputDestination(bad, 0, 0));
        EXPECT_FALSE(g.isValidInputGroup(bad, 0));
        EXPECT_EQ(g.numNodes(bad), 0);
        EXPECT_EQ(g.getNode(0, bad), -1);
        EXPECT_EQ(g.numInputs(bad), 0);
        EXPECT_EQ(g.numOutputGroups(bad), 0);
        EXPECT_EQ(g.findNode(QStringLiteral("A"), bad), -1);
        EXPECT_EQ(g.findInput(bad, name), -1);
        EXPECT_EQ(g.findOutputGroup(bad, QStringLiteral("g")), -1);
        EXPECT_TRUE(g.nodeName(bad).isNull());
        EXPECT_TRUE(g.outputGroupName(bad, 0).isNull());
        EXPECT_EQ(g.nodeValue(bad), -1);
        EXPECT_EQ(g.parentNode(bad), -1);
        EXPECT_EQ(g.inputSource(bad, 0), -1);
        EXPECT_EQ(g.numOutputDestinations(bad, 0), 0);
        EXPECT_EQ(g.inputDestination(bad, 0, 0), -1);
        EXPECT_EQ(g.outputGroup(bad, 0), -1);
        EXPECT_EQ(g.addNode(QStringLiteral("n"), 1, 1, bad), -1);
        EXPECT_EQ(g.addInput(bad, name, -1), -1);
        EXPECT_EQ(g.addOutputGroup(bad, name), -1);
        EXPECT_EQ(g.addEdge(bad, 0, s.b, 1), -1);
        EXPECT_EQ(g.addEdge(s.a, 0, bad, 1), -1);
        EXPECT_EQ(g.addDownEdge(0, bad, 0), -1);
        EXPECT_EQ(g.addUpEdge(0, bad, 0), -1);
        EXPECT_FALSE(g.contains(bad, s.x));
        EXPECT_FALSE(g.contains(Graph::kRootNodeRef, bad));
        EXPECT_EQ(g.indexOfNode(bad), -1);
        EXPECT_FALSE(g.precedes(bad, bad, true));
        EXPECT_FALSE(g.precedes(s.a, bad, false));
        EXPECT_FALSE(g.precedes(bad, s.b, true));
        g.setNodeName(bad, name);
        g.setOutputName(bad, 0, name);
        g.setInputGroupName(bad, 0, name);
        g.setNodeValue(bad, 5);
        g.disconnectInput(bad, 0);
        g.disconnectInputGroup(bad, -1);

        // As a port, group or destination index of a live node.
        EXPECT_FALSE(g.isValidInput(s.a, bad));
        EXPECT_FALSE(g.isValidOutput(s.a, bad));
        EXPECT_FALSE(g.isValidInputDestination(s.a, 0, bad));
        EXPECT_FALSE(g.isValidOutputDestination(s.a, 0, bad));
        EXPECT_FALSE(g.isValidOutputGroup(s.a, bad));
        EXPECT_EQ(g.getNode(bad, Graph::kRootNodeRef), -1);
        EXPECT_TRUE(g.inputName(s.a, bad).isNull());
        EXPECT_TRUE(g.inputGroupName(s.a, bad).isNull());
        EXPECT_EQ(g.outputSource(s.a, bad), -1);
        EXPECT_EQ(g.numInputDestinations(s.a, bad), 0);
        EXPECT_EQ(g.outputDestination(s.a, 0, bad), -1);
        EXPECT_EQ(g.inputGroup(s.a, bad), -1);
        EXPECT_EQ(g.addEdge(s.a, bad, s.b, 1), -1);
        EXPECT_EQ(g.addEdge(s.a, 0, s.b, bad), -1);
        EXPECT_EQ(g.addDownEdge(bad, s.x, 0), -1);
        EXPECT_EQ(g.addDownEdge(0, s.x, bad), -1);
        EXPECT_EQ(g.addUpEdge(bad, s.x, 0), -1);
        EXPECT_EQ(g.addUpEdge(0, s.x, bad), -1);
        g.setInputName(s.a, bad, name);
        g.setOutputGroupName(s.a, bad, name);
        g.disconnectInput(s.a, bad);

        int node = s.a, port = bad;
        EXPECT_FALSE(g.walkUp(node, port));
        EXPECT_FALSE(g.walkAcross(node, port));
        EXPECT_FALSE(g.walkDown(node, port));
        EXPECT_FALSE(g.walkToSourceNode(node, port));
        node = bad;
        port = 0;
        EXPECT_FALSE(g.walkToSourceNode(node, port));
        EXPECT_FALSE(g.walkDown(node, port));
        EXPECT_EQ(node, bad);
        EXPECT_EQ(port, 0);

        // As an edge.
        EXPECT_FALSE(g.isValidEdge(bad));
        EXPECT_FALSE(g.isRegularEdge(bad));
        EXPECT_FALSE(g.isDownEdge(bad));
        EXPECT_FALSE(g.isUpEdge(bad));
        EXPECT_EQ(g.edgeSourceNode(bad), -1);
        EXPECT_EQ(g.edgeSourceIndex(bad), -1);
        EXPECT_EQ(g.edgeDestNode(bad), -1);
        EXPECT_EQ(g.edgeDestIndex(bad), -1);
        g.removeEdge(bad);
    }

    // Nothing changed: same tables, same names, same wiring.
    EXPECT_EQ(g.numNodesGlobal(), before.numNodesGlobal());
    EXPECT_EQ(g.numEdgesGlobal(), before.numEdgesGlobal());
    for (int n = 0; n < g.numNodesGlobal(); ++n) {
        EXPECT_EQ(g.nodeName(n), before.nodeName(n));
        EXPECT_EQ(g.nodeValue(n), before.nodeValue(n));
        EXPECT_EQ(g.numNodes(n), before.numNodes(n));
        EXPECT_EQ(g.numInputs(n), before.numInputs(n));
        EXPECT_EQ(g.numOutputs(n), before.numOutputs(n));
        for (int i = 0; i < g.numInputs(n); ++i) {
            EXPECT_EQ(g.inputName(n, i), before.inputName(n, i));
            EXPECT_EQ(g.inputSource(n, i), before.inputSource(n, i));
        }
    }
    EXPECT_EQ(g.inputGroupName(s.a, 0), QStringLiteral("g"));
    EXPECT_TRUE(g.isValidEdge(0));
    EXPECT_TRUE(checkGraphInvariants(g));
}
