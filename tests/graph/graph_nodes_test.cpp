// Nodes, ports and groups: lookup by name and names.
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
