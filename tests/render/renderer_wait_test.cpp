// The host's wait function: called in place of the poll interval's sleep, only when no pass in
// flight has finished, with those passes; a frame without one is unchanged.
#include <Orv/Renderer.h>

#include "renderer_fixture.h"

#include <algorithm>

using namespace Vantrel::Orv;

namespace {

class RendererWaitTest : public RendererFixture {
protected:
    // Logs each wait as "wait.<pass>+<pass>", naming the passes it was handed in their order.
    void installWait() {
        ASSERT_TRUE(renderer.setWaitFunction([this](const QVector<RenderPass*>& inFlight) {
            QStringList names;
            for (RenderPass* pass : inFlight)
                names << passes.key(static_cast<RecordingPass*>(pass));
            log.append("wait." + names.join('+'));
        }));
    }
    // The log without the waits: what the passes saw.
    QStringList passCalls() const {
        QStringList calls = log;
        calls.erase(std::remove_if(calls.begin(), calls.end(),
                                   [](const QString& e) { return e.startsWith("wait."); }),
                    calls.end());
        return calls;
    }
};

}  // namespace

//   A -> B -> C -> output 0.  A finishes on its third poll, B on its second, C on its first.
TEST_F(RendererWaitTest, OneAtATimeWaitsOnlyForTheUnfinishedPass) {
    chain("A B C");
    passes["A"]->unfinishedPolls = 2;
    passes["B"]->unfinishedPolls = 1;
    EXPECT_FALSE(renderer.hasWaitFunction());
    EXPECT_TRUE(render());
    const QStringList sleeping = log;

    installWait();
    EXPECT_TRUE(renderer.hasWaitFunction());
    EXPECT_TRUE(render());
    EXPECT_EQ(grouped(log),
              "frame{begin} A{in0 reset users0=1 err=0 begin start poll} wait{A} A{poll} "
              "wait{A} A{poll end err?} B{in0 reset users0=1 err=0 begin start poll} wait{B} "
              "B{poll end err?} C{in0 reset " +
                  kRun + "} frame{end}");
    EXPECT_EQ(passCalls(), sleeping) << "the passes see the same calls either way";

    // An empty function goes back to sleeping.
    EXPECT_TRUE(renderer.setWaitFunction({}));
    EXPECT_FALSE(renderer.hasWaitFunction());
    EXPECT_TRUE(render());
    EXPECT_EQ(log, sleeping);
}

//   A, B -> C (inputs 0, 1) -> output 0.  A finishes on its fifth poll, B on its third.
TEST_F(RendererWaitTest, InFlightWaitsOnlyWhenNoPassHasFinishedWithAllOfThem) {
    add("A"), add("B"), add("C", 2, 1);
    chain("A C");
    link("B", "C", 0, 1);
    passes["A"]->unfinishedPolls = 4;
    passes["B"]->unfinishedPolls = 2;
    ASSERT_TRUE(renderer.setMaxPassesInFlight(2));
    EXPECT_TRUE(render());
    const QStringList sleeping = log;

    installWait();
    EXPECT_TRUE(render());
    // No wait after the round in which B ended: C could not start, but A is polled again at
    // once in case it finished meanwhile.
    EXPECT_EQ(grouped(log),
              "frame{begin} A{in0 reset users0=1 err=0 begin start poll} B{in0 reset users0=1 "
              "err=0 begin start poll} A{poll} B{poll} wait{A+B} A{poll} B{poll end err?} A{poll} "
              "wait{A} A{poll end err?} C{in0 in1 reset " +
                  kRun + "} frame{end}");
    EXPECT_EQ(passCalls(), sleeping);
    EXPECT_EQ(outputs(), "C(A(default),B(default))");
}
