// What the latest frame did and why: outcomes and their explanations, culling switched off.
#include <Orv/Renderer.h>

#include "hostile_names.h"
#include "renderer_fixture.h"

#include <Orv/Graph.h>

using namespace Vantrel::Orv;

namespace {

class RendererLatestFrameTest : public RendererFixture {
protected:
    QString explained(const QString& name) const { return renderer.explain(node(name)); }
};

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

// Names that look like format places stay as they are, wherever explain quotes them.
//   a -> blur%2 (fails) -> <each other hostile name> -> output;  group %1[ inner ];  50% spare
TEST_F(RendererLatestFrameTest, NamesAreQuotedAsTheyAreWhateverTheyHold) {
    const QStringList names = hostileNames();
    QStringList chained;
    for (const QString& name : names) {
        if (name != "%1" && name != "50%") chained << name;
    }
    add("a");
    for (const QString& name : chained) add(name);
    link("a", chained[0]);
    for (int i = 1; i < chained.size(); ++i) link(chained[i - 1], chained[i]);
    up(renderer.addOutput("image"), chained.last());
    group("%1", 0, 0);
    add("inner", 1, 1, "%1");
    add("50%");
    passes["blur%2"]->failWith = 7;
    EXPECT_FALSE(render());

    QStringList paths;
    for (const QString& name : chained) paths << graph()->nodePath(node(name));
    EXPECT_EQ(explained("blur%2"), "'blur%2' failed with error code 7, needed by " +
                                       paths.join(" -> ") + " -> output 'image'.");
    for (const QString& path : paths.mid(1)) {
        EXPECT_EQ(renderer.explain(graph()->findNodeByPath(path)),
                  "'" + path +
                      "' did not run: the frame stopped when 'blur%2' failed with error "
                      "code 7.");
    }
    EXPECT_EQ(explained("50%"),
              "'50%' did not run: no output or target depends on it, and nothing reads its "
              "outputs.");
    EXPECT_EQ(explained("%1"),
              "'%1' is a group; its pass %1/inner was not needed; the latest frame did not need "
              "it.");
    // A group's failed pass, named inside a longer message.
    group("g%2", 0, 1);
    add("f%1", 1, 1, "g%2");
    up(0, "f%1");
    link("g%2", "a");
    passes["blur%2"]->failWith = 0;
    passes["f%1"]->failWith = 9;
    EXPECT_FALSE(render());
    EXPECT_TRUE(explained("g%2").startsWith(
        "'g%2' is a group; its pass g%2/f%1 failed with error code 9; needed by "))
        << explained("g%2").toStdString();
}
