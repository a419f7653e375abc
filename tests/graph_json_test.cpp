#include <Orv/Graph.h>
#include <Orv/Json.h>

#include "graph_fixtures.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>

#include <functional>

using namespace Vantrel::Orv;

namespace {

const int kRoot = Graph::kRootNodeRef;

// Saves, loads and saves again; the loaded graph must match the original after purge in every
// query, and the second text the first.
void expectRoundTrip(const Graph& original) {
    Graph purged(original);
    purged.purge();
    const QByteArray text = saveGraph(original);
    Graph loaded;
    QString error;
    ASSERT_TRUE(loadGraph(text, &loaded, &error)) << qPrintable(error) << text.constData();
    EXPECT_TRUE(checkGraphInvariants(loaded));
    EXPECT_EQ(graphSnapshot(loaded), graphSnapshot(purged)) << text.constData();
    EXPECT_EQ(saveGraph(loaded), text);
}

// The sample graph wired with every kind of edge:
//
//   root in0 ==down==> A.in0;  A.out0 --> B.in0, P.in0;  P.in0 ==down==> X.in0, Y.in1
//   X.out0 --> Y.in0;  Y.out0 ==up==> P.out0;  P.out0 --> C.in1;  C.out1 ==up==> root out0
struct WiredGraph : SampleGraph {
    WiredGraph() {
        graph.addInput(root, "exposure", -1);
        graph.addOutput(root, "image", -1);
        graph.addDownEdge(0, a, 0);
        graph.addEdge(a, 0, b, 0);
        graph.addEdge(a, 0, p, 0);
        graph.addDownEdge(0, x, 0);
        graph.addDownEdge(0, y, 1);
        graph.addEdge(x, 0, y, 0);
        graph.addUpEdge(0, y, 0);
        graph.addEdge(p, 0, c, 1);
        graph.addUpEdge(0, c, 1);
    }
};

}  // namespace

TEST(GraphJsonTest, RoundTripsAreExact) {
    const std::vector<std::pair<const char*, std::function<void(Graph&)>>> cases = {
        {"empty", [](Graph&) {}},
        {"wired sample", [](Graph& g) { g = WiredGraph().graph; }},
        {"nested groups, values, port groups and a named root",
         [](Graph& g) {
             g.setNodeName(kRoot, "top");
             g.setNodeValue(kRoot, 9);
             const int outer = g.addNode("lighting", 1, 1, kRoot);
             const int inner = g.addNode("direct", 0, 0, outer);
             const int leaf = addNamedNode(g, "sun", inner);
             g.setNodeValue(leaf, 3);
             g.addInputGroup(inner, "colors");
             g.addOutputGroup(inner, "out");
             g.addInput(inner, "c", 0);
             g.addInput(inner, "d", 7);  // group refs are kept as given, even without a group
             g.addOutput(inner, "e", 0);
             g.addDownEdge(0, inner, 0);
             g.addDownEdge(0, leaf, 1);
             g.addUpEdge(0, leaf, 1);
         }},
        {"duplicate names: siblings, ports and empty names",
         [](Graph& g) {
             const int a1 = addNamedNode(g, "A", kRoot);
             const int a2 = addNamedNode(g, "A", kRoot);
             const int blank = g.addNode("", 2, 2, kRoot);
             g.addNode(QString::fromUtf8("\"q\" \\ \t\n\x01 \xc3\xa9 \xf0\x9f\x98\x80 /~"), 0, 0, kRoot);
             g.addInput(a2, "in0", -1);
             g.addEdge(a1, 1, a2, 2);
             g.addEdge(a2, 0, blank, 1);
             g.addEdge(a1, 0, blank, 0);
         }},
        {"removed records and nodes created out of tree order",
         [](Graph& g) {
             const int group = g.addNode("G", 1, 1, kRoot);
             const int late = addNamedNode(g, "late", kRoot);  // ref below G's child
             const int child = addNamedNode(g, "child", group);
             const int gone = addNamedNode(g, "gone", kRoot);
             g.addEdge(late, 0, gone, 0);
             g.addEdge(late, 0, group, 0);
             g.addDownEdge(0, child, 0);
             g.addUpEdge(0, child, 0);
             g.removeEdge(g.addEdge(late, 1, gone, 1));
             g.removeNode(gone);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        Graph graph;
        c.second(graph);
        expectRoundTrip(graph);
    }
}

TEST(GraphJsonTest, TextNestsNodesAndNamesEdgeEndsWithIndexesOnlyWhereNamesRepeat) {
    SampleGraph s;
    const int twin = addNamedNode(s.graph, "X", s.p);
    s.graph.addEdge(s.x, 0, twin, 1);
    s.graph.addEdge(s.a, 1, s.b, 0);
    const QJsonObject json = graphToJson(s.graph);
    EXPECT_EQ(json.value("format").toString(), "orv-graph");
    EXPECT_EQ(json.value("version").toInt(), 1);
    const QJsonObject p = json["root"]["children"][3].toObject();
    EXPECT_EQ(p["name"].toString(), "P");
    EXPECT_EQ(p["children"][1]["name"].toString(), "Y");
    EXPECT_EQ(p["children"][0]["inputs"].toArray(), QJsonArray({"in0", "in1"}));
    EXPECT_FALSE(p["children"][0].toObject().contains("id"));  // created in tree order
    const QJsonArray edges = json["edges"].toArray();
    ASSERT_EQ(edges.size(), 2);
    EXPECT_EQ(edges[0]["from"].toArray(), QJsonArray({"P", 0, "out0"}));
    EXPECT_EQ(edges[0]["to"].toArray(), QJsonArray({"P", 2, "in1"}));
    EXPECT_EQ(edges[1]["from"].toArray(), QJsonArray({"A", "out1"}));
}

TEST(GraphJsonTest, HandWrittenDocumentsMayOmitIdsAndDefaults) {
    const QByteArray text = R"({"format": "orv-graph", "version": 1,
        "root": {"inputs": ["t"], "children": [
            {"name": "a", "outputs": ["o"]},
            {"name": "b", "inputs": ["i", {"name": "j", "group": 0}], "inputGroups": ["g"]}]},
        "edges": [{"from": ["a", "o"], "to": ["b", "i"]}, {"from": ["t"], "to": ["b", 1]}]})";
    Graph graph;
    QString error;
    ASSERT_TRUE(loadGraph(text, &graph, &error)) << qPrintable(error);
    EXPECT_EQ(graph.nodeValue(1), -1);
    EXPECT_EQ(graph.inputGroup(2, 1), 0);
    EXPECT_EQ(graph.inputGroupName(2, 0), "g");
    EXPECT_TRUE(graph.isRegularEdge(0));
    EXPECT_TRUE(graph.isDownEdge(1));
    EXPECT_EQ(graph.edgeDestIndex(1), 1);
}

// Every class of bad input names its place and problem, and leaves the target as it was.
TEST(GraphJsonTest, BadInputIsRefusedWithItsPlaceAndTheGraphUnchanged) {
    const QByteArray head = R"({"format": "orv-graph", "version": 1, )";
    const QByteArray nodes = R"("root": {"inputs": ["t"], "children": [
        {"name": "a", "inputs": ["i"], "outputs": ["o"]},
        {"name": "b", "inputs": ["i", "i"], "outputs": ["o"], "children": [
            {"name": "c", "inputs": ["i"], "outputs": ["o"]}, {"name": "e", "inputs": ["i"]}]},
        {"name": "d", "inputs": ["i"], "outputs": ["o"]}, {"name": "d"}]})";
    auto withEdges = [&](const char* edges) {
        return head + nodes + ", \"edges\": [" + edges + "]}";
    };
    const std::vector<std::pair<QByteArray, QString>> cases = {
        {"{\"format\": ", "malformed JSON at offset"},
        {"[1, 2]", "/: expected an object"},
        {R"({"format": "orv-renderer", "version": 1})", "/format: unknown format 'orv-renderer'"},
        {R"({"format": "orv-graph", "version": 2})", "/version: unsupported version 2"},
        {R"({"format": "orv-graph", "version": 1.5})", "/version: expected a whole number"},
        {head + R"("root": {"name": 3}})", "/root/name: expected a string"},
        {head + R"("root": {"children": [{"name": "a", "inputs": [true]}]}})",
         "/root/children/0/inputs/0: expected a port name or object"},
        {head + R"("root": {"chidren": []}})", "/root/chidren: unknown member 'chidren'"},
        {head + R"("root": {"children": [{"id": 1}, {}]}})",
         "/root/children/1: this node has no id"},
        {head + R"("root": {"children": [{"id": 2}, {"id": 3}]}})",
         "/root/children/1/id: id 3 is outside 1..2"},
        {head + R"("root": {"children": [{"id": 2, "children": [{"id": 1}]}]}})",
         "/root/children/0/children/0/id: id 1 is below its parent's id 2"},
        {withEdges(R"({"from": ["a", "o"], "to": ["x", "i"]})"),
         "/edges/0/to/0: the root has no child named 'x'"},
        {withEdges(R"({"from": ["a", "o"], "to": ["d", "i"]})"),
         "/edges/0/to/0: the root has several children named 'd'; use a child index"},
        {withEdges(R"({"from": ["a", "o"], "to": [7, "i"]})"),
         "/edges/0/to/0: the root has no child 7"},
        {withEdges(R"({"from": ["a", "o"], "to": ["b", "i"]})"),
         "/edges/0/to/1: node 'b' has several inputs named 'i'; use its index"},
        {withEdges(R"({"from": ["a", 4], "to": ["b", 0]})"),
         "/edges/0/from/1: node 'a' has no output 4"},
        {withEdges(R"({"from": ["a", "o"], "to": []})"), "/edges/0/to: expected a node path"},
        {withEdges(R"({"from": ["a", "o"], "to": ["b", "c", "i"]})"),
         "/edges/0: node 'a' and node 'b/c' are neither siblings nor parent and child"},
        {withEdges(R"({"from": ["a", "o"], "to": ["b", 1]}, {"from": [2, "o"], "to": ["b", 1]})"),
         "/edges/1: input 'i' of node 'b' already has a source"},
        {withEdges(
             R"({"from": ["a", "o"], "to": ["b", 0]}, {"from": ["b", "o"], "to": ["a", "i"]})"),
         "/edges/1: the edge from node 'b' to node 'a' would close a cycle"},
        {withEdges(R"({"from": ["b", "c", "o"], "to": ["b", "o"]},
                      {"from": ["b", "c", "o"], "to": ["b", "e", "i"]})"),
         "/edges/1: output 'o' of node 'b/c' already feeds its parent's output"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first.constData());
        WiredGraph target;
        const QStringList before = graphSnapshot(target.graph);
        const quint64 revision = target.graph.revision();
        QString error;
        EXPECT_FALSE(loadGraph(c.first, &target.graph, &error));
        EXPECT_TRUE(error.startsWith(c.second)) << qPrintable(error);
        EXPECT_EQ(graphSnapshot(target.graph), before);
        EXPECT_EQ(target.graph.revision(), revision);
    }
    QString error;
    EXPECT_FALSE(loadGraph(saveGraph(Graph()), nullptr, &error));
}
