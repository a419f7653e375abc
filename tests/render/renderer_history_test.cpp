// History inputs: a temporal pass reads an output of the frame before, kept by the renderer,
// without a group or a copy pass; it is told when that value is not real; with the memory plan
// the kept output has two places of its own.
#include <Orv/Renderer.h>

#include "renderer_fixture.h"

using namespace Vantrel::Orv;

namespace {

class RendererHistoryTest : public RendererFixture {
protected:
    // S -> T.0, and T.1 reads T's own output of the frame before: an accumulation. S writes
    // "S<frame>" so that each frame's value can be told apart.
    void accumulation() {
        add("S", 0, 1);
        add("T", 2, 1);
        link("S", "T");
        up(renderer.addOutput("image"), "T");
        ASSERT_TRUE(renderer.setHistoryInput(nodes["T"], 1, nodes["T"], 0));
        passes["S"]->onStart = [this] { passes["S"]->setOutput(0, QString("S%1").arg(++frames)); };
        passes["T"]->onStart = [this] {
            valid << (renderer.historyValid(nodes["T"], 1) ? "valid" : "reset");
        };
    }
    QString frame() {
        EXPECT_TRUE(render());
        return outputs();
    }

    int frames = 0;
    QStringList valid;
};

TEST_F(RendererHistoryTest, AHistoryInputReadsTheFrameBeforeWithoutAGroupOrACopyPass) {
    accumulation();
    EXPECT_TRUE(renderer.isHistoryInput(nodes["T"], 1));
    EXPECT_FALSE(renderer.isHistoryInput(nodes["T"], 0));
    EXPECT_EQ(frame(), "T(S1,default)");
    EXPECT_EQ(runs(), "S T");
    EXPECT_EQ(frame(), "T(S2,T(S1,default))");
    // In flight the same, and the self-read closes no loop that could stall the frame.
    ASSERT_TRUE(renderer.setMaxPassesInFlight(4));
    EXPECT_EQ(frame(), "T(S3,T(S2,T(S1,default)))");
    EXPECT_EQ(valid, QStringList({"reset", "valid", "valid"}));
    EXPECT_TRUE(renderer.historyValid(nodes["T"], 1));
    EXPECT_FALSE(renderer.historyValid(nodes["T"], 0));

    // An edge into a history input is ignored; removed, the input is fed by it again.
    link("S", "T", 0, 1);
    EXPECT_EQ(frame(), "T(S4,T(S3,T(S2,T(S1,default))))");
    renderer.removeHistoryInput(nodes["T"], 1);
    EXPECT_EQ(frame(), "T(S5,S5)");
    EXPECT_FALSE(renderer.historyValid(nodes["T"], 1));
}

// The marked input reads the frame before even when its producer runs first this frame, and
// the producer is needed for it alone.
//   U (needed only by T's history input);  T -> output
TEST_F(RendererHistoryTest, TheMarkedInputReadsTheFrameBeforeWhateverTheOrder) {
    add("U", 0, 1);
    add("T", 1, 1);
    up(renderer.addOutput("image"), "T");
    ASSERT_TRUE(renderer.setHistoryInput(nodes["T"], 0, nodes["U"], 0));
    passes["U"]->onStart = [this] { passes["U"]->setOutput(0, QString("U%1").arg(++frames)); };
    EXPECT_EQ(frame(), "T(default)");
    EXPECT_EQ(runs(), "U T");
    EXPECT_EQ(frame(), "T(U1)");
    EXPECT_EQ(renderer.explain(nodes["U"]).contains("T"), true);

    EXPECT_FALSE(renderer.setHistoryInput(nodes["T"], 1, nodes["U"], 0));
    EXPECT_FALSE(renderer.setHistoryInput(nodes["T"], 0, nodes["U"], 1));
    EXPECT_FALSE(renderer.setHistoryInput(nodes["T"], 0, kRoot, 0));
    EXPECT_FALSE(renderer.setHistoryInput(kRoot, 0, nodes["U"], 0));
}

TEST_F(RendererHistoryTest, HistoryThatIsNotRealIsReportedAndTakesTheDefault) {
    accumulation();
    frame(), frame();
    renderer.resetHistory();  // a camera cut
    EXPECT_EQ(frame(), "T(S3,default)");
    frame();
    renderer.invalidateOutputSizes();  // a resize
    EXPECT_EQ(frame(), "T(S5,default)");
    // A producer switched off leaves no history; the frame after it is back, nor does it.
    renderer.setEnabled(nodes["T"], false);
    frame();
    renderer.setEnabled(nodes["T"], true);
    EXPECT_EQ(frame(), "T(S7,default)");
    EXPECT_EQ(frame(), "T(S8,T(S7,default))");
    // A graph edit that does not touch the input keeps its history.
    add("V");
    EXPECT_EQ(frame(), "T(S9,T(S8,T(S7,default)))");
    // With the memory plan on, a new plan moves the places, so the history goes.
    renderer.setMemoryPlanning(true);
    EXPECT_EQ(frame(), "T(S10,default)");
    EXPECT_EQ(valid, QStringList({"reset", "valid", "reset", "valid", "reset", "reset",
                                  "valid", "valid", "reset"}));
}

// With the memory plan on, the output T's history input reads gets two places of its own
// beside the transient outputs, taken in turn, and no other output ever shares their bytes.
//   S -> A -> B -> T.0 -> output; T.1 reads T of the frame before.
TEST_F(RendererHistoryTest, TheKeptOutputHasTwoPlacesThatFramesTakeInTurn) {
    accumulation();
    add("A"), add("B");
    graph()->removeEdge(graph()->inputSource(nodes["T"], 0));
    link("S", "A"), link("A", "B"), link("B", "T");
    renderer.setOutputMemoryFunction([](int, int) { return OutputMemory{64, 16}; });
    renderer.setMemoryPlanning(true);
    frame();
    const qint64 first = renderer.memoryOffset(nodes["T"], 0);
    const qint64 second = renderer.historyMemoryOffset(nodes["T"], 0);
    ASSERT_GE(first, 0);
    ASSERT_GE(second, 0);
    frame();
    EXPECT_EQ(renderer.memoryOffset(nodes["T"], 0), second);
    EXPECT_EQ(renderer.historyMemoryOffset(nodes["T"], 0), first);
    EXPECT_EQ(renderer.historyMemoryOffset(nodes["A"], 0), -1);
    for (const char* other : {"S", "A", "B"}) {
        const qint64 at = renderer.memoryOffset(nodes[other], 0);
        ASSERT_GE(at, 0);
        for (const qint64 place : {first, second})
            EXPECT_TRUE(at + 64 <= place || place + 64 <= at) << other;
    }
    EXPECT_TRUE(first + 64 <= second || second + 64 <= first);
    EXPECT_GE(renderer.memoryPlan().heapSize, 4 * 64);
}

// The synchronisation plan reads a history input as of the frame before, and since the kept
// output has two copies, its write waits only for the frame before's reads.
TEST_F(RendererHistoryTest, TheSynchronisationPlanShowsTheHistoryReadAndItsWrite) {
    accumulation();
    renderer.setSyncPlanning(true);
    renderer.setPortUsageFunction([](int, PortSide side, int port) {
        return side == PortSide::Output ? 1 : 2 + port;
    });
    frame();
    const QVector<Transition> t = renderer.syncPlan().transitionsBefore(1);
    ASSERT_EQ(t.size(), 3);
    EXPECT_EQ(t[0].reason, Transition::Reason::ReadAfterWrite);
    EXPECT_EQ(t[1].reason, Transition::Reason::HistoryRead);
    EXPECT_TRUE(t[1].frameBefore);
    EXPECT_EQ(t[1].waitStep, Transition::kFrameBefore);
    EXPECT_EQ(t[1].fromUsage, 1);  // nothing reads T this frame: it ends in its write's usage
    EXPECT_EQ(t[1].toUsage, 3);
    EXPECT_EQ(t[2].reason, Transition::Reason::WriteAfterHistoryRead);
    EXPECT_EQ(t[2].waitStep, Transition::kFrameBefore);
    EXPECT_EQ(t[2].fromUsage, 3);
    EXPECT_EQ(t[2].toUsage, 1);
}

}  // namespace
