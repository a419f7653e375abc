// The tables as a whole: a new graph, copies and moves, and revisions. (What every call does with
// refs and indexes that name nothing, the fuzzer checks for any values.)
#include "graph_fixtures.h"
#include "graph_invariants.h"

#include <functional>
#include <utility>

using namespace Vantrel::Orv;

TEST_F(SampleGraphTest, CopiesAreIndependentAndMovesLeaveARootOnlyGraph) {
    const int ab = graph.addEdge(a, 0, b, 0);
    graph.addDownEdge(0, x, 0);
    const QStringList original = graphSnapshot(graph);
    Graph copy(graph);  // the fuzzer checks that copies are equal
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
