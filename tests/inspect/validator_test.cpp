#include <Orv/Graph.h>
#include <Orv/Json.h>
#include <Orv/Renderer.h>
#include <Orv/Validator.h>

#include "graph_fixtures.h"
#include "renderer_fixture.h"

#include <functional>

using namespace Vantrel::Orv;

namespace {

using ValidatorTest = RendererFixture;

// A pass whose second input repeats the first one's name.
class RepeatedNamePass : public RecordingPass {
public:
    explicit RepeatedNamePass(QStringList* log) : RecordingPass("tonemap", log, 3, 1) {
        _inputs[1].name = "in0";
    }
};

QStringList lines(const QVector<Finding>& findings) {
    QStringList text;
    for (const Finding& finding : findings) text << finding.toString();
    return text;
}

}  // namespace

// One renderer with every problem the validator knows:
//
//   root(exposure, stray* | image, spare)      * added through the graph, not addParameter
//   |-- scene --> grp[ inner ] --> grp.out (fed)     grp.unused: input that feeds no child
//   |                              grp.dangling: output nothing inside feeds
//   |-- scene (a second one, never needed)
//   `-- tonemap(in0, in0, extra*) --> image           target: a removed node
TEST_F(ValidatorTest, ReportsEachProblemOnceWithItsNodeAndPort) {
    Graph* g = graph();
    renderer.addParameter("exposure", 1.0);
    renderer.addOutput("image");
    renderer.addOutput("spare");
    g->addInput(kRoot, "stray", -1);
    const int scene = renderer.addPass("scene", new RecordingPass("scene", &log, 0, 1), kRoot);
    const int group = renderer.addGroup("grp", 0, 0, kRoot);
    g->addInput(group, "in", -1);
    g->addInput(group, "unused", -1);
    g->addOutput(group, "out", -1);
    g->addOutput(group, "dangling", -1);
    const int inner = renderer.addPass("inner", new RecordingPass("inner", &log, 1, 1), group);
    renderer.addPass("scene", new RecordingPass("scene2", &log, 0, 1), kRoot);
    const int tonemap = renderer.addPass("tonemap", new RepeatedNamePass(&log), kRoot);
    g->addOutput(tonemap, "extra", -1);
    g->addEdge(scene, 0, group, 0);
    g->addDownEdge(0, inner, 0);
    g->addUpEdge(0, inner, 0);
    g->addEdge(group, 0, tonemap, 0);
    g->addDownEdgeByName("exposure", tonemap, "in2");
    g->addUpEdge(0, tonemap, 0);
    const int removed = renderer.addGroup("old", 0, 0, kRoot);
    g->removeNode(removed);
    renderer.setTarget(removed);

    const QStringList expected = {
        "error: root input 'stray': This root input is not a parameter: it was added through"
        " getGraph(), so what it feeds gets defaults.",
        "error: renderer: The target, node ref 6, is not a live node.",
        "error: tonemap: The node has 2 outputs but its pass 1.",
        "warning: grp output 'dangling': Nothing inside the group feeds this output.",
        "warning: grp input 'unused': This group input feeds no node inside the group.",
        "warning: root output 'spare': Nothing feeds this output, so it keeps its value for ever.",
        "warning: scene: No output or target needs this pass, so it never runs.",
        "note: scene: An earlier sibling has the same name, so by-name lookups and paths take"
        " that one.",
        "note: tonemap input 'in0': Input 0 has the same name, so by-name wiring and lookups take"
        " that one.",
        "note: tonemap input 'in0': Nothing feeds this input, so the pass takes its default"
        " value.",
    };
    const QVector<Finding> findings = validate(renderer);
    EXPECT_EQ(lines(findings), expected);
    ASSERT_EQ(findings.size(), expected.size());
    EXPECT_EQ(findings[3].node, group);
    EXPECT_EQ(findings[3].side, Finding::Side::Output);
    EXPECT_EQ(findings[3].port, 1);
    EXPECT_EQ(findings[8].node, tonemap);
    EXPECT_EQ(findings[8].port, 1);

    // The passes the validator says never run are exactly those a frame leaves out.
    renderer.setTarget(-1);
    ASSERT_TRUE(render());
    EXPECT_TRUE(log.contains("scene.start") && log.contains("inner.start") &&
                log.contains("tonemap.start"));
    EXPECT_FALSE(log.contains("scene2.start"));
}

TEST(GraphValidatorTest, PlainGraphsGetTheContainerAndNameChecks) {
    SampleGraph s;
    addNamedNode(s.graph, "X", s.p);
    s.graph.addDownEdge(0, s.x, 0);
    s.graph.addUpEdge(1, s.y, 0);
    const QStringList expected = {
        "warning: P output 'out0': Nothing inside the group feeds this output.",
        "warning: P input 'in1': This group input feeds no node inside the group.",
        "note: P/X: An earlier sibling has the same name, so by-name lookups and paths take"
        " that one.",
    };
    EXPECT_EQ(lines(validate(s.graph)), expected);
    EXPECT_TRUE(validate(Graph()).isEmpty());
}

// A finding names its node as Graph::nodePath does, so that the path finds the node again even
// where a name holds the separator.
TEST_F(ValidatorTest, FindingPathsResolveToTheirNodes) {
    Graph* g = graph();
    const int group = renderer.addGroup("a/b", 0, 0, kRoot);
    g->addOutput(group, "out", -1);
    const int pass = renderer.addPass("c\\d", new RecordingPass("pass", &log, 0, 1), group);
    QVector<int> nodes;
    for (const Finding& finding : validate(renderer)) {
        EXPECT_EQ(g->findNodeByPath(finding.path), finding.node) << qPrintable(finding.path);
        nodes.append(finding.node);
    }
    EXPECT_TRUE(nodes.contains(group) && nodes.contains(pass));
}

// The validator and the JSON saver judge a pass node's ports by the same rule: what one calls
// an error the other refuses, and what one passes the other saves.
TEST(ValidatorAndSavingTest, AgreeOnPassPorts) {
    const std::vector<std::pair<const char*, std::function<void(Graph&, int)>>> cases = {
        {"as made", [](Graph&, int) {}},
        {"an extra input", [](Graph& g, int n) { g.addInput(n, "extra", -1); }},
        {"a renamed output", [](Graph& g, int n) { g.setOutputName(n, 0, "renamed"); }},
        {"an input made again in a group",
         [](Graph& g, int n) {
             g.removeInput(n, 1);
             g.addInput(n, "in1", g.addInputGroup(n, "set"));
         }},
        {"a group with no port in it", [](Graph& g, int n) { g.addOutputGroup(n, "set"); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        QStringList log;
        Renderer renderer;
        const int pass = renderer.addPass("p", new RecordingPass("p", &log, 2, 1), kRoot);
        c.second(*renderer.getGraph(), pass);
        bool portErrors = false;
        for (const Finding& finding : validate(renderer))
            portErrors = portErrors ||
                         (finding.severity == Finding::Severity::Error && finding.node == pass);
        QByteArray text;
        QString error;
        const bool saved = saveRenderer(
            renderer, [](const RenderPass&) { return QStringLiteral("p"); }, &text, &error);
        EXPECT_EQ(saved, !portErrors) << qPrintable(error);
        if (!saved) {
            EXPECT_TRUE(error.startsWith("the ports of node 'p' no longer match"));
        }
    }
}

// A loop through container ports, which addEdge accepts: %2 passes its input through 50% to its
// output, which feeds %1, which feeds %2's input. Both validators report it, quoting names that
// look like format places as they are; the renderer's names the pass that reads a value of the
// frame before.
TEST_F(ValidatorTest, ProducerLoopsThroughContainersAreReportedWithNamesAsTheyAre) {
    add("%1");
    group("%2", 1, 1);
    add("50%", 1, 1, "%2");
    down(0, "50%");
    up(0, "50%");
    link("%2", "%1");
    link("%1", "%2");  // the loop is accepted
    up(renderer.addOutput("image"), "%1");
    const QString loop =
        "warning: %1: These nodes feed one another in a loop through container ports: '%1', "
        "'%2/50%'. A frame cuts the loop where it meets it, so one of them reads a value of the "
        "frame before.";
    EXPECT_TRUE(lines(validate(*graph())).contains(loop))
        << qPrintable(lines(validate(*graph())).join('\n'));
    // %1 is needed first, so the frame meets 50%'s producer %1 on its stack: 50% runs first and
    // reads %1's output of the frame before.
    ASSERT_TRUE(render());
    EXPECT_EQ(runs(), "50% %1");
    graph()->setOutputName(node("%1"), 0, "say \"%L1\"\\");
    const QStringList found = lines(validate(renderer));
    for (const QString& line :
         {loop,
          QString("warning: %2/50% input 'in0': This input reads output 'say \"%L1\"\\' of '%1' "
                  "of the frame before: the two passes are in a loop through container ports, "
                  "and this one runs first."),
          QString("error: %1 output 'say \"%L1\"\\': Its pass names this port 'out0'.")})
        EXPECT_TRUE(found.contains(line)) << qPrintable(line + "\n\n" + found.join('\n'));
}

// A history input is fed by the frame before, and its producer is needed for it: neither is
// reported as left out, as they are while the input is an ordinary one with no edge, and its
// read of the frame before is no loop through container ports.
//   U (read only by T's history input);  T -> output
TEST_F(ValidatorTest, AHistoryInputIsFedAndItsProducerNeeded) {
    add("U", 0, 1);
    add("T");
    up(renderer.addOutput("image"), "T");
    const QStringList unfed = {"warning: U: No output or target needs this pass, so it never runs.",
                               "note: T input 'in0': Nothing feeds this input, so the pass takes "
                               "its default value."};
    for (const QString& line : unfed)
        EXPECT_TRUE(lines(validate(renderer)).contains(line)) << qPrintable(line);
    ASSERT_TRUE(renderer.setHistoryInput(node("T"), 0, node("U"), 0));
    EXPECT_EQ(lines(validate(renderer)), QStringList())
        << qPrintable(lines(validate(renderer)).join('\n'));
}
