#include <Orv/Graph.h>
#include <Orv/Json.h>

#include "graph_fixtures.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>

#include <climits>
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

// Names that JSON text must escape or encode, and one that does not fit on a line.
const QStringList kAwkwardNames = {
    "",
    "plain",
    "\"quoted\" and \\back\\slashed",
    QString::fromUtf8("tab\tnewline\ncarriage\rformfeed\fbell\x07unit\x1f del\x7f"),
    QString(QChar(0)) + "nul",
    QString::fromUtf8("\xc3\xa9t\xc3\xa9 \xe2\x82\xac \xe2\x80\xa8 \xef\xbf\xbf"),
    QString::fromUtf8("astral \xf0\x9f\x98\x80 \xf0\x9d\x84\x9e"),
    "slash/and~tilde",
    QString(130, QLatin1Char('w')),
};

// A nested graph named with every awkward name (twice, so that paths need indexes too), with
// values at the ends of int's range, port groups, edges of all kinds and removed records.
Graph awkwardGraph() {
    Graph g;
    g.setNodeName(kRoot, kAwkwardNames.at(2));
    g.setNodeValue(kRoot, INT_MIN);
    g.addInput(kRoot, kAwkwardNames.at(3), -1);
    g.addOutput(kRoot, kAwkwardNames.at(5), 2147483);
    int parent = kRoot;
    for (int depth = 0; depth < 12; ++depth) {
        const int group = g.addNode(kAwkwardNames.at(depth % kAwkwardNames.size()), 1, 1, parent);
        g.setNodeValue(group, depth % 2 ? INT_MAX : -depth - 2);
        g.setInputName(group, 0, kAwkwardNames.at((depth + 3) % kAwkwardNames.size()));
        g.addInputGroup(group, kAwkwardNames.at((depth + 5) % kAwkwardNames.size()));
        g.addOutputGroup(group, kAwkwardNames.at((depth + 6) % kAwkwardNames.size()));
        g.addInput(group, kAwkwardNames.at(depth % kAwkwardNames.size()), 0);
        for (const QString& name : kAwkwardNames) {
            const int child = addNamedNode(g, name, group, 1, 1);
            g.addEdge(child, 0, addNamedNode(g, name, group, 1, 1), 0);
            g.addDownEdge(0, child, 0);
        }
        g.addUpEdge(0, g.getNode(g.numNodes(group) - 1, group), 0);
        g.removeNode(g.getNode(1, group));
        parent = group;
    }
    return g;
}

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
             g.addNode(QString::fromUtf8("\"q\" \\ \t\n\x01 \xc3\xa9 \xf0\x9f\x98\x80 /~"), 0, 0,
                       kRoot);
             g.addInput(a2, "in0", -1);
             g.addEdge(a1, 1, a2, 2);
             g.addEdge(a2, 0, blank, 1);
             g.addEdge(a1, 0, blank, 0);
         }},
        {"long port lists, found by table, with a name shared in each",
         [](Graph& g) {
             const int wide = g.addNode("wide", 0, 0, kRoot);
             const int feed = g.addNode("feed", 0, 0, kRoot);
             for (int p = 0; p < 40; ++p) {
                 g.addInput(wide, QStringLiteral("in%1").arg(p % 39), -1);
                 g.addOutput(feed, QStringLiteral("out%1").arg(p % 39), -1);
                 g.addEdge(feed, p, wide, p);
             }
         }},
        {"awkward names and values", [](Graph& g) { g = awkwardGraph(); }},
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
        // Malformed text, by line and column in characters.
        {"{\"format\": ", ": malformed JSON at line 1, column 12: invalid value"},
        {"", ": malformed JSON at line 1, column 1: the document is empty"},
        {"{\n  \"format\": \"orv-graph\",\n  \"version\" 1\n}",
         ": malformed JSON at line 3, column 13: missing a colon after a name of object member"},
        {"{\"name\": \"\xc3\xa9\xc3\xa9\" x}", ": malformed JSON at line 1, column 15:"},
        {"{\"a\": \"\xc3\x28\"}", ": malformed JSON at line 1, column 8: invalid encoding"},
        {"{\"a\": \"\\ud800\"}", ": malformed JSON at line 1, column 8: the surrogate pair"},
        {"{\"a\": 1}\n{}", ": malformed JSON at line 2, column 1: the document root must not"},
        {QByteArray("{}\0{}", 5), ": malformed JSON at line 1, column 3: a NUL character"},
        {"{\"a\": [1,\n 1e309]}", ": malformed JSON at line 2, column 2: number too big"},
        {"{\"a\": -1e-400}", ": malformed JSON at line 1, column 7: a number beyond the range"},
        {"[1, 2]", ": expected an object"},
        {R"({"version": 1})", ": missing member 'format'"},
        {R"({"format": "orv-renderer", "version": 1, "graph": {}})",
         "/format: this is a renderer document ('orv-renderer'), not a graph document"},
        {R"({"format": "orv-grahp", "version": 1})",
         "/format: unknown format 'orv-grahp'; expected 'orv-graph'"},
        {R"({"format": "orv-graph", "version": 2})", "/version: unsupported version 2"},
        {R"({"format": "orv-graph", "version": 1.5})", "/version: expected a whole number"},
        {R"({"format": "orv-graph", "version": 1.0})", "/version: expected a whole number"},
        {R"({"format": "orv-graph", "version": 1, "version": 1})",
         "/version: repeated member 'version'"},
        {head + R"("root": {"children": [{"name": "a", "inputs": ["i"], "inputs": []}]}})",
         "/root/children/0/inputs: repeated member 'inputs'"},
        {head + R"("root": {}, "edges": [{"from": ["a", "o"]}]})", "/edges/0: missing member 'to'"},
        {head + R"("edges": []})", ": missing member 'root'"},
        {head + R"("root": {"value": 2147483648}})",
         "/root/value: expected a whole number within the range of int"},
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
        {head + R"("root": {"children": [{"name": "a", "outputs": ["o"]}, {"name": "w", "inputs":
            ["0", "1", "2", "3", "4", "5", "6", "7", "8", "x", "x"]}]},
            "edges": [{"from": ["a", "o"], "to": ["w", "x"]}]})",
         "/edges/0/to/1: node 'w' has several inputs named 'x'; use its index"},
        {head + R"("root": {"children": [{"name": "a", "outputs": ["o"]}, {"name": "w", "inputs":
            ["0", "1", "2", "3", "4", "5", "6", "7", "8", "x", "x"]}]},
            "edges": [{"from": ["a", "o"], "to": ["w", "y"]}]})",
         "/edges/0/to/1: node 'w' has no input named 'y'"},
        {withEdges(R"({"from": ["a", 4], "to": ["b", 0]})"),
         "/edges/0/from/1: node 'a' has no output 4"},
        {withEdges(R"({"from": ["a", "o"], "to": []})"), "/edges/0/to: expected a node path"},
        {withEdges(R"({"from": ["a", "o"], "to": ["b", 0.0]})"),
         "/edges/0/to/1: expected a whole number"},
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

// Errors quote names as they are: a name is never a format string, nor escaped as it is in JSON.
TEST(GraphJsonTest, ErrorsQuoteNamesVerbatim) {
    const QStringList names = {"%1",   "%2",         "%L1",         "50%",
                               "%1%2", "say \"hi\"", "back\\slash", "two\nlines"};
    for (const QString& name : names) {
        SCOPED_TRACE(qPrintable(name));
        const QByteArray array = QJsonDocument(QJsonArray{name}).toJson(QJsonDocument::Compact);
        const QByteArray n = array.mid(1, array.size() - 2);  // the name as a JSON string
        const QByteArray head = R"({"format": "orv-graph", "version": 1, "root": {"children": [)";
        const QByteArray ab =
            R"({"name": "a", "outputs": ["o"]}, {"name": "b", "inputs": [)" + n + "]}]}, ";
        const std::vector<std::pair<QByteArray, QString>> cases = {
            {R"({"format": )" + n + R"(, "version": 1})",
             "/format: unknown format '" + name + "'; expected 'orv-graph'"},
            {R"({"format": "orv-graph", "version": 1, "root": {)" + n + ": 1}}",
             "/root/" + name + ": unknown member '" + name + "'"},
            {head + ab + R"("edges": [{"from": ["a", )" + n + R"(], "to": ["b", 0]}]})",
             "/edges/0/from/1: node 'a' has no output named '" + name + "'"},
            {head + ab + R"("edges": [{"from": ["a", "o"], "to": ["b", )" + n +
                 R"(]}, {"from": ["a", "o"], "to": ["b", )" + n + "]}]}",
             "/edges/1: input '" + name + "' of node 'b' already has a source"},
            {head + R"({"name": )" + n + R"(}, {"name": )" + n + R"(}]}, "edges": [{"from": [)" +
                 n + R"(, 0], "to": [0, 0]}]})",
             "/edges/0/from/0: the root has several children named '" + name +
                 "'; use a child index"},
        };
        for (const auto& c : cases) {
            Graph graph;
            QString error;
            EXPECT_FALSE(loadGraph(c.first, &graph, &error)) << c.first.constData();
            EXPECT_EQ(error.toStdString(), c.second.toStdString()) << c.first.constData();
        }
    }
}

// One limit on nesting for both directions: a graph that saves loads, and one nested too deep
// to load is refused when saved, naming its deepest node.
TEST(GraphJsonTest, WhatSavesLoadsAtEveryDepthAroundTheLimit) {
    Graph graph;
    Graph loaded;
    QByteArray text;
    QString error;
    int node = kRoot;
    int deepest = 0;  // the deepest chain that saved
    for (int depth = 1; depth <= kJsonMaxDepth / 2 + 2; ++depth) {
        node = graph.addNode(QStringLiteral("n%1").arg(depth), 1, 1, node);
        if (depth < kJsonMaxDepth / 2 - 8) continue;
        if (saveGraph(graph, &text, &error)) {
            deepest = depth;
            EXPECT_TRUE(loadGraph(text, &loaded, &error)) << depth << qPrintable(error);
            EXPECT_EQ(graphSnapshot(loaded), graphSnapshot(graph));
            continue;
        }
        EXPECT_TRUE(error.startsWith("node 'n1/n2/n3/") && error.contains("nests too deep"))
            << qPrintable(error);
        EXPECT_TRUE(saveGraph(graph).isEmpty() && graphToJson(graph).isEmpty());
        // Written by hand, a graph as deep is refused on loading.
        QByteArray deep = "{\"inputs\": [\"i\"]}";
        for (int i = 0; i < depth; ++i)
            deep = "{\"inputs\": [\"i\"], \"children\": [" + deep + "]}";
        EXPECT_FALSE(loadGraph(R"({"format": "orv-graph", "version": 1, "root": )" + deep + "}",
                               &loaded, &error));
        EXPECT_TRUE(error.contains("nest deeper than 512 levels")) << qPrintable(error);
    }
    // Each level of nodes takes two, and the deepest node's ports one more.
    EXPECT_EQ(deepest, kJsonMaxDepth / 2 - 2);
    // Far deeper text is refused the same way, without a deep stack.
    const QByteArray brackets(100000, '[');
    EXPECT_FALSE(loadGraph(brackets, &loaded, &error));
    EXPECT_TRUE(error.startsWith(": malformed JSON at line 1, column 513: arrays and objects"))
        << qPrintable(error);
}

// The QJsonObject functions are adapters over the text: they agree with it, and a name with half
// a surrogate pair comes back with U+FFFD in its place, as from the text.
TEST(GraphJsonTest, ObjectAdaptersAgreeWithTheText) {
    Graph graph = WiredGraph().graph;
    graph.addNode(QString(QChar(0xdc00)) + "half" + QChar(0xd800), 0, 0, kRoot);
    const QByteArray text = saveGraph(graph);
    EXPECT_TRUE(text.contains("\"\xef\xbf\xbdhalf\xef\xbf\xbd\"")) << text.constData();
    const QJsonObject json = graphToJson(graph);
    EXPECT_EQ(json, QJsonDocument::fromJson(text).object());
    Graph fromText;
    Graph fromObject;
    QString error;
    ASSERT_TRUE(loadGraph(text, &fromText, &error) && graphFromJson(json, &fromObject, &error));
    EXPECT_EQ(graphSnapshot(fromObject), graphSnapshot(fromText));
    EXPECT_EQ(saveGraph(fromText), text);
    QJsonObject bad = json;
    bad["version"] = 2;
    EXPECT_FALSE(graphFromJson(bad, &fromObject, &error));
    EXPECT_EQ(error, "/version: unsupported version 2; this library reads version 1");
}
