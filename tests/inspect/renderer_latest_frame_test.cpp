// Inspection of the latest frame: outcomes and their explanations, culling switched off, the
// timeline, node paths and the graph as DOT.
#include <Orv/Renderer.h>

#include "renderer_fixture.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>

#include <map>

using namespace Vantrel::Orv;

namespace {

class RendererLatestFrameTest : public RendererFixture {
protected:
    QString explained(const QString& name) const { return renderer.explain(node(name)); }
};

// Runs `dot` on the text when Graphviz is installed; true when it laid it out.
bool dotAccepts(const QByteArray& text) {
    const QString dot = QStandardPaths::findExecutable("dot");
    if (dot.isEmpty()) return true;
    QProcess process;
    process.start(dot, {"-Tsvg", "-o", "/dev/null"});
    process.write(text);
    process.closeWriteChannel();
    return process.waitForFinished(20000) && process.exitCode() == 0;
}

}  // namespace

//   X -> Y -> Z.0 -> output 0;  D (off) -> Z.1;  V -> U, neither needed
// (That every node's outcome, failure code and need agree with what the frame did, the renderer
// fuzzer checks for any graph.)
TEST_F(RendererLatestFrameTest, EveryOutcomeIsExplained) {
    add("X"), add("Y"), add("Z", 2, 1), add("D"), add("V"), add("U");
    chain("X Y Z");
    link("D", "Z", 0, 1);
    link("V", "U");
    renderer.setEnabled(node("D"), false);
    EXPECT_EQ(renderer.outcome(node("X")), NodeOutcome::Unknown);
    EXPECT_EQ(explained("X"), "No frame has been rendered yet.");

    EXPECT_TRUE(render());
    EXPECT_EQ(renderer.explain(99), "Node 99 is not a node of the latest frame's graph.");

    EXPECT_EQ(explained("X"), "'X' ran, needed by X -> Y -> Z -> output 'image'.");
    EXPECT_EQ(explained("D"),
              "'D' is needed but switched off, so these inputs took their defaults: Z.in1.");
    EXPECT_EQ(explained("V"),
              "'V' did not run: no output or target depends on it, and its "
              "consumers 'U' were not needed either.");
    EXPECT_EQ(explained("U"),
              "'U' did not run: no output or target depends on it, and nothing "
              "reads its outputs.");

    passes["Y"]->failWith = 3;
    EXPECT_FALSE(render());
    EXPECT_EQ(explained("Y"), "'Y' failed with error code 3, needed by Y -> Z -> output 'image'.");
    EXPECT_EQ(explained("Z"),
              "'Z' did not run: the frame stopped when 'Y' failed with error code 3.");

    // With passes in flight, a pass that had started when another failed is still ended.
    ASSERT_TRUE(renderer.setMaxPassesInFlight(4));
    renderer.setEnabled(node("D"), true);
    passes["Y"]->failWith = 0;
    passes["D"]->failWith = 5;
    passes["X"]->unfinishedPolls = 1;
    EXPECT_FALSE(render());
    EXPECT_EQ(runs(), "X D");
    EXPECT_EQ(renderer.outcome(node("X")), NodeOutcome::Ran);

    // Without culling every enabled pass runs, producers first.
    passes["D"]->failWith = 0;
    passes["X"]->unfinishedPolls = 0;
    renderer.setCulling(false);
    EXPECT_TRUE(render());
    EXPECT_EQ(runs(), "X Y D Z V U");
    EXPECT_EQ(explained("U"), "'U' ran, needed by U -> every pass (culling is off).");
}

//   lighting[ shadows -> direct -> out 0;  ambient (off) ] -> post -> output 'image'
//   empty[] out 0 -> tail (the target);  idle[ spare ], not needed
TEST_F(RendererLatestFrameTest, AGroupIsExplainedThroughItsPassesAndAChainByPathsAndPorts) {
    group("lighting", 0, 1), group("empty", 0, 1), group("idle", 0, 0);
    add("shadows", 1, 1, "lighting"), add("direct", 2, 1, "lighting");
    add("ambient", 1, 1, "lighting"), add("spare", 1, 1, "idle"), add("post"), add("tail");
    link("shadows", "direct");
    link("ambient", "direct", 0, 1);
    renderer.setEnabled(node("ambient"), false);
    up(0, "direct");
    chain("lighting post");
    link("empty", "tail");
    renderer.setTarget(node("tail"));
    EXPECT_TRUE(render());

    EXPECT_TRUE(renderer.wasNeeded(node("lighting")));
    EXPECT_EQ(explained("lighting"),
              "'lighting' is a group; its passes lighting/shadows and lighting/direct ran, "
              "lighting/ambient was switched off; needed by lighting/direct -> "
              "lighting.output 0 -> post -> output 'image'.")
        << explained("lighting").toStdString();
    // Read by a needed pass, but nothing inside feeds that output: no work was needed of it.
    EXPECT_FALSE(renderer.wasNeeded(node("empty")));
    EXPECT_EQ(explained("empty"),
              "'empty' has no pass and holds none; the latest frame did not need it.");
    EXPECT_FALSE(renderer.wasNeeded(node("idle")));
    EXPECT_EQ(explained("idle"),
              "'idle' is a group; its pass idle/spare was not needed; the latest frame did not "
              "need it.");
    EXPECT_TRUE(renderer.wasNeeded(kRoot));

    passes["direct"]->failWith = 7;
    EXPECT_FALSE(render());
    EXPECT_EQ(explained("lighting"),
              "'lighting' is a group; its passes lighting/shadows ran, lighting/direct failed with "
              "error code 7, lighting/ambient was switched off; needed by lighting/direct -> "
              "lighting.output 0 -> post -> output 'image'.")
        << explained("lighting").toStdString();
    // Timed, a pass says how long it ran; a named container port is named.
    passes["direct"]->failWith = 0;
    graph()->setOutputName(node("lighting"), 0, "radiance");
    renderer.setTimingEnabled(true);
    EXPECT_TRUE(render());
    const QString why = explained("shadows");
    EXPECT_TRUE(why.startsWith("'lighting/shadows' ran in ")) << why.toStdString();
    EXPECT_TRUE(
        why.endsWith(" ms, needed by lighting/shadows -> lighting/direct -> "
                     "lighting.radiance -> post -> output 'image'."))
        << why.toStdString();
}

TEST_F(RendererLatestFrameTest, LongListsNameAFewAndCountTheRest) {
    add("source", 0, 1);
    for (int i = 0; i < 50; ++i) {
        add(QStringLiteral("r%1").arg(i), 1, 0);
        link("source", QStringLiteral("r%1").arg(i));
    }
    EXPECT_TRUE(render());
    EXPECT_EQ(explained("source"),
              "'source' did not run: no output or target depends on it, and its consumers 'r0', "
              "'r1', 'r2' and 47 more were not needed either.");
}

TEST_F(RendererLatestFrameTest, TheTraceKeepsTheLatestFramesAndSeparatesOverlappingPasses) {
    EXPECT_FALSE(renderer.timingEnabled());
    EXPECT_EQ(QJsonDocument::fromJson(renderer.traceJson())["traceEvents"].toArray().size(), 2)
        << "only the metadata while nothing is timed";
    // A name JSON must escape, and two passes that are in flight together.
    add("A\"q\"\n\\é"), add("B"), add("C", 2, 1);
    chain("A\"q\"\n\\é C");
    link("B", "C", 0, 1);
    passes["A\"q\"\n\\é"]->unfinishedPolls = 2;
    ASSERT_TRUE(renderer.setMaxPassesInFlight(2));
    EXPECT_TRUE(render());
    EXPECT_EQ(renderer.latestPassTime(node("C")), -1) << "timing is off";

    renderer.setTimingEnabled(true);
    EXPECT_FALSE(renderer.setTimingHistory(0));
    ASSERT_TRUE(renderer.setTimingHistory(2));
    for (int frame = 0; frame < 3; ++frame) EXPECT_TRUE(render());
    EXPECT_GE(renderer.latestPassTime(node("C")), 0);

    QJsonParseError error;
    const QJsonDocument trace = QJsonDocument::fromJson(renderer.traceJson(), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
    std::map<int, std::vector<std::pair<double, double>>> tracks;  // tid -> spans
    std::map<int, bool> named;                                     // tid -> has a thread name
    QStringList frames, names;
    // Each frame comes before its passes, which must lie within it.
    QJsonValue frame;
    double frameStart = 0, frameEnd = 0;
    for (const QJsonValue value : trace["traceEvents"].toArray()) {
        const QJsonObject event = value.toObject();
        const int tid = event["tid"].toInt();
        if (event["ph"] == "M") {
            named[tid] = named[tid] || event["name"] == "thread_name";
            continue;
        }
        ASSERT_EQ(event["ph"], "X");
        const double start = event["ts"].toDouble(), end = start + event["dur"].toDouble();
        tracks[tid].emplace_back(start, end);
        if (tid == 0) {
            frames << event["name"].toString();
            frame = event["args"]["frame"], frameStart = start, frameEnd = end;
            continue;
        }
        names << event["name"].toString();
        EXPECT_EQ(event["args"]["frame"], frame);
        EXPECT_TRUE(start >= frameStart && end <= frameEnd + 0.001);
    }
    EXPECT_EQ(frames, QStringList({"frame 3", "frame 4"})) << "the two latest frames";
    EXPECT_EQ(names.count(graph()->nodePath(node("A\"q\"\n\\é"))), 2) << "named by path";
    EXPECT_EQ(tracks.size(), 3u) << "frames, and A and B on tracks of their own";
    for (auto& track : tracks) {
        EXPECT_TRUE(named[track.first]) << "track " << track.first << " has no name";
        std::sort(track.second.begin(), track.second.end());
        for (size_t k = 1; k < track.second.size(); ++k)
            EXPECT_LE(track.second[k - 1].second, track.second[k].first) << "track " << track.first;
    }
}

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

// Hostile names and every edge kind, nested: the text stays something `dot` lays out.
TEST_F(RendererLatestFrameTest, DotDrawsEveryLevelAndColoursTheLatestOutcomes) {
    renderer.addParameter("p <&>", 1);
    group("G {\"|}", 1, 1);
    add("in\\side %s é", 1, 1, "G {\"|}"), add("off"), add("unused"), add("spare");
    down(0, "G {\"|}");
    down(0, "in\\side %s é");
    up(0, "in\\side %s é");
    chain("G {\"|} off");
    renderer.setEnabled(node("off"), false);
    renderer.setTarget(node("unused"));
    passes["unused"]->failWith = 4;
    EXPECT_FALSE(render());

    const QByteArray plain = graphAsDot(*graph());
    EXPECT_TRUE(plain.startsWith("digraph \"Orv\" {\n") && plain.endsWith("}\n"));
    EXPECT_TRUE(plain.contains("subgraph \"cluster_n1\""));
    EXPECT_TRUE(plain.contains("<I>inputs</I>") && plain.contains("p &lt;&amp;&gt;"));
    EXPECT_TRUE(plain.contains("style=dashed") && plain.contains("style=dotted"));
    EXPECT_TRUE(dotAccepts(plain)) << plain.toStdString();

    const QByteArray frame = frameAsDot(renderer);
    EXPECT_TRUE(frame.contains("<I>parameters</I>"));
    EXPECT_TRUE(frame.contains("BGCOLOR=\"#c8f0c8\"")) << "ran";
    EXPECT_TRUE(frame.contains("BGCOLOR=\"#d9d9d9\"")) << "disabled";
    EXPECT_TRUE(frame.contains("STYLE=\"dashed\"")) << "not needed";
    // Hover texts name nodes by path and ports by name, never by the DOT ids.
    EXPECT_TRUE(plain.contains("tooltip=\"G {\\\"|}/in\\\\\\\\side %s é\"")) << plain.toStdString();
    EXPECT_TRUE(plain.contains("tooltip=\"G {\\\"|} (group)\""));
    EXPECT_TRUE(plain.contains("tooltip=\"inputs.p <&> -> G {\\\"|}.input 0\""));
    EXPECT_TRUE(frame.contains("tooltip=\"unused: failed (target, error code 4)\""));
    EXPECT_TRUE(frame.contains("tooltip=\"spare: not needed\""));
    EXPECT_TRUE(frame.contains("<TABLE BORDER=\"3\"")) << "the target";
    EXPECT_TRUE(frame.contains("<I>legend</I>") && frame.contains("the target</TD>"));
    EXPECT_TRUE(dotAccepts(frame)) << frame.toStdString();
}
