// Frames with more than one pass in flight: when passes start, how they are polled and ended,
// and that each pass still receives its own calls in the same order.
#include <Orv/Renderer.h>

#include "renderer_fixture.h"

using namespace Vantrel::Orv;

using RendererOverlapTest = RendererFixture;

//   A -> C.0;  B -> C.1;  C -> output 0.  A finishes on its third poll, B on its second.
TEST_F(RendererOverlapTest, IndependentPassesAreInFlightTogetherAndKeepTheirOwnCalls) {
    add("A"), add("B"), add("C", 2, 1);
    chain("A C");
    link("B", "C", 0, 1);
    passes["A"]->unfinishedPolls = 2;
    passes["B"]->unfinishedPolls = 1;

    EXPECT_EQ(renderer.maxPassesInFlight(), 1);
    EXPECT_TRUE(render());
    EXPECT_EQ(grouped(log),
              "frame{begin} A{in0 reset users0=1 err=0 begin start poll poll poll "
              "end err?} B{in0 reset users0=1 err=0 begin start poll poll end err?} "
              "C{in0 in1 reset " +
                  kRun + "} frame{end}");

    ASSERT_TRUE(renderer.setMaxPassesInFlight(2));
    EXPECT_TRUE(render());
    // Each is asked once as it starts; then each poll round asks them in the order they
    // started and ends at once whichever has finished; C starts only when both have ended.
    // Taken pass by pass, the calls are those of one at a time.
    EXPECT_EQ(grouped(log),
              "frame{begin} A{in0 reset users0=1 err=0 begin start poll} B{in0 reset "
              "users0=1 err=0 begin start poll} A{poll} B{poll end err?} A{poll end err?} "
              "C{in0 in1 reset " +
                  kRun + "} frame{end}");
    EXPECT_EQ(outputs(), "C(A(default),B(default))");
    EXPECT_EQ(renderer.getNumPasses(), 3);

    EXPECT_FALSE(renderer.setMaxPassesInFlight(0));
    EXPECT_FALSE(renderer.setMaxPassesInFlight(-3));
    EXPECT_EQ(renderer.maxPassesInFlight(), 2);
}

//   A, B, D -> C (inputs 0, 1, 2) -> output 0;  E -> output 1.  A finishes on its third poll,
// B and D on their second; C and E as they start.
TEST_F(RendererOverlapTest, TheLimitHoldsAWaitingPassHoldsBackNoOtherAndAFailureStopsNewStarts) {
    add("A"), add("B"), add("D"), add("C", 3, 1), add("E");
    chain("A C");
    link("B", "C", 0, 1);
    link("D", "C", 0, 2);
    chain("E");
    passes["A"]->unfinishedPolls = 2;
    passes["B"]->unfinishedPolls = 1;
    passes["D"]->unfinishedPolls = 1;
    ASSERT_TRUE(renderer.setMaxPassesInFlight(2));
    EXPECT_TRUE(render());
    // D starts only once B has left a place free.
    EXPECT_EQ(grouped(log),
              "frame{begin} A{in0 reset users0=1 err=0 begin start poll} B{in0 reset "
              "users0=1 err=0 begin start poll} A{poll} B{poll end err?} D{in0 reset "
              "users0=1 err=0 begin start poll} A{poll end err?} D{poll end err?} "
              "C{in0 in1 in2 reset " +
                  kRun + "} E{in0 reset " + kRun + "} frame{end}");

    // With a third place, E starts while C, before it in the schedule, still waits for A.
    ASSERT_TRUE(renderer.setMaxPassesInFlight(3));
    EXPECT_TRUE(render());
    EXPECT_EQ(runs(), "A B D E C");

    // A disabled producer is not waited for: C starts once B and D have ended, taking A's
    // default. Enabling an enabled pass first changes nothing.
    renderer.setEnabled(node("B"), true);
    renderer.setEnabled(node("A"), false);
    EXPECT_TRUE(render());
    EXPECT_EQ(runs(), "B D E C");
    EXPECT_EQ(outputs(), "C(default,B(default),D(default))|E(default)");

    // B fails while A is still working: nothing new starts, but A, in flight, is ended.
    renderer.setEnabled(node("A"), true);
    ASSERT_TRUE(renderer.setMaxPassesInFlight(2));
    passes["B"]->unfinishedPolls = 0;
    passes["B"]->failWith = 5;
    passes["C"]->setOutput(0, QString("kept"));
    EXPECT_FALSE(render());
    EXPECT_EQ(grouped(log),
              "frame{begin} A{in0 reset users0=1 err=0 begin start poll} B{in0 reset "
              "users0=1 err=0 begin start poll end err?} A{poll poll end err?} frame{end}");
    EXPECT_EQ(renderer.getNumPasses(), 2);
    EXPECT_EQ(outputs(), "kept|E(default)") << "the outputs are still collected";
}

//   A -> C -> output 0;  B -> output 1;  D -> output 2.  A finishes on its second poll, B on
// its third. C, passed over while A works, is ready when A ends and starts before D, which
// comes after it in the schedule.
TEST_F(RendererOverlapTest, APassThatHadToWaitStartsAheadOfLaterOnesOnceReady) {
    add("A"), add("C"), add("B"), add("D");
    chain("A C");
    chain("B");
    chain("D");
    passes["A"]->unfinishedPolls = 1;
    passes["B"]->unfinishedPolls = 2;
    ASSERT_TRUE(renderer.setMaxPassesInFlight(2));
    EXPECT_TRUE(render());
    EXPECT_EQ(runs(), "A B C D");
}

//   A -> B -> C -> output 0;  A switches B from inside its start.
// A flag is read when the frame reaches its pass, one at a time and in flight alike, and the
// latest frame's outcomes describe what ran.
TEST_F(RendererOverlapTest, ASwitchFromInsideAFrameCountsForThePassesNotYetReached) {
    chain("A B C");
    bool switchTo = false;
    passes["A"]->onStart = [&] { renderer.setEnabled(node("B"), switchTo); };
    for (int limit : {1, 4}) {
        ASSERT_TRUE(renderer.setMaxPassesInFlight(limit));
        renderer.setEnabled(node("B"), true);
        switchTo = false;
        EXPECT_TRUE(render());
        EXPECT_EQ(runs(), "A C") << limit;
        EXPECT_EQ(outputs(), "C(default)") << limit;
        EXPECT_EQ(renderer.outcome(node("B")), NodeOutcome::Disabled) << limit;
        EXPECT_EQ(renderer.getNumPasses(), 2) << limit;

        switchTo = true;  // B starts the frame switched off
        EXPECT_TRUE(render());
        EXPECT_EQ(runs(), "A B C") << limit;
        EXPECT_EQ(outputs(), "C(B(A(default)))") << limit;
        EXPECT_EQ(renderer.outcome(node("B")), NodeOutcome::Ran) << limit;
    }
}

//   A -> C.0;  B -> D;  C, D -> E -> output 0.  Passes that finish as they start make the calls
// of one pass at a time; a pass that lags lets the passes ready behind it start in its place,
// and a frame after a lagging or failing one is as before.
TEST_F(RendererOverlapTest, FramesRepeatTheirCallsAndALaggingPassLetsOthersStart) {
    add("A"), add("B"), add("C", 2, 1), add("D"), add("E", 2, 1);
    chain("A C E");
    link("B", "D");
    link("D", "E", 0, 1);
    const QString prompt = "frame{begin} A{in0 reset users0=1 " + kRun + "} B{in0 reset users0=1 " +
                           kRun + "} C{in0 in1 reset users0=1 " + kRun + "} D{in0 reset users0=1 " +
                           kRun + "} E{in0 in1 reset " + kRun + "} frame{end}";
    for (int limit : {1, 2, 2}) {
        ASSERT_TRUE(renderer.setMaxPassesInFlight(limit));
        EXPECT_TRUE(render());
        EXPECT_EQ(grouped(log), prompt) << limit;
    }

    // B lags: C starts in its place, and D once B has ended.
    passes["B"]->unfinishedPolls = 1;
    EXPECT_TRUE(render());
    EXPECT_EQ(grouped(log),
              "frame{begin} A{in0 reset users0=1 " + kRun +
                  "} B{in0 reset users0=1 err=0 begin start poll} C{in0 in1 reset users0=1 " +
                  kRun + "} B{poll end err?} D{in0 reset users0=1 " + kRun + "} E{in0 in1 reset " +
                  kRun + "} frame{end}");

    passes["B"]->unfinishedPolls = 0;
    passes["B"]->failWith = 3;
    EXPECT_FALSE(render());
    EXPECT_EQ(runs(), "A B");
    passes["B"]->failWith = 0;
    EXPECT_TRUE(render());
    EXPECT_EQ(grouped(log), prompt);

    // A new edge makes C wait for D.
    link("D", "C", 0, 1);
    EXPECT_TRUE(render());
    EXPECT_EQ(runs(), "A B D C E");
    EXPECT_EQ(outputs(), "E(C(A(default),D(B(default))),D(B(default)))");
}

//   Y -> G.in;  G[ G.in -> X.0;  Q -> X.1;  X -> G.out ];  G.out -> H.in;  H.out -> Y;
//   Y -> output 0.
// Nothing inside H feeds its output, so Y reads its default. The frame meets Y first and cuts
// the loop at X's input: the schedule is Q, X, Y, and X reads Y's output of the frame before.
// In flight, Y is ready at once, but must not start before X has been fed.
TEST_F(RendererOverlapTest, APassReadingTheFrameBeforeIsFedBeforeThatPassRunsAgain) {
    add("Y");
    group("G", 1, 1);
    group("H", 1, 1);
    add("Q", 1, 1, "G");
    add("X", 2, 1, "G");
    down(0, "X");
    link("Q", "X", 0, 1);
    up(0, "X");
    link("G", "H");
    link("H", "Y");
    link("Y", "G");
    up(renderer.addOutput("image"), "Y");

    QString oneAtATime;
    for (int limit : {1, 4}) {
        ASSERT_TRUE(renderer.setMaxPassesInFlight(limit));
        passes["Y"]->setOutput(0, QString("Y before"));
        EXPECT_TRUE(render());
        EXPECT_EQ(runs(), "Q X Y") << limit;
        EXPECT_EQ(passes["X"]->output(0).toString(), "X(Y before,Q(default))") << limit;
        EXPECT_EQ(outputs(), "Y(default)") << limit;
        if (limit == 1)
            oneAtATime = grouped(log);
        else
            EXPECT_EQ(grouped(log), oneAtATime);
    }
    // A lagging Q holds X back, and with it Y.
    passes["Q"]->unfinishedPolls = 2;
    passes["Y"]->setOutput(0, QString("Y before"));
    EXPECT_TRUE(render());
    EXPECT_EQ(runs(), "Q X Y");
    EXPECT_EQ(passes["X"]->output(0).toString(), "X(Y before,Q(default))");
}
