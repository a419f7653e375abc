// The tables as a whole: a new graph, copies and moves, revisions, and what every operation does
// with refs and indexes that name nothing.
#include <Orv/Walkers.h>

#include "graph_fixtures.h"
#include "graph_invariants.h"

#include <functional>
#include <limits>
#include <utility>

using namespace Vantrel::Orv;

TEST_F(SampleGraphTest, CopiesAreIndependentAndMovesLeaveARootOnlyGraph) {
    const int ab = graph.addEdge(a, 0, b, 0);
    graph.addDownEdge(0, x, 0);
    const QStringList original = graphSnapshot(graph);
    Graph copy(graph);
    EXPECT_EQ(graphSnapshot(copy), original);
    // Edit each side; the other must not see it.
    copy.removeEdge(ab);
    copy.setNodeName(a, "A2");
    copy.addNode("Z", 1, 1, p);
    EXPECT_EQ(graphSnapshot(graph), original);
    const QStringList edited = graphSnapshot(copy);
    graph.setInputName(x, 0, "renamed");
    graph.addEdge(b, 0, c, 0);
    EXPECT_EQ(graphSnapshot(copy), edited);

    Graph assigned;
    assigned = copy;
    assigned = assigned;  // self-assignment keeps the tables
    copy.setNodeValue(b, 42);
    EXPECT_EQ(graphSnapshot(assigned), edited);
    // A move leaves a graph holding only the root, like a new one, and fully usable.
    Graph moved(std::move(assigned));
    copy = std::move(moved);
    EXPECT_EQ(graphSnapshot(copy), edited);
    Graph fresh;
    for (const Graph* rootOnly : {&fresh, &assigned, &moved}) {
        EXPECT_EQ(graphSnapshot(*rootOnly),
                  QStringList("node 0 parent -1 value -1 '' children [] groups [|]"));
        EXPECT_FALSE(rootOnly->nodeName(root).isNull());
    }
    EXPECT_TRUE(fresh.getNodeGlobal(7) == 7 && fresh.getEdgeGlobal(-3) == -3);  // unchecked
    EXPECT_EQ(moved.addNode("n", 1, 1, root), 1);
    EXPECT_TRUE(checkGraphInvariants(copy) && checkGraphInvariants(moved));
}

// Clients cache what they derive from a graph while its revision stands still: queries leave it
// alone, and every edit moves it forward, a refused one or an assignment included.
TEST_F(SampleGraphTest, RevisionMovesOnEveryEditAndOnlyForward) {
    const auto moves = [this](const std::function<void()>& step) {
        const quint64 before = graph.revision();
        step();
        return graph.revision() > before;
    };
    EXPECT_TRUE(moves([&] { graph.addEdge(a, 0, b, 0); }));
    EXPECT_TRUE(moves([&] { graph.addEdge(b, 0, a, 0); })) << "refused";
    EXPECT_TRUE(moves([&] { graph.setNodeValue(c, 4); }));
    EXPECT_TRUE(moves([&] { graph.removeNode(x); }));
    EXPECT_TRUE(moves([&] { graph.purge(); }));
    EXPECT_FALSE(moves([&] {
        int node = b, port = 0;
        graph.walkToSourceNode(node, port);
        graph.precedes(a, b, true), graph.findNode("A", root), graph.numNodesGlobal();
    }));

    Graph other;
    for (int i = 0; i < 50; ++i) other.addNode("n", 0, 0, root);
    EXPECT_TRUE(moves([&] { graph = other; }));
    EXPECT_GT(graph.revision(), other.revision()) << "never back to a value a client saw before";
    const quint64 seen = graph.revision();
    Graph fresh;
    fresh = std::move(graph);
    EXPECT_GT(fresh.revision(), seen);
    EXPECT_GT(graph.revision(), seen);
}

// Every query, given refs and indexes that name nothing, answers the neutral value, and the
// edits the fuzzer cannot judge change nothing (it checks the adders' results and that every
// other refused edit leaves the graph as it was). One or two calls per argument position of each
// shape of operation: the bad value as a node, as a port, group or destination index of a live
// node, as a cursor, as an edge.
TEST_F(SampleGraphTest, BadRefsAndIndexesGiveNeutralResults) {
    Graph& g = graph;
    g.addInputGroup(a, "g");
    g.addEdge(a, 0, b, 0);
    const QString name = QStringLiteral("in0");
    g.connectDownByName(root);  // the root has no parent to wire to
    g.connectUpByName(root);
    const QStringList before = graphSnapshot(g);

    for (int bad : {-1, -2, std::numeric_limits<int>::min(), std::numeric_limits<int>::max(),
                    g.numNodesGlobal()}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(g.isValidNode(bad) || g.isValidInput(bad, 0) || g.isValidInputGroup(bad, 0) ||
                     g.isValidOutputDestination(bad, 0, 0) || g.contains(bad, x) ||
                     g.contains(root, bad) || g.precedes(bad, bad, true) ||
                     g.precedes(a, bad, false) || g.precedes(bad, b, true) ||
                     BottomUpInputWalker(g, bad, false).valid() ||
                     BreadthFirstInputWalker(g, bad, true).valid() ||
                     BottomUpSubgraphWalker(g, bad).valid());
        EXPECT_FALSE(g.isValidOutput(a, bad) || g.isValidInputDestination(a, 0, bad) ||
                     g.isValidOutputGroup(a, bad) || g.isValidInputGroup(a, bad));
        EXPECT_FALSE(g.isValidEdge(bad) || g.isRegularEdge(bad) || g.isDownEdge(bad) ||
                     g.isUpEdge(bad));
        EXPECT_EQ(g.numNodes(bad), 0);
        EXPECT_EQ(g.numInputs(bad), 0);
        EXPECT_EQ(g.numOutputGroups(bad), 0);
        EXPECT_EQ(g.numOutputDestinations(bad, 0), 0);
        EXPECT_EQ(g.numInputDestinations(a, bad), 0);
        EXPECT_EQ(g.getNode(0, bad), -1);
        EXPECT_EQ(g.getNode(bad, root), -1);
        EXPECT_EQ(g.findNode("A", bad), -1);
        EXPECT_EQ(g.findInput(bad, name), -1);
        EXPECT_EQ(g.findOutputGroup(bad, name), -1);
        EXPECT_EQ(g.nodeValue(bad), -1);
        EXPECT_EQ(g.parentNode(bad), -1);
        EXPECT_EQ(g.indexOfNode(bad), -1);
        EXPECT_EQ(g.inputSource(bad, 0), -1);
        EXPECT_EQ(g.inputDestination(bad, 0, 0), -1);
        EXPECT_EQ(g.outputGroup(bad, 0), -1);
        EXPECT_EQ(g.outputSource(a, bad), -1);
        EXPECT_EQ(g.outputDestination(a, 0, bad), -1);
        EXPECT_EQ(g.inputGroup(a, bad), -1);
        EXPECT_EQ(g.edgeSourceNode(bad), -1);
        EXPECT_EQ(g.edgeSourceIndex(bad), -1);
        EXPECT_EQ(g.edgeDestNode(bad), -1);
        EXPECT_EQ(g.edgeDestIndex(bad), -1);
        EXPECT_EQ(BottomUpInputWalker(g, bad, true).node(), -1);
        EXPECT_EQ(BreadthFirstInputWalker(g, bad, false).node(), -1);
        EXPECT_EQ(BottomUpSubgraphWalker(g, bad).node(), -1);
        EXPECT_TRUE(g.nodeName(bad).isNull() && g.outputGroupName(bad, 0).isNull() &&
                    g.inputName(a, bad).isNull() && g.inputGroupName(a, bad).isNull());
        g.setInputName(a, bad, name);
        g.setOutputGroupName(a, bad, name);
        g.connectByName(a, bad);
        g.connectGroups(bad, -1, b, -1);
        g.connectUpByName(bad);
        g.connectDownByName(bad);
        // The walks refuse a bad cursor and leave it alone.
        for (auto walk :
             {&Graph::walkUp, &Graph::walkAcross, &Graph::walkDown, &Graph::walkToSourceNode}) {
            int node = b, port = bad, badNode = bad, port0 = 0;
            EXPECT_FALSE((g.*walk)(node, port) || (g.*walk)(badNode, port0));
            EXPECT_TRUE(node == b && port == bad && badNode == bad && port0 == 0);
        }
    }
    EXPECT_EQ(graphSnapshot(g), before);
}
