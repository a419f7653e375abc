// The tables as a whole: a new graph, copies and moves, and what every operation does with
// refs and indexes that name nothing.
#include "graph_fixtures.h"
#include "graph_invariants.h"

#include <limits>
#include <utility>

using Vantrel::Orv::Graph;

TEST(GraphTables, NewGraphHoldsOnlyTheRoot) {
    Graph g;
    EXPECT_EQ(graphSnapshot(g), QStringList("node 0 parent -1 value -1 '' children [] groups [|]"));
    EXPECT_TRUE(g.isValidNode(Graph::kRootNodeRef));
    EXPECT_FALSE(g.nodeName(Graph::kRootNodeRef).isNull());
    EXPECT_EQ(g.getNodeGlobal(7), 7);  // global indexes are refs, unchecked
    EXPECT_EQ(g.getEdgeGlobal(-3), -3);
}

TEST(GraphTables, CopiesAreIndependentAndMovesLeaveARootOnlyGraph) {
    SampleGraph s;
    Graph& g = s.graph;
    const int ab = g.addEdge(s.a, 0, s.b, 0);
    g.addDownEdge(0, s.x, 0);
    const QStringList original = graphSnapshot(g);

    Graph copy(g);
    EXPECT_EQ(graphSnapshot(copy), original);
    // Edit each side; the other must not see it.
    copy.removeEdge(ab);
    copy.setNodeName(s.a, QStringLiteral("A2"));
    copy.addNode(QStringLiteral("Z"), 1, 1, s.p);
    EXPECT_EQ(graphSnapshot(g), original);
    const QStringList edited = graphSnapshot(copy);
    g.setInputName(s.x, 0, QStringLiteral("renamed"));
    g.addEdge(s.b, 0, s.c, 0);
    EXPECT_EQ(graphSnapshot(copy), edited);

    Graph assigned;
    assigned = copy;
    assigned = assigned;  // self-assignment keeps the tables
    copy.setNodeValue(s.b, 42);
    EXPECT_EQ(graphSnapshot(assigned), edited);

    // A move leaves a graph holding only the root, fully usable.
    Graph moved(std::move(assigned));
    EXPECT_EQ(graphSnapshot(moved), edited);
    EXPECT_EQ(graphSnapshot(assigned), graphSnapshot(Graph()));
    copy = std::move(moved);
    EXPECT_EQ(graphSnapshot(copy), edited);
    EXPECT_EQ(graphSnapshot(moved), graphSnapshot(Graph()));
    EXPECT_EQ(moved.addNode(QStringLiteral("n"), 1, 1, Graph::kRootNodeRef), 1);
    for (const Graph* each : {&g, &copy, &moved}) EXPECT_TRUE(checkGraphInvariants(*each));
}

// Clients cache what they derive from a graph while its revision stands still: queries leave it
// alone, and every edit moves it forward, a refused one or an assignment included.
TEST(GraphTables, RevisionMovesOnEveryEditAndOnlyForward) {
    SampleGraph s;
    Graph& g = s.graph;
    quint64 seen = g.revision();
    const auto moved = [&] {
        const bool forward = g.revision() > seen;
        seen = g.revision();
        return forward;
    };
    int a = s.a, b = s.b;
    g.precedes(a, b, true), g.findNode(QStringLiteral("A"), 0), g.numNodesGlobal();
    EXPECT_FALSE(moved());
    EXPECT_NE(g.addEdge(a, 0, b, 0), -1);
    EXPECT_TRUE(moved());
    EXPECT_EQ(g.addEdge(b, 0, a, 0), -1);
    EXPECT_TRUE(moved()) << "refused";
    int port = 0;
    g.walkToSourceNode(b, port);
    EXPECT_FALSE(moved());
    g.setNodeValue(s.c, 4);
    EXPECT_TRUE(moved());
    g.removeNode(s.x);
    EXPECT_TRUE(moved());
    g.purge();
    EXPECT_TRUE(moved());

    Graph other;
    for (int i = 0; i < 50; ++i) other.addNode(QStringLiteral("n"), 0, 0, Graph::kRootNodeRef);
    g = other;
    EXPECT_GT(g.revision(), other.revision()) << "never back to a value a client saw before";
    EXPECT_TRUE(moved());
    Graph fresh;
    fresh = std::move(g);
    EXPECT_GT(fresh.revision(), seen);
    EXPECT_GT(g.revision(), seen);
}

// Every operation, given refs and indexes that name nothing, answers the neutral value and
// changes nothing. One or two calls per argument position of each shape of operation.
TEST(GraphTables, BadRefsAndIndexesGiveNeutralResults) {
    SampleGraph s;
    Graph& g = s.graph;
    g.addInputGroup(s.a, QStringLiteral("g"));
    g.addEdge(s.a, 0, s.b, 0);
    const QString name = QStringLiteral("in0");
    const QStringList before = graphSnapshot(g);

    for (int bad : {-1, -2, std::numeric_limits<int>::min(), std::numeric_limits<int>::max(),
                    g.numNodesGlobal()}) {
        SCOPED_TRACE(bad);
        // As a node.
        EXPECT_FALSE(g.isValidNode(bad) || g.isValidInput(bad, 0) || g.isValidInputGroup(bad, 0) ||
                     g.isValidOutputDestination(bad, 0, 0));
        EXPECT_EQ(g.numNodes(bad) + g.numInputs(bad) + g.numOutputGroups(bad), 0);
        EXPECT_EQ(g.numOutputDestinations(bad, 0), 0);
        for (int result : {g.getNode(0, bad), g.findNode(QStringLiteral("A"), bad),
                           g.findInput(bad, name), g.findOutputGroup(bad, name), g.nodeValue(bad),
                           g.parentNode(bad), g.inputSource(bad, 0), g.inputDestination(bad, 0, 0),
                           g.outputGroup(bad, 0), g.indexOfNode(bad)})
            EXPECT_EQ(result, -1);
        EXPECT_TRUE(g.nodeName(bad).isNull() && g.outputGroupName(bad, 0).isNull());
        for (int added :
             {g.addNode(name, 1, 1, bad), g.addInput(bad, name, -1), g.addOutputGroup(bad, name),
              g.addEdge(bad, 0, s.b, 1), g.addEdge(s.a, 0, bad, 1), g.addDownEdge(0, bad, 0),
              g.addUpEdge(0, bad, 0)})
            EXPECT_EQ(added, -1);
        EXPECT_FALSE(g.contains(bad, s.x) || g.contains(Graph::kRootNodeRef, bad));
        EXPECT_FALSE(g.precedes(bad, bad, true) || g.precedes(s.a, bad, false) ||
                     g.precedes(bad, s.b, true));
        g.setNodeName(bad, name);
        g.setInputGroupName(bad, 0, name);
        g.setNodeValue(bad, 5);
        g.disconnectInput(bad, 0);
        g.disconnectInputGroup(bad, -1);

        // As a port, group or destination index of a live node.
        EXPECT_FALSE(g.isValidOutput(s.a, bad) || g.isValidInputDestination(s.a, 0, bad) ||
                     g.isValidOutputGroup(s.a, bad));
        EXPECT_EQ(g.numInputDestinations(s.a, bad), 0);
        for (int result :
             {g.getNode(bad, Graph::kRootNodeRef), g.outputSource(s.a, bad),
              g.outputDestination(s.a, 0, bad), g.inputGroup(s.a, bad), g.addEdge(s.a, bad, s.b, 1),
              g.addEdge(s.a, 0, s.b, bad), g.addDownEdge(bad, s.x, 0), g.addDownEdge(0, s.x, bad),
              g.addUpEdge(bad, s.x, 0), g.addUpEdge(0, s.x, bad)})
            EXPECT_EQ(result, -1);
        EXPECT_TRUE(g.inputName(s.a, bad).isNull() && g.inputGroupName(s.a, bad).isNull());
        g.setInputName(s.a, bad, name);
        g.setOutputGroupName(s.a, bad, name);
        g.disconnectInput(s.a, bad);

        // As a cursor: the walks refuse it and leave it alone.
        for (auto walk :
             {&Graph::walkUp, &Graph::walkAcross, &Graph::walkDown, &Graph::walkToSourceNode}) {
            int node = s.b, port = bad;
            EXPECT_FALSE((g.*walk)(node, port));
            EXPECT_EQ(port, bad);
            node = bad;
            port = 0;
            EXPECT_FALSE((g.*walk)(node, port));
            EXPECT_EQ(node, bad);
        }

        // As an edge.
        EXPECT_FALSE(g.isValidEdge(bad) || g.isRegularEdge(bad) || g.isDownEdge(bad) ||
                     g.isUpEdge(bad));
        for (int field : {g.edgeSourceNode(bad), g.edgeSourceIndex(bad), g.edgeDestNode(bad),
                          g.edgeDestIndex(bad)})
            EXPECT_EQ(field, -1);
        g.removeEdge(bad);
    }
    EXPECT_EQ(graphSnapshot(g), before);
}
