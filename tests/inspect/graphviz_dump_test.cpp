// The Graphviz dump of a graph's top level, line by line on the debug channel.
#include <Orv/Graph.h>

#include "graph_fixtures.h"
#include "message_capture.h"

#include <gtest/gtest.h>

using namespace Vantrel::Orv;

namespace {

QStringList dump(const Graph* graph) {
    MessageCapture capture;
    dumpAsGraphviz(graph);
    EXPECT_EQ(capture.count(), capture.debug().size());  // debug channel only
    return capture.debug();
}

QStringList document(const QStringList& nodes, const QStringList& edges) {
    return QStringList{"digraph \"Orv\" {", "  rankdir=LR;", " ", "  // Nodes"} + nodes +
           QStringList{" ", "  // Edges"} + edges + QStringList{"}"};
}

}  // namespace

TEST_F(SampleGraphTest, OneEdgeLinePerNodePairAtItsFirstEdge) {
    const Graph empty;
    EXPECT_EQ(dump(&empty), document({}, {}));
    EXPECT_TRUE(dump(nullptr).isEmpty());
    ASSERT_NE(graph.addEdge(a, 1, b, 0), -1);
    ASSERT_NE(graph.addEdge(a, 0, c, 0), -1);
    ASSERT_NE(graph.addEdge(a, 1, c, 1), -1);
    ASSERT_NE(graph.addEdge(b, 0, p, 0), -1);
    ASSERT_NE(graph.addEdge(c, 0, p, 1), -1);
    // Nested nodes and their edges are not shown; an up edge into the root leads to "".
    ASSERT_NE(graph.addEdge(x, 0, y, 0), -1);
    graph.addOutput(Graph::kRootNodeRef, "image", Graph::kInvalidGroupRef);
    ASSERT_NE(graph.addUpEdge(0, p, 1), -1);
    // Names are written as they are; same-named nodes give identical lines.
    graph.addNode("A", 0, 0, Graph::kRootNodeRef);
    graph.addNode("q \"%s\"", 0, 0, Graph::kRootNodeRef);
    EXPECT_EQ(dump(&graph), document({"  \"A\";", "  \"B\";", "  \"C\";", "  \"P\";", "  \"A\";",
                                      "  \"q \"%s\"\";"},
                                     {"  \"A\" -> \"C\";", "  \"A\" -> \"B\";", "  \"B\" -> \"P\";",
                                      "  \"C\" -> \"P\";", "  \"P\" -> \"\";"}));

    graph.removeNode(b);
    graph.removeNode(p);
    EXPECT_EQ(dump(&graph), document({"  \"A\";", "  \"C\";", "  \"A\";", "  \"q \"%s\"\";"},
                                     {"  \"A\" -> \"C\";"}));
}
