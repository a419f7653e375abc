// Feeds arbitrary bytes to the JSON loaders: the first byte picks the graph or the renderer
// loader, the rest is the document. Whatever the bytes:
//  - a refused load gives a reason and leaves its target exactly as it was (its revision
//    included) and deletes every pass it made;
//  - a successful load gives a graph that keeps every invariant, saves without refusal, and
//    loads again into the same graph, whose text is the same, and which the QJsonObject
//    adapters carry to the same graph;
//  - the loaded renderer validates and renders a frame;
//  - nothing writes a message.
#include <Orv/Graph.h>
#include <Orv/Json.h>
#include <Orv/RenderPassHelper.h>
#include <Orv/Renderer.h>
#include <Orv/Validator.h>

#include "graph_invariants.h"

#include <QByteArray>
#include <QStringList>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace Vantrel::Orv;

namespace {

int g_messages = 0;
int g_livePasses = 0;

void countMessage(QtMsgType, const QMessageLogContext&, const QString&) {
    ++g_messages;
}

[[noreturn]] void fail(const char* loader, const QString& what) {
    std::fprintf(stderr, "json_fuzzer: %s: %s\n", loader, qPrintable(what));
    std::abort();
}

// Three pass types: "gen" (no input), "pipe" (one input) and "mix" (two inputs named alike,
// so that by-name ends must fall back to indexes). Each has one output "out".
class FuzzPass : public RenderPassHelper {
public:
    explicit FuzzPass(const QString& type) : type(type) {
        const int inputs = type == "gen" ? 0 : type == "pipe" ? 1 : 2;
        for (int i = 0; i < inputs; ++i) addInput(QStringLiteral("in"), QVariant(i));
        addOutput(QStringLiteral("out"));
        ++g_livePasses;
    }
    ~FuzzPass() override { --g_livePasses; }
    void start(RenderCallbacks*) override { _outputs[0].value = type; }
    const QString type;
};

RenderPass* makePass(const QString& type) {
    if (type != "gen" && type != "pipe" && type != "mix") return nullptr;
    return new FuzzPass(type);
}

QString typeOf(const RenderPass& pass) {
    return static_cast<const FuzzPass&>(pass).type;
}

void checkGraph(const char* loader, const Graph& graph) {
    const ::testing::AssertionResult invariants = checkGraphInvariants(graph);
    if (!invariants) fail(loader, QString::fromUtf8(invariants.message()));
}

void fuzzGraph(const QByteArray& text) {
    Graph target;
    target.addNode(QStringLiteral("kept"), 1, 1, Graph::kRootNodeRef);
    const QStringList before = graphSnapshot(target);
    const quint64 revision = target.revision();
    QString error;
    if (!loadGraph(text, &target, &error)) {
        if (error.isEmpty()) fail("graph", QStringLiteral("refused without a reason"));
        if (graphSnapshot(target) != before || target.revision() != revision)
            fail("graph", QStringLiteral("a refusal changed it"));
        return;
    }
    checkGraph("graph", target);
    const QByteArray saved = saveGraph(target);
    Graph again;
    if (!loadGraph(saved, &again, &error)) fail("graph", QStringLiteral("reload: ") + error);
    if (graphSnapshot(again) != graphSnapshot(target))
        fail("graph", QStringLiteral("the reloaded graph differs"));
    if (saveGraph(again) != saved) fail("graph", QStringLiteral("the second save differs"));
    Graph adapted;
    if (!graphFromJson(graphToJson(target), &adapted, &error) ||
        graphSnapshot(adapted) != graphSnapshot(target))
        fail("graph", QStringLiteral("the QJsonObject adapters differ: ") + error);
    validate(target);
}

void fuzzRenderer(const QByteArray& text) {
    QString error;
    {
        Renderer renderer;
        if (!loadRenderer(text, makePass, &renderer, &error)) {
            if (error.isEmpty()) fail("renderer", QStringLiteral("refused without a reason"));
            if (renderer.getGraph()->numNodesGlobal() != 1 || renderer.numParameters() != 0 ||
                renderer.numOutputs() != 0 || g_livePasses != 0)
                fail("renderer", QStringLiteral("a refusal left something behind"));
            return;
        }
        checkGraph("renderer", *renderer.getGraph());
        QByteArray saved;
        if (!saveRenderer(renderer, typeOf, &saved, &error))
            fail("renderer", QStringLiteral("save: ") + error);
        Renderer again;
        if (!loadRenderer(saved, makePass, &again, &error))
            fail("renderer", QStringLiteral("reload: ") + error);
        if (graphSnapshot(*again.getGraph()) != graphSnapshot(*renderer.getGraph()))
            fail("renderer", QStringLiteral("the reloaded graph differs"));
        QByteArray savedAgain;
        if (!saveRenderer(again, typeOf, &savedAgain, &error) || savedAgain != saved)
            fail("renderer", QStringLiteral("the second save differs"));
        validate(renderer);
        renderer.render(nullptr);
    }
    if (g_livePasses != 0) fail("renderer", QStringLiteral("passes outlived their renderer"));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    static const QtMessageHandler previous = qInstallMessageHandler(countMessage);
    (void)previous;
    if (size == 0) return 0;
    const QByteArray text(reinterpret_cast<const char*>(bytes) + 1, int(size) - 1);
    g_messages = 0;
    if (bytes[0] & 1)
        fuzzRenderer(text);
    else
        fuzzGraph(text);
    if (g_messages != 0) fail("load", QStringLiteral("wrote %1 messages").arg(g_messages));
    return 0;
}
