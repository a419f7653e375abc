// Node paths: names joined by '/', with '/' and '\\' escaped, found again whatever the names.
#include <Orv/Graph.h>

#include <gtest/gtest.h>

using Vantrel::Orv::Graph;

namespace {
const int kRoot = Graph::kRootNodeRef;
}  // namespace

TEST(GraphPathTest, PathsRoundTripWhateverTheNames) {
    Graph g;
    const int outer = g.addNode("a/b", 0, 0, kRoot);
    const int inner = g.addNode("c\\d", 0, 0, outer);
    const int twin = g.addNode("a/b", 0, 0, kRoot);
    EXPECT_EQ(g.nodePath(inner), "a\\/b/c\\\\d");  // the fuzzer finds every node by its path
    EXPECT_EQ(g.findNodeByPath("a\\/b"), outer) << "the first of equal names";
    const int cousin = g.addNode("x", 0, 0, twin);
    EXPECT_EQ(g.findNodeByPath("a\\/b/x"), cousin) << "found below the second 'a/b'";
    EXPECT_EQ(g.findNodeByPath(""), kRoot);
    EXPECT_EQ(g.nodePath(kRoot), "");
    for (const char* bad : {"a/b", "a\\/b/", "nothing", "a\\/b/c\\\\d\\"})
        EXPECT_EQ(g.findNodeByPath(bad), -1) << bad;
    g.removeNode(inner);
    EXPECT_EQ(g.nodePath(inner), "");
}
