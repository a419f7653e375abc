// Nodes, ports and groups: lookup by name and names, and node paths: names joined by '/', with '/'
// and '\\' escaped, found again whatever the names.
#include "graph_fixtures.h"
#include "graph_invariants.h"

using Vantrel::Orv::Graph;

// (That a new node is its parent's last child, with the ports asked for, unnamed (empty, not
// null), in no group and free, that every adder appends what it was asked for, and that each
// setter replaces its own name only, the fuzzer checks after every call.)
// findNode searches direct children only, in order; unnamed ports are found by the empty name.
TEST_F(SampleGraphTest, NodesPortsAndGroupsAreAppendedNamedAndFound) {
    EXPECT_EQ(graph.findNode("X", p), x);
    for (const char* name : {"X", "a", "A "})  // a grandchild; case and spaces matter
        EXPECT_EQ(graph.findNode(name, root), -1) << name;
    const int second = graph.addNode("A", 2, 1, root);
    EXPECT_EQ(graph.findNode("A", root), a);
    EXPECT_EQ(graph.findInput(second, QString()), 0);
    graph.setInputName(second, 0, "named");
    EXPECT_EQ(graph.findInput(second, QString()), 1);
    graph.setNodeName(a, "renamed");
    EXPECT_EQ(graph.findNode("A", root), second);
    graph.setNodeName(c, "A");
    EXPECT_EQ(graph.findNode("A", root), c);
    EXPECT_EQ(QVector<int>({graph.addInputGroup(a, "g"), graph.addInputGroup(a, "h"),
                            graph.addInputGroup(a, "g"), graph.addInput(a, "in", 5),
                            graph.addOutputGroup(a, "og"), graph.addOutput(a, "out0", 0)}),
              QVector<int>({0, 1, 2, 2, 0, 2}));
    EXPECT_EQ(QVector<int>({graph.findInputGroup(a, "g"), graph.findInputGroup(a, "h"),
                            graph.findOutputGroup(a, "g"), graph.findOutput(a, "out0"),
                            graph.findInput(a, "IN0")}),
              QVector<int>({0, 1, -1, 0, -1}));  // the first of like-named; case matters
}

TEST(GraphPathTest, PathsRoundTripWhateverTheNames) {
    Graph g;
    const int root = Graph::kRootNodeRef;
    const int outer = g.addNode("a/b", 0, 0, root);
    const int inner = g.addNode("c\\d", 0, 0, outer);
    const int twin = g.addNode("a/b", 0, 0, root);
    EXPECT_EQ(g.nodePath(inner), "a\\/b/c\\\\d");  // the fuzzer finds every node by its path
    EXPECT_EQ(g.findNodeByPath("a\\/b"), outer) << "the first of equal names";
    const int cousin = g.addNode("x", 0, 0, twin);
    EXPECT_EQ(g.findNodeByPath("a\\/b/x"), cousin) << "found below the second 'a/b'";
    EXPECT_EQ(g.findNodeByPath(""), root);
    EXPECT_EQ(g.nodePath(root), "");
    for (const char* bad : {"a/b", "a\\/b/", "nothing", "a\\/b/c\\\\d\\"})
        EXPECT_EQ(g.findNodeByPath(bad), -1) << bad;
    g.removeNode(inner);
    EXPECT_EQ(g.nodePath(inner), "");
}
