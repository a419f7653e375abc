#include <Orv/Graph.h>
#include <Orv/Renderer.h>
#include <Orv/Validator.h>

#include "renderer_fixture.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <functional>

#include <gtest/gtest.h>

using namespace Vantrel::Orv;

using RendererFrameTest = RendererFixture;

TEST_F(RendererFrameTest, ChainRunsProducersFirstWithTheExactCallSequence) {
    chain("X Y Z");
    // Setup and teardown reach every pass, disabled or not, in pass order.
    renderer.setEnabled(node("Y"), false);
    renderer.setup(&callbacks);
    EXPECT_EQ(passes["Y"]->seenCallbacks, &callbacks);
    renderer.teardown(nullptr);
    EXPECT_EQ(passes["Y"]->seenCallbacks, nullptr);
    EXPECT_EQ(grouped(log), "X{setup} Y{setup} Z{setup} X{teardown} Y{teardown} Z{teardown}");

    renderer.setEnabled(node("Y"), true);
    EXPECT_TRUE(render());
    // Z feeds only a renderer output, which is not a user.
    EXPECT_EQ(grouped(log), "frame{begin} X{in0 reset users0=1 " + kRun +
                                "} Y{in0 reset users0=1 " + kRun + "} Z{in0 reset " + kRun +
                                "} frame{end}");
    EXPECT_EQ(passes["Z"]->seenCallbacks, &callbacks);
    EXPECT_EQ(outputs(), "Z(Y(X(default)))");
    EXPECT_EQ(renderer.outputType(0), QMetaType::QString);

    EXPECT_TRUE(render());
    EXPECT_EQ(renderer.frameTimer().count(), 2);
    EXPECT_EQ(passes["Y"]->frameTimer().count(), 2);
}

// Parameter 0 reaches P through groups G and H; H's second input is fed by nothing.
TEST_F(RendererFrameTest, ParametersReachPassesThroughNestedGroupsAndCutOutputsKeepValues) {
    renderer.addParameter("exposure", 7);
    renderer.addParameter("direct", QString("d"));
    renderer.addOutput("image");
    renderer.addOutput("plain");
    group("G", 1, 1);
    group("H", 2, 1, "G");
    add("P", 2, 1, "H"), add("Q");
    down(0, "G"), down(0, "H"), down(0, "P"), down(1, "P", 1);
    up(0, "P"), up(0, "H"), up(0, "G");
    down(1, "Q"), up(1, "Q");
    EXPECT_TRUE(render());
    EXPECT_EQ(outputs(), "P(7,default)|Q(d)");

    renderer.setParameter(0, 8);
    passes["P"]->setDefaultValue(1, QString("new default"));
    EXPECT_TRUE(render());
    EXPECT_EQ(outputs(), "P(8,new default)|Q(d)");

    // Outputs ending at a group output fed by nothing, or at nothing, keep their values. With
    // no pass to run, or no roots at all, a frame only times itself.
    graph()->removeEdge(graph()->outputSource(node("H"), 0));
    graph()->removeEdge(graph()->outputSource(kRoot, 1));
    for (int cut = 0; cut < 2; ++cut) {
        EXPECT_TRUE(render());
        EXPECT_EQ(grouped(log), "frame{begin end}");
        EXPECT_EQ(renderer.getNumPasses(), 0);
        EXPECT_EQ(outputs(), "P(8,new default)|Q(d)");
        graph()->removeEdge(graph()->outputSource(kRoot, 0));
    }
}

//   X -> G[ -> I (needed), -> U (not needed); I -> ] -> C -> output 0
TEST_F(RendererFrameTest, GroupOutputsFeedSiblingsAndOnlyNeededInnerConsumersCount) {
    add("X");
    group("G", 1, 1);
    add("I", 1, 1, "G"), add("U", 1, 1, "G");
    link("X", "G");
    down(0, "I"), down(0, "U"), up(0, "I");
    chain("G C");
    EXPECT_TRUE(render());
    EXPECT_EQ(runs(), "X I C");
    // I counts for X; U and the group itself are not needed. An up edge counts only a needed
    // container, so I gets no user.
    EXPECT_EQ(users(), "X0=1");
    EXPECT_EQ(outputs(), "C(I(X(default)))");
}

//   X -> Y1 -> Z.0 -> output 0;  X -> Y2 -> Z.1
TEST_F(RendererFrameTest, DiamondRunsTheSharedProducerOnceAndTheFirstErrorStopsTheFrame) {
    add("Z", 2, 1);
    chain("X Y1 Z");
    add("Y2");
    link("X", "Y2");
    link("Y2", "Z", 0, 1);
    EXPECT_TRUE(render());
    EXPECT_EQ(runs(), "X Y1 Y2 Z");
    EXPECT_TRUE(grouped(log).startsWith("frame{begin} X{in0 reset users0=2 "));
    EXPECT_EQ(outputs(), "Z(Y1(X(default)),Y2(X(default)))");

    // The outputs are still collected, from the passes' latest values.
    passes["Y1"]->failWith = 3;
    passes["Z"]->setOutput(0, QString("kept from before"));
    EXPECT_FALSE(render());
    EXPECT_TRUE(grouped(log).endsWith("X{in0 reset users0=2 " + kRun + "} Y1{in0 reset users0=1 " +
                                      kRun + "} frame{end}"))
        << "neither Z's further input Y2 nor Z runs";
    EXPECT_EQ(outputs(), "kept from before");

    passes["Y1"]->failWith = 0;  // the code is cleared before each run
    EXPECT_TRUE(render());
    EXPECT_EQ(runs(), "X Y1 Y2 Z");
}

//   B -> C -> output 0;  A -> D -> output 1;  added in the order C A D B
TEST_F(RendererFrameTest, PassesRunInTheOrderAddedOnceTheirProducersHaveRun) {
    add("C"), add("A"), add("D"), add("B");
    chain("B C");
    chain("A D");
    EXPECT_TRUE(render());
    // Depth first from the outputs would give B C A D.
    EXPECT_EQ(runs(), "A D B C");
    EXPECT_EQ(outputs(), "C(B(default))|D(A(default))");
}

// K sits in group H; P reads H's output, and H's input reads P: a loop that the edge adders
// let through, since a down or up edge closes it. The frame meets P first, so P waits for K
// but K reads P's output of the frame before; with passes in flight too, so nothing deadlocks.
//   H.in <- P;  H[ in -> K -> out ];  P <- H.out;  P -> output 0
TEST_F(RendererFrameTest, ProducerLoopThroughAGroupRunsEachPassOnce) {
    add("P");
    group("H", 1, 1);
    add("K", 1, 1, "H");
    down(0, "K"), up(0, "K");
    link("H", "P");
    link("P", "H");
    up(renderer.addOutput("image"), "P");
    renderer.setTarget(node("K"));
    EXPECT_TRUE(render());
    EXPECT_EQ(runs(), "K P");
    EXPECT_EQ(outputs(), "P(K())");
    EXPECT_EQ(users(), "P0=1") << "K feeds P through H, which is not needed itself";
    ASSERT_TRUE(renderer.setMaxPassesInFlight(4));
    EXPECT_TRUE(render());
    EXPECT_EQ(runs(), "K P");
    EXPECT_EQ(outputs(), "P(K(P(K())))");
}

TEST_F(RendererFrameTest, TargetGroupRunsItsFeedersAndPortlessPassesRunToo) {
    add("X"), add("E", 0, 0);
    group("G", 1, 0);
    add("I", 1, 1, "G");
    link("X", "G");
    down(0, "I");
    renderer.setTarget(node("G"));
    EXPECT_TRUE(render());
    EXPECT_EQ(runs(), "X");
    EXPECT_EQ(users(), "X0=1") << "the needed group counts; I, not needed, does not";

    renderer.setTarget(node("E"));
    EXPECT_TRUE(render());
    EXPECT_EQ(grouped(log), "frame{begin} E{reset " + kRun + "} frame{end}");
}

// Frames reuse what they derive from the set-up until it changes: every kind of edit between
// frames must show in the next frame, and again in the one after (which reuses it).
//   W (-> X, then output 1, as the steps say);  X -> Y -> Z -> output 0
TEST_F(RendererFrameTest, EditsBetweenFramesShowInTheNextFrames) {
    add("W");
    chain("X Y Z");
    struct Step {
        const char* edit;
        std::function<void()> apply;
        QString runs;
        QString outputs;
        QString users;
        bool result = true;
    };
    const QString chained = "Z(Y(X(default)))", fromW = "Z(Y(X(W(default))))";
    const QString p2 = "Z(Y(X(p2)))|W(default)";
    auto target = [&](int ref) { return [this, ref] { renderer.setTarget(ref); }; };
    const Step steps[] = {
        {"none", [] {}, "X Y Z", chained, "X0=1 Y0=1"},
        // A disabled consumer still counts as a user.
        {"disable Y", [&] { renderer.setEnabled(node("Y"), false); }, "X Z", "Z(default)", "X0=1"},
        {"enable Y, disable Z, which keeps its value",
         [&] {
             renderer.setEnabled(node("Y"), true);
             renderer.setEnabled(node("Z"), false);
             passes["Z"]->setOutput(0, QString("left over"));
         },
         "X Y", "left over", "X0=1 Y0=1"},
        {"enable Z", [&] { renderer.setEnabled(node("Z"), true); }, "X Y Z", chained, "X0=1 Y0=1"},
        // W was added first, and nothing orders it after the chain.
        {"target W", target(node("W")), "W X Y Z", chained, "X0=1 Y0=1"},
        {"W feeds X", [&] { link("W", "X"); }, "W X Y Z", fromW, "W0=1 X0=1 Y0=1"},
        {"target outside the graph", target(1000), "W X Y Z", fromW, "W0=1 X0=1 Y0=1"},
        // Only as the target is the root needed, and then a renderer output is a user.
        {"target the root", target(kRoot), "W X Y Z", fromW, "W0=1 X0=1 Y0=1 Z0=1"},
        {"no target; a parameter feeds X",
         [&] {
             renderer.setTarget(Graph::kInvalidNodeRef);
             graph()->disconnectInput(node("X"), 0);
             renderer.addParameter("p", QString("p1"));
             down(0, "X");
         },
         "X Y Z", "Z(Y(X(p1)))", "X0=1 Y0=1"},
        {"a parameter value and a second output fed by W",
         [&] {
             renderer.setParameter(0, QString("p2"));
             up(renderer.addOutput("second"), "W");
         },
         "W X Y Z", p2, "X0=1 Y0=1"},
        {"remove W", [&] { graph()->removeNode(node("W")); }, "X Y Z", p2, "X0=1 Y0=1"},
        // Until purge a removed node is still a node: as the target it runs, unfed.
        {"target the removed W", target(node("W")), "W X Y Z", p2, "X0=1 Y0=1"},
        {"no target; purge",
         [&] {
             renderer.setTarget(Graph::kInvalidNodeRef);
             graph()->purge();
         },
         "X Y Z", p2, "X0=1 Y0=1"},
        {"Y fails", [&] { passes["Y"]->failWith = 3; }, "X Y", p2, "X0=1 Y0=1", false},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.edit);
        step.apply();
        for (int frame = 0; frame < 2; ++frame) {
            EXPECT_EQ(render(), step.result);
            EXPECT_EQ(runs(), step.runs);
            EXPECT_EQ(passesThat(log, "reset"), step.runs) << "only passes that run are touched";
            EXPECT_EQ(renderer.getNumPasses(), step.runs.count(' ') + 1);
            EXPECT_EQ(outputs(), step.outputs);
            EXPECT_EQ(users(), step.users);
        }
    }
}

namespace {

// Sets its output from its input through a function.
class FunctionPass : public RenderPassHelper {
public:
    explicit FunctionPass(std::function<QVariant(const QVariant&)> f) : _f(std::move(f)) {
        addInput("in", 0), addOutput("out");
    }
    void start(RenderCallbacks*) override { _outputs[0].value = _f(_inputs.at(0).value); }

private:
    std::function<QVariant(const QVariant&)> _f;
};

}  // namespace

// Explaining one end of the chain gives a short line (benchmarks time it).
TEST(RendererLongChainTest, HundredThousandPassesRunProducersFirstAndAreExplainedInShort) {
    const int kLength = 100000;
    Renderer renderer;
    int previous = -1;
    for (int i = 0; i < kLength; ++i) {
        auto* counting = new FunctionPass([](const QVariant& in) { return in.toInt() + 1; });
        const int node = renderer.addPass(QStringLiteral("p%1").arg(i), counting, kRoot);
        if (previous != -1) {
            ASSERT_NE(renderer.getGraph()->addEdge(previous, 0, node, 0), -1);
        }
        previous = node;
    }
    ASSERT_NE(renderer.getGraph()->addUpEdge(renderer.addOutput("count"), previous, 0), -1);
    EXPECT_TRUE(renderer.render(nullptr));
    EXPECT_EQ(renderer.getNumPasses(), kLength);
    EXPECT_EQ(renderer.output(0), QVariant(kLength));
    EXPECT_EQ(renderer.explain(renderer.getGraph()->findNode("p0", kRoot)),
              "'p0' ran, needed by p0 -> p1 -> p2 -> p3 -> [99993 steps left out] -> p99997 -> "
              "p99998 -> p99999 -> output 'count'.");
    EXPECT_EQ(renderer.explain(kRoot),
              "the root is a group; its passes p0, p1, p2 and 99997 more ran; needed by "
              "p99999 -> output 'count'.");
}

// What a frame runs with stays put while it renders: a pass may not start a frame of its own,
// take the wait function away, or resize the timing ring its frame is being written into.
TEST_F(RendererFrameTest, AFrameInProgressRefusesNestingAndChangesToItsWaitAndTimingRing) {
    struct Meddling : RecordingPass {
        using RecordingPass::RecordingPass;
        void start(RenderCallbacks* c) override {
            nested = owner->render(nullptr);
            replaced = owner->setWaitFunction({});
            resized = owner->setTimingHistory(1);
            RecordingPass::start(c);
        }
        Renderer* owner = nullptr;
        bool nested = true, replaced = true, resized = true;
    };
    auto* meddling = new Meddling("M", &log);
    meddling->owner = &renderer;
    meddling->unfinishedPolls = 1;
    nodes["M"] = renderer.addPass("M", meddling, kRoot);
    up(renderer.addOutput("image"), "M");
    ASSERT_TRUE(renderer.setWaitFunction([this](const QVector<RenderPass*>&) { log << "wait.M"; }));
    renderer.setTimingEnabled(true);
    for (int frame = 0; frame < 2; ++frame) EXPECT_TRUE(render()) << "the guard is released";
    EXPECT_FALSE(meddling->nested);
    EXPECT_EQ(renderer.frameTimer().count(), 2);
    EXPECT_FALSE(meddling->replaced);
    EXPECT_EQ(passesThat(log, "M"), "wait") << "the installed function still waits";
    EXPECT_FALSE(meddling->resized);
    EXPECT_EQ(renderer.timingHistory(), 100);
    EXPECT_EQ(QJsonDocument::fromJson(renderer.traceJson())["traceEvents"].toArray().size(), 7)
        << "two metadata events, two frames, two passes and one track name";
}

// Off by default, a disabled pass keeps its producers running; switched on, the producers that
// only it needs are culled, until it is enabled again.
//   A -> B (disabled) -> image;  S -> D (disabled) -> image2;  S -> K -> k
TEST_F(RendererFrameTest, CullingBehindDisabledPassesIsOptIn) {
    chain("A B");
    chain("S D");
    add("K");
    link("S", "K");
    up(renderer.addOutput("k"), "K");
    renderer.setEnabled(node("B"), false);
    renderer.setEnabled(node("D"), false);
    EXPECT_FALSE(renderer.cullBehindDisabled());
    EXPECT_TRUE(render());
    EXPECT_EQ(runs(), "A S K");

    renderer.setCullBehindDisabled(true);
    EXPECT_TRUE(render());
    EXPECT_EQ(runs(), "S K") << "S still feeds K";
    EXPECT_EQ(renderer.outcome(node("A")), NodeOutcome::NotNeeded);
    EXPECT_EQ(renderer.outcome(node("B")), NodeOutcome::Disabled);
    ASSERT_TRUE(renderer.setMaxPassesInFlight(4));
    EXPECT_TRUE(render());
    EXPECT_EQ(runs(), "S K") << "passes in flight follow the same plan";
    ASSERT_TRUE(renderer.setMaxPassesInFlight(1));
    // The validator plans as the frame does.
    bool aNeverRuns = false;
    for (const Finding& finding : validate(renderer))
        aNeverRuns |= finding.node == node("A") && finding.message.contains("never runs");
    EXPECT_TRUE(aNeverRuns);

    // Enabling the pass again brings its producer back in the next frame.
    renderer.setEnabled(node("B"), true);
    EXPECT_TRUE(render());
    EXPECT_EQ(runs(), "A B S K");
    renderer.setCullBehindDisabled(false);
    renderer.setEnabled(node("B"), false);
    EXPECT_TRUE(render());
    EXPECT_EQ(runs(), "A S K");
}
