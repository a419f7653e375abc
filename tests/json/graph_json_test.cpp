#include <Orv/Graph.h>
#include <Orv/Json.h>

#include "graph_fixtures.h"
#include "json/graphjson_p.h"
#include "json_reference.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>

#include <climits>
#include <functional>

using namespace Vantrel::Orv;

// Qt 5.15's JSON parser leaks on a duplicated key, which documents below hold (see
// .ci/lsan.supp). The suppression names QJsonDocument::fromJson, which only a full allocation
// stack shows: Qt has no frame pointers.
extern "C" const char* __asan_default_options() {
    return "fast_unwind_on_malloc=0";
}

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
    QString(QChar(0xdc00)) + "unpaired" + QChar(0xd800),
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

// The text is written straight from the graph; it must be what the object tree of graphToJson
// gives through the formatter, and what Qt's parser reads back as that tree.
TEST(GraphJsonTest, SavedTextIsTheFormattedObjectForAwkwardNamesAndValues) {
    std::vector<std::pair<const char*, Graph>> graphs;
    graphs.emplace_back("empty", Graph());
    graphs.emplace_back("wired sample", WiredGraph().graph);
    graphs.emplace_back("awkward", awkwardGraph());
    for (const auto& named : graphs) {
        SCOPED_TRACE(named.first);
        const QByteArray text = saveGraph(named.second);
        const QJsonObject object = graphToJson(named.second);
        EXPECT_TRUE(text == detail::formatJson(object));
        EXPECT_TRUE(QJsonDocument::fromJson(text).object() == object);
        expectRoundTrip(named.second);
    }
    // A name longer than the line stays a string on its own line; half a surrogate pair, which
    // UTF-8 cannot carry, is escaped.
    const QByteArray text = saveGraph(awkwardGraph());
    EXPECT_TRUE(text.contains(R"("\udc00unpaired\ud800")"));
    EXPECT_TRUE(text.contains("\"name\": \"" + QByteArray(130, 'w') + "\",\n"));
}

// The text a graph saves to is read straight from the bytes, not through Qt's parser, as long as
// its names need no escapes.
TEST(GraphJsonTest, SavedTextIsReadWithoutQtsParser) {
    SampleGraph s;
    s.graph.addNode(QString::fromUtf8("\xc3\xa9t\xc3\xa9 \xf0\x9f\x98\x80"), 1, 1, s.p);
    s.graph.addEdge(s.a, 0, s.b, 1);
    s.graph.addDownEdge(0, s.x, 1);
    detail::GraphDesc desc;
    EXPECT_TRUE(detail::readGraphText(saveGraph(s.graph), &desc));
    EXPECT_EQ(desc.nodes.size(), 8);
    EXPECT_EQ(desc.edges.size(), 2);
    EXPECT_FALSE(detail::readGraphText(saveGraph(awkwardGraph()), &desc));  // escapes
}

// Whatever the bytes, loadGraph gives what reading through Qt's parser gives: the same result,
// the same message and the same graph. Each document below is one the direct reader must hand
// on, or one it reads itself in a form that a saved text never takes.
TEST(GraphJsonTest, LoadingAgreesWithQtsParserOnEveryDocument) {
    const QByteArray saved = saveGraph(WiredGraph().graph);
    QByteArray compact = QJsonDocument::fromJson(saved).toJson(QJsonDocument::Compact);
    const QByteArray head = R"({"format": "orv-graph", "version": 1, "root": )";
    auto node = [&](const QByteArray& members) {
        return head + "{\"children\": [" + members + "]}}";
    };
    QByteArray deep = "{}";
    for (int i = 0; i < 300; ++i) deep = "{\"children\": [" + deep + "]}";
    QByteArray deeper = "{}";
    for (int i = 0; i < 700; ++i) deeper = "{\"children\": [" + deeper + "]}";
    Graph outOfOrder;  // saved with ids
    const int late = outOfOrder.addNode("late", 1, 1, kRoot);
    outOfOrder.addNode("inner", 0, 0, outOfOrder.addNode("first", 0, 0, kRoot));
    outOfOrder.removeNode(outOfOrder.addNode("gone", 0, 0, late));
    outOfOrder.addNode("after", 0, 0, late);
    const std::vector<QByteArray> documents = {
        saved,
        compact,
        QByteArray(saved).replace("\n", "\r\n\t"),
        saveGraph(awkwardGraph()),
        saveGraph(outOfOrder),
        QByteArray(saveGraph(outOfOrder)).replace("\"id\": 3", "\"id\": 2"),
        "\xef\xbb\xbf" + saved,
        saved + "x",
        saved + "  \n ",
        saved + QByteArray(1, '\0'),
        QByteArray(saved).replace("\"A\"", "\"\\u0041\""),
        QByteArray(saved).replace("\"name\": \"A\"", "\"n\\u0061me\": \"A\""),
        QByteArray(saved).replace("\"A\"", "\"\\ud83d\\ude00\""),
        QByteArray(saved).replace("\"A\"", "\"\\ud800\""),
        QByteArray(saved).replace("\"A\"", "\"\xc0\x80\""),
        QByteArray(saved).replace("\"A\"", "\"\xed\xa0\x80\""),
        QByteArray(saved).replace("\"A\"", "\"\xef\xbf\xbf\""),
        QByteArray(saved).replace("\"A\"", "\"\xf4\x90\x80\x80\""),
        QByteArray(saved).replace("\"A\"", "\"\xe2\x82\""),
        QByteArray(saved).replace("\"A\"", "\"a\tb\""),
        QByteArray(saved).replace("\"version\": 1", "\"version\": 1.0"),
        QByteArray(saved).replace("\"version\": 1", "\"version\": 1e0"),
        QByteArray(saved).replace("\"version\": 1", "\"version\": 01"),
        QByteArray(saved).replace("\"version\": 1", "\"version\": \"1\""),
        QByteArray(saved).replace("\"version\": 1", "\"version\": 1, \"version\": 1"),
        QByteArray(saved).replace("\"version\": 1,", ""),
        QByteArray(saved).replace("\"edges\"", "\"extra\": 0, \"edges\""),
        QByteArray(saved).replace("\"edges\": [", "\"edges\": [{\"from\": [\"A\", 0]}, "),
        head + "{}}",
        head + "{}, \"edges\": null}",
        node(R"({"value": -0}, {"value": 2147483647}, {"value": 2147483648})"),
        node(R"({"value": 1234567890}, {"value": 123456789})"),
        node(R"({"value": -2147483648}, {"value": -2147483649}, {"value": -})"),
        node(R"({"children": [], "name": "n", "inputs": [{"group": 3, "name": "i"}, "j"]})"),
        node(R"({"inputs": [{"name": "i", "name": "j"}]}, {"outputs": [{}], "outputs": []})"),
        node(R"({"inputGroups": ["a", 1]}, {"id": 1})"),
        node(R"({"id": 1}, {"id": 2, "children": [{"id": 3}]})"),
        head + deep + "}",
        head + deeper + "}",
        "{}",
        "",
        "[]",
    };
    for (const QByteArray& text : documents) {
        SCOPED_TRACE(text.left(200).constData());
        Graph fast;
        Graph reference;
        for (Graph* graph : {&fast, &reference}) addNamedNode(*graph, "kept", kRoot);
        QString fastError;
        QString referenceError;
        const bool loaded = loadGraph(text, &fast, &fastError);
        EXPECT_EQ(loaded, loadGraphThroughQt(text, &reference, &referenceError));
        EXPECT_EQ(fastError, referenceError);
        EXPECT_EQ(graphSnapshot(fast), graphSnapshot(reference));
    }
}
