#include <Orv/Graph.h>
#include <Orv/Json.h>
#include <Orv/Renderer.h>

#include "graph_invariants.h"
#include "recording_pass.h"

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QPoint>

#include <cmath>
#include <limits>

using namespace Vantrel::Orv;

namespace {

const int kRoot = Graph::kRootNodeRef;

// Passes of two types, "gen" (no input) and "mix" (two inputs); each keeps its type as its name
// so that the type callback can read it back.
class TypedPass : public RecordingPass {
public:
    TypedPass(const QString& type, QStringList* log)
        : RecordingPass(type, log, type == "mix" ? 2 : 0, 1), type(type) {
        ++alive;
    }
    ~TypedPass() override { --alive; }
    const QString type;
    static int alive;
};
int TypedPass::alive = 0;

QString typeOf(const RenderPass& pass) {
    return static_cast<const TypedPass&>(pass).type;
}

struct Factory {
    QStringList log;
    int made = 0;
    PassFactory function() {
        return [this](const QString& type) -> RenderPass* {
            if (type != "gen" && type != "mix") return nullptr;
            ++made;
            return new TypedPass(type, &log);
        };
    }
};

// root(gain, tint | image) with a group "fx" holding two passes:
//
//   a:gen --> fx[ m1:mix --> m2:mix ] --> root "image";  b:gen (disabled) --> fx;  target m1
struct SampleRenderer {
    Factory factory;
    Renderer renderer;
    int a, b, fx, m1, m2;
    SampleRenderer() {
        Graph* g = renderer.getGraph();
        renderer.addParameter("gain", 2);
        renderer.addParameter("tint", QVariantList{1.5, QString("warm"), QVariantMap{{"k", true}}});
        renderer.addOutput("image");
        a = renderer.addPass("a", factory.function()("gen"), kRoot);
        b = renderer.addPass("b", factory.function()("gen"), kRoot);
        fx = renderer.addGroup("fx", 0, 0, kRoot);
        g->addInputGroup(fx, "sources");
        g->addInput(fx, "first", 0);
        g->addInput(fx, "second", 0);
        g->addOutput(fx, "result", -1);
        m1 = renderer.addPass("m1", factory.function()("mix"), fx);
        m2 = renderer.addPass("m2", factory.function()("mix"), fx);
        g->addEdgeByName(a, "out0", fx, "first");
        g->addEdgeByName(b, "out0", fx, "second");
        g->addDownEdgeByName("first", m1, "in0");
        g->addDownEdgeByName("second", m1, "in1");
        g->addEdgeByName(m1, "out0", m2, "in0");
        g->addUpEdgeByName("result", m2, "out0");
        g->addUpEdgeByName("image", fx, "result");
        renderer.setEnabled(b, false);
        renderer.setTarget(m1);
    }
};

QByteArray save(const Renderer& renderer) {
    QByteArray text;
    QString error;
    EXPECT_TRUE(saveRenderer(renderer, typeOf, &text, &error)) << qPrintable(error);
    return text;
}

}  // namespace

TEST(RendererJsonTest, RoundTripKeepsGraphPassesFlagsTargetAndParameterTypes) {
    SampleRenderer sample;
    // As deep as a parameter value may nest: the document, its list of parameters and the
    // parameter take three levels.
    QVariant deep = 1;
    for (int i = 0; i < kJsonMaxDepth - 3; ++i) deep = QVariantList{deep};
    const QVariantList values = {
        QVariant(), QVariant::fromValue(nullptr), true, -7, 4000000000u, qlonglong(1) << 60,
        qulonglong(1) << 63, 0.1f, 1.0, QString("text"),
        QString(150, QLatin1Char('x')),  // longer than a line
        QStringList{"a", "b"}, QVariantMap{{"n", 3}, {"list", QVariantList{qlonglong(-5), 2.5f}}},
        // Doubles whose shortest text a quick conversion reads a step off, and the smallest.
        1.9800000000000002e+82, 4.9406564584124654e-324, deep};
    for (const QVariant& value : values) sample.renderer.addParameter("p", value);
    // Nodes made out of tree order are saved with ids: the loaded renderer has its nodes and its
    // passes in the order they were made, so that it sets them up and schedules them alike.
    //   made late, then fx/inner; listed fx/inner, then late
    sample.renderer.addPass("late", sample.factory.function()("mix"), kRoot);
    sample.renderer.addPass("inner", sample.factory.function()("gen"), sample.fx);
    sample.renderer.getGraph()->addOutput(kRoot, "unused", -1);
    sample.renderer.addOutput("late");
    // A root output added through the graph is refused; without it the save goes through.
    QString error;
    QByteArray text;
    EXPECT_FALSE(saveRenderer(sample.renderer, typeOf, &text, &error));
    EXPECT_TRUE(error.contains("add root ports only with addParameter")) << qPrintable(error);
    sample.renderer.getGraph()->removeOutput(kRoot, 1);
    text = save(sample.renderer);
    ASSERT_TRUE(text.contains("\"id\": 7")) << text.constData();

    Factory factory;
    Renderer loaded;
    ASSERT_TRUE(loadRenderer(text, factory.function(), &loaded, &error)) << qPrintable(error);
    EXPECT_EQ(factory.made, 6);
    EXPECT_EQ(graphSnapshot(*loaded.getGraph()), graphSnapshot(*sample.renderer.getGraph()));
    EXPECT_EQ(save(loaded), text);  // the same target, flags and pass types
    ASSERT_EQ(loaded.numParameters(), sample.renderer.numParameters());
    for (int p = 0; p < loaded.numParameters(); ++p) {
        SCOPED_TRACE(p);
        EXPECT_EQ(loaded.parameterType(p), sample.renderer.parameterType(p));
        EXPECT_EQ(loaded.parameterValue(p), sample.renderer.parameterValue(p));
    }
    EXPECT_EQ(loaded.parameterValue(14).toMap()["list"].toList()[0].userType(),
              QMetaType::LongLong);

    sample.renderer.setup(nullptr);
    loaded.setup(nullptr);
    EXPECT_EQ(factory.log, sample.factory.log);
    EXPECT_EQ(factory.log.last(), "gen.setup") << "inner, made last";

    // The loaded renderer runs: a feeds fx, b is disabled so m1's second input takes its default.
    ASSERT_TRUE(loaded.render(nullptr));
    EXPECT_EQ(loaded.output(0).toString(), "mix(mix(gen(),default),default)");

    // One level deeper, the value is refused when saved, naming where.
    sample.renderer.setParameter(17, QVariantList{deep});
    EXPECT_FALSE(saveRenderer(sample.renderer, typeOf, &text, &error));
    EXPECT_TRUE(error.startsWith("parameter 17 'p': element 0: element 0: ") &&
                error.endsWith("nests deeper than a document may (512 levels)"))
        << qPrintable(error);
}

TEST(RendererJsonTest, SavingRefusesWhatTheDescriptionCannotCarry) {
    const std::vector<std::pair<std::function<void(SampleRenderer&)>, QString>> cases = {
        {[](SampleRenderer& s) { s.renderer.addParameter("where", QPoint(1, 2)); },
         "parameter 2 'where': its type 'QPoint' has no JSON form"},
        {[](SampleRenderer& s) {
             s.renderer.addParameter("nested", QVariantList{1, std::nan("")});
         },
         "parameter 2 'nested': element 1: nan is not a finite number"},
        {[](SampleRenderer& s) { s.renderer.getGraph()->addInput(s.m2, "extra", -1); },
         "the ports of node 'fx/m2' no longer match its pass"},
        {[](SampleRenderer& s) { s.renderer.getGraph()->removeNode(s.m1); },
         "the target 4 is not a live node"},
        {[](SampleRenderer& s) { s.renderer.getGraph()->addInput(kRoot, "stray", -1); },
         "the root has 3 inputs and 1 outputs but the renderer 2 parameters"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(qPrintable(c.second));
        SampleRenderer sample;
        c.first(sample);
        QJsonObject json{{"kept", 1}};
        QString error;
        EXPECT_FALSE(rendererToJson(sample.renderer, typeOf, &json, &error));
        EXPECT_TRUE(error.startsWith(c.second)) << qPrintable(error);
        EXPECT_EQ(json, QJsonObject({{"kept", 1}}));
    }
    SampleRenderer sample;
    QJsonObject json;
    QString error;
    EXPECT_FALSE(rendererToJson(
        sample.renderer, [](const RenderPass&) { return QString(); }, &json, &error));
    EXPECT_EQ(error, "the pass of node 'a' has no type name");
}

// Each node below the root says whether it is a pass or a group, so that dropping a member
// never turns one into the other; every document error names its place, repeated members are
// refused wherever they stand, and a refused document leaves the renderer empty and deletes the
// passes it made.
TEST(RendererJsonTest, BadDocumentsAreRefusedWithTheirPlaceAndLeaveNothingBehind) {
    SampleRenderer sample;
    const QByteArray good = save(sample.renderer);
    const QByteArray passA = R"("name": "a", "kind": "pass", "type": "gen", "enabled": true)";
    const QByteArray passM1 = R"("name": "m1", "kind": "pass", "type": "mix", "enabled": true)";
    const QByteArray gain = R"("name": "gain", "value": 2,)";
    const QString m1At = "/graph/root/children/2/children/0";
    ASSERT_TRUE(good.contains(passA) && good.contains(passM1) && good.contains(gain))
        << good.constData();
    auto with = [&](const QByteArray& before, const QByteArray& after) {
        return QByteArray(good).replace(before, after);
    };
    const std::vector<std::pair<QByteArray, QString>> cases = {
        {with(passA, R"("name": "a", "kind": "pass", "enabled": true)"),
         "/graph/root/children/0: missing member 'type'"},
        {with(passA, R"("name": "a", "kind": "pass")"),
         "/graph/root/children/0: missing member 'type'"},
        {with(passA, R"("name": "a")"), "/graph/root/children/0: missing member 'kind'"},
        {with(passA, R"("name": "a", "kind": "pas", "type": "gen")"),
         "/graph/root/children/0/kind: expected \"pass\" or \"group\""},
        {with(passA, R"("name": "a", "kind": "pass", "type": "gen", "enabled": 1)"),
         "/graph/root/children/0/enabled: expected true or false"},
        {with(passM1, R"("name": "m1", "kind": "pass", "type": "blur")"),
         m1At + "/type: unknown pass type 'blur'"},
        {with(passM1 + R"(, "inputs": ["in0", "in1"])", passM1 + R"(, "inputs": ["in0", "in9"])"),
         m1At + "/inputs: pass type 'mix' has inputs ('in0', 'in1')"},
        {with(passM1, passM1 + R"(, "value": 3)"),
         m1At + "/value: node values belong to the renderer"},
        {with(R"("kind": "group")", R"("kind": "group", "type": "mix")"),
         "/graph/root/children/2/type: a group has no pass type or enabled flag"},
        {with(R"("kind": "group")", R"("kind": "group", "enabled": true)"),
         "/graph/root/children/2/enabled: a group has no pass type or enabled flag"},
        {with(R"("name": "",)", R"("name": "", "kind": "group",)"),
         "/graph/root/kind: the root is neither a pass nor a group"},
        {with(R"("name": "",)", R"("name": "", "inputs": ["x"],)"),
         "/graph/root/inputs: the root's ports are the renderer's parameters and outputs"},
        {with(gain, gain + R"( "value": 2,)"), "/parameters/0/value: repeated member 'value'"},
        {with(R"({"k": true})", R"({"k": true, "k": false})"),
         "/parameters/1/value/2/k: repeated member 'k'"},
        {with(gain, R"("name": "gain", "value": 2.0,)"),
         "/parameters/0/value: expected a whole number from -2147483648 to 2147483647"},
        {with(R"("type": "int")", R"("type": "QColor")"),
         "/parameters/0/type: unknown value type 'QColor'"},
        {with("\"graph\": {", "\"graph\": {\"root\": {}, "), "/graph/root: repeated member 'root'"},
        {with(R"("to": ["fx", "first"])", R"("to": ["fx", "m1", "in0"])"),
         "/graph/edges/0: node 'a' and node 'fx/m1' are neither siblings"},
        {with(R"("target": ["fx", "m1"])", R"("target": ["fx", "m9"])"),
         "/target/1: node 'fx' has no child named 'm9'"},
        // The graph alone: its members are a graph document's, and its format says so first.
        {saveGraph(*sample.renderer.getGraph()),
         "/format: this is a graph document ('orv-graph'), not a renderer document"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first.constData());
        ASSERT_NE(c.first, good);
        Factory factory;
        Renderer renderer;
        const int aliveBefore = TypedPass::alive;
        QString error;
        EXPECT_FALSE(loadRenderer(c.first, factory.function(), &renderer, &error));
        EXPECT_TRUE(error.startsWith(c.second)) << qPrintable(error);
        EXPECT_EQ(TypedPass::alive, aliveBefore);
        EXPECT_EQ(renderer.getGraph()->numNodesGlobal(), 1);
        EXPECT_EQ(renderer.numParameters() + renderer.numOutputs(), 0);
    }

    // Only an empty renderer is filled; one with anything in it stays as it is.
    Factory factory;
    QString error;
    const QStringList before = graphSnapshot(*sample.renderer.getGraph());
    EXPECT_FALSE(rendererFromJson(QJsonDocument::fromJson(good).object(), factory.function(),
                                  &sample.renderer, &error));
    EXPECT_EQ(error, ": the renderer is not empty");
    EXPECT_EQ(graphSnapshot(*sample.renderer.getGraph()), before);
    EXPECT_EQ(factory.made, 0);
}

// The trace goes through the same writer: names are escaped as in documents, half a surrogate
// pair included.
TEST(RendererJsonTest, TraceNamesAreEscapedAsInDocuments) {
    SampleRenderer sample;
    sample.renderer.getGraph()->setNodeName(sample.a, QString("\"a\"\n") + QChar(0xd800));
    sample.renderer.setTarget(-1);
    sample.renderer.setTimingEnabled(true);
    ASSERT_TRUE(sample.renderer.render(nullptr));
    const QByteArray trace = sample.renderer.traceJson();
    EXPECT_TRUE(QJsonDocument::fromJson(trace).isObject()) << trace.constData();
    EXPECT_TRUE(trace.contains("\"\\\"a\\\"\\n\xef\xbf\xbd\"")) << trace.constData();
}
