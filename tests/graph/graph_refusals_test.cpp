// What each adder refuses, and why: every adder's overload with `why` names the nodes by path, the
// ports by name and the rule, changes nothing when it refuses, and writes nothing. Then cycles
// through containers, and what disconnecting takes. (Each new edge's ref, kind and ends, the
// fuzzer checks after every call.)
#include "graph_fixtures.h"
#include "hostile_names.h"
#include "message_capture.h"

using Vantrel::Orv::Graph;

namespace {

class Refusals : public SampleGraphTest {
protected:
    // Runs `add`, which must refuse, and returns its reason; the graph must be unchanged.
    template <typename Add>
    QString refused(Add add) {
        const int edges = graph.numEdgesGlobal();
        QString why = QStringLiteral("stale");
        EXPECT_EQ(add(&why), -1);
        EXPECT_EQ(graph.numEdgesGlobal(), edges);
        return why;
    }
    MessageCapture messages;
    void TearDown() override {
        EXPECT_EQ(messages.count(), 0) << qPrintable(messages.critical().join('\n'));
        SampleGraphTest::TearDown();
    }
};

TEST_F(Refusals, RegularEdgeNamesEachRule) {
    ASSERT_GE(graph.addEdge(a, 0, b, 0), 0);
    auto edge = [&](int s, int so, int d, int di) {
        return [=](QString* why) { return graph.addEdge(s, so, d, di, why); };
    };
    EXPECT_EQ(refused(edge(a, 0, 99, 0)), "node 99, which does not exist");
    EXPECT_EQ(refused(edge(a, 5, c, 0)), "node 'A' has no output 5");
    EXPECT_EQ(refused(edge(a, 0, c, -1)), "node 'C' has no input -1");
    EXPECT_EQ(refused(edge(0, 0, 0, 0)), "the root has no output 0");
    EXPECT_EQ(refused(edge(a, 0, x, 0)), "node 'A' and node 'P/X' are not siblings");
    EXPECT_EQ(refused(edge(x, 0, a, 1)), "node 'P/X' and node 'A' are not siblings");
    EXPECT_EQ(refused(edge(p, 0, x, 0)), "node 'P' and node 'P/X' are not siblings");
    EXPECT_EQ(refused(edge(x, 0, p, 0)), "node 'P/X' and node 'P' are not siblings");
    EXPECT_EQ(refused(edge(c, 0, b, 0)), "input 'in0' of node 'B' already has a source");
    EXPECT_EQ(refused(edge(b, 0, a, 1)), "the edge from node 'B' to node 'A' would close a cycle");
    // A loop of one node is a cycle too.
    EXPECT_EQ(refused(edge(c, 0, c, 1)), "the edge from node 'C' to node 'C' would close a cycle");
    // Once freed, the fed input takes the same edge, under the next ref: refusals add none.
    graph.disconnectInput(b, 0);
    EXPECT_EQ(graph.addEdge(c, 0, b, 0), 1);

    // Only an output's first destination decides whether it feeds siblings. An up edge first:
    // the output then refuses regular edges.
    ASSERT_GE(graph.addUpEdge(0, x, 0), 0);
    EXPECT_EQ(refused(edge(x, 0, y, 0)),
              "output 'out0' of node 'P/X' already feeds its parent's output, which must come "
              "after its regular edges");
    // A regular edge first: an up edge may follow, and regular edges still go in after it.
    ASSERT_NE(graph.addEdge(x, 1, y, 0), -1);
    const int up = graph.addUpEdge(1, x, 1);
    EXPECT_EQ(graph.outputDestination(x, 1, 1), up);
    EXPECT_NE(graph.addEdge(x, 1, y, 1), -1);

    graph.removeNode(c);
    EXPECT_EQ(refused(edge(c, 0, a, 0)), "node 3, which is removed");

    // Success clears what an earlier refusal left.
    QString why = QStringLiteral("stale");
    EXPECT_GE(graph.addEdge(b, 1, p, 0, &why), 0);
    EXPECT_TRUE(why.isEmpty());
}

TEST_F(Refusals, DownAndUpEdgesNameTheFedPortAndTheRoot) {
    ASSERT_GE(graph.addDownEdge(0, x, 0), 0);
    ASSERT_GE(graph.addUpEdge(1, y, 1), 0);
    EXPECT_EQ(refused([&](QString* why) { return graph.addDownEdge(1, x, 0, why); }),
              "input 'in0' of node 'P/X' already has a source");
    EXPECT_EQ(refused([&](QString* why) { return graph.addUpEdge(1, x, 0, why); }),
              "output 'out1' of node 'P' already has a source");
    EXPECT_GE(graph.addDownEdge(0, y, 0), 0);  // a parent's input may fan out
    EXPECT_EQ(refused([&](QString* why) { return graph.addDownEdge(0, root, 0, why); }),
              "the root has no parent");
    EXPECT_EQ(refused([&](QString* why) { return graph.addUpEdge(0, root, 0, why); }),
              "the root has no parent");
    EXPECT_EQ(refused([&](QString* why) { return graph.addUpEdge(7, x, 0, why); }),
              "node 'P' has no output 7");
}

TEST_F(Refusals, ByNameAddersNameMissingPortsSilently) {
    EXPECT_EQ(refused([&](QString* why) { return graph.addEdgeByName(a, "nope", b, "none", why); }),
              "node 'A' has no output named 'nope'; node 'B' has no input named 'none'");
    EXPECT_EQ(
        refused([&](QString* why) { return graph.addDownEdgeByName("in0", x, "missing", why); }),
        "node 'P/X' has no input named 'missing'");
    EXPECT_EQ(refused([&](QString* why) { return graph.addDownEdgeByName("in0", 42, "in0", why); }),
              "node 42, which does not exist");
    EXPECT_EQ(refused([&](QString* why) { return graph.addUpEdgeByName("bad", x, "out0", why); }),
              "node 'P' has no output named 'bad'");
    // Found names hand on to the adder's own reason.
    ASSERT_GE(graph.addEdgeByName(a, "out0", b, "in0", nullptr), 0);
    EXPECT_EQ(refused([&](QString* why) { return graph.addEdgeByName(b, "out0", a, "in0", why); }),
              "the edge from node 'B' to node 'A' would close a cycle");
}

TEST_F(Refusals, MatchingSaysWhatMatchedNothingAndWhatWasRefused) {
    QString why;
    // Unnamed ports never meet named ones.
    const int bare = graph.addNode("bare", 1, 0, root);
    EXPECT_EQ(graph.connectByName(a, bare, &why), 0);
    EXPECT_EQ(why,
              "no free input of node 'bare' is named like an output of node 'A' that feeds "
              "no parent's output");

    // T feeds S, so every match from S into T would close a cycle: each is named.
    const int s = graph.addNode("S", 1, 0, root), t = graph.addNode("T", 0, 1, root);
    for (const char* name : {"color", "depth"}) {
        graph.addOutput(s, name, -1);
        graph.addInput(t, name, -1);
    }
    ASSERT_GE(graph.addEdge(t, 0, s, 0), 0);
    EXPECT_EQ(graph.connectByName(s, t, &why), 0);
    EXPECT_EQ(why.split('\n'),
              QStringList({"input 'color' of node 'T': the edge from node 'S' to node 'T' would "
                           "close a cycle",
                           "input 'depth' of node 'T': the edge from node 'S' to node 'T' would "
                           "close a cycle"}));
    graph.removeEdge(graph.inputSource(s, 0));
    EXPECT_EQ(graph.connectByName(s, t, &why), 2);
    EXPECT_TRUE(why.isEmpty());

    const int group = graph.addInputGroup(c, "lights");
    EXPECT_EQ(graph.connectGroups(a, -1, c, group, &why), 0);
    EXPECT_EQ(why,
              "no free input of input group 'lights' of node 'C' is named like an output of "
              "node 'A' that feeds no parent's output");

    EXPECT_EQ(graph.connectDownByName(root, &why), 0);
    EXPECT_EQ(why, "the root has no parent");
    EXPECT_EQ(graph.connectDownByName(x, &why), 2);
    EXPECT_EQ(graph.connectDownByName(y, &why), 2);
    const int inner = graph.addNode("inner", 0, 1, x);
    EXPECT_EQ(graph.connectUpByName(inner, &why), 0);
    EXPECT_EQ(why,
              "no unfed output of node 'P/X/inner' is named like an output of node 'P/X' "
              "that feeds no sibling");
    // X's out0 already feeds P's out0, so Y's like-named output is refused there.
    ASSERT_GE(graph.addUpEdge(0, x, 0), 0);
    EXPECT_EQ(graph.connectUpByName(y, &why), 1);
    EXPECT_EQ(why, "output 'out0' of node 'P/Y': output 'out0' of node 'P' already has a source");
}

// Reasons quote node paths and port names as they are, whatever they hold.
TEST_F(Refusals, NamesAreQuotedAsTheyAre) {
    for (const QString& name : hostileNames()) {
        const int node = graph.addNode(name, 0, 0, graph.kRootNodeRef);
        const QString path = graph.nodePath(node);
        EXPECT_EQ(
            refused([&](QString* why) { return graph.addEdgeByName(node, name, a, name, why); }),
            "node '" + path + "' has no output named '" + name +
                "'; node 'A' has no input named '" + name + "'");
        EXPECT_EQ(refused([&](QString* why) { return graph.addEdge(node, 0, a, 0, why); }),
                  "node '" + path + "' has no output 0");
    }
}

}  // namespace

TEST_F(SampleGraphTest, CyclesAreFoundThroughContainerPorts) {
    // A -> P.in0 -> X.in0 (down); X.out0 -> P.out0 (up) -> B.in0.
    graph.addEdge(a, 0, p, 0);
    graph.addDownEdge(0, x, 0);
    graph.addUpEdge(0, x, 0);
    graph.addEdge(p, 0, b, 0);

    EXPECT_EQ(graph.addEdge(b, 0, a, 1), -1);
    EXPECT_NE(graph.addEdge(b, 0, c, 0), -1);
    EXPECT_EQ(graph.addEdge(c, 0, a, 1), -1);  // C <- B <- X <- A
    // Only ports that carry the value count: P.in1 reaches nothing inside P, so feeding it
    // from B closes no cycle, although P's output feeds B.
    EXPECT_NE(graph.addEdge(b, 1, p, 1), -1);
    // Inside the container, the same rule between siblings.
    EXPECT_NE(graph.addEdge(x, 1, y, 0), -1);
    EXPECT_EQ(graph.addEdge(y, 0, x, 1), -1);
}

// An input takes its own source and the down edges it feeds; a group takes its inputs' sources.
TEST_F(SampleGraphTest, DisconnectingAnInputOrAGroupRemovesOnlyItsEdges) {
    graph.addEdge(a, 0, p, 0);
    for (int child : {x, y}) graph.addDownEdge(0, child, 0);
    const int kept = graph.addDownEdge(1, y, 1);
    graph.disconnectInput(p, 0);  // the fuzzer checks that the input keeps no edge
    EXPECT_TRUE(graph.isValidEdge(kept));

    const int n = graph.addNode("N", 0, 0, root);
    for (int group : {0, 1, 0, -1}) graph.addInput(n, QString(), group);
    graph.addInputGroup(n, "g0");
    graph.addInputGroup(n, "g1");
    for (int i = 0; i < 4; ++i) graph.addEdge(a, 0, n, i);
    graph.disconnectInputGroup(n, 0);
    EXPECT_EQ(feeds(graph, n), QStringList({"-", "A.0", "-", "A.0"}));
    graph.disconnectInputGroup(n, Graph::kInvalidGroupRef);  // the inputs in no group
    EXPECT_EQ(feeds(graph, n), QStringList({"-", "A.0", "-", "-"}));
}
