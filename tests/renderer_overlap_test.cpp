// Frames with more than one pass in flight: when passes start, how they are polled and ended,
// and that each pass still receives its own calls in the same order.
#include <Orv/Renderer.h>

#include "renderer_fixture.h"

#include <QThread>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

using namespace Vantrel::Orv;

namespace {

class RendererOverlapTest : public RendererFixture {
protected:
    // The calls `pass` received, in order.
    QStringList callsOf(const QString& pass) const {
        QStringList calls;
        for (const QString& entry : log) {
            if (entry.section('.', 0, 0) == pass) calls << entry.section('.', 1);
        }
        return calls;
    }
};

}  // namespace

//   A -> C.0;  B -> C.1;  C -> output 0.  A finishes on its third poll, B on its second.
TEST_F(RendererOverlapTest, IndependentPassesAreInFlightTogetherAndKeepTheirOwnCalls) {
    add("A"), add("B"), add("C", 2, 1);
    chain("A C");
    link("B", "C", 0, 1);
    passes["A"]->unfinishedPolls = 2;
    passes["B"]->unfinishedPolls = 1;

    EXPECT_EQ(renderer.maxPassesInFlight(), 1);
    EXPECT_TRUE(render());
    QHash<QString, QStringList> oneAtATime;
    for (const char* pass : {"A", "B", "C"}) oneAtATime[pass] = callsOf(pass);
    EXPECT_EQ(grouped(log),
              "frame{begin} A{in0 reset users0=1 err=0 begin start poll poll poll "
              "end err?} B{in0 reset users0=1 err=0 begin start poll poll end err?} "
              "C{in0 in1 reset " +
                  kRun + "} frame{end}");

    ASSERT_TRUE(renderer.setMaxPassesInFlight(2));
    EXPECT_TRUE(render());
    // Both start before either is polled; each poll round asks them in the order they started
    // and ends at once whichever has finished; C starts only when both have ended.
    EXPECT_EQ(grouped(log),
              "frame{begin} A{in0 reset users0=1 err=0 begin start} B{in0 reset "
              "users0=1 err=0 begin start} A{poll} B{poll} A{poll} B{poll end err?} "
              "A{poll end err?} C{in0 in1 reset " +
                  kRun + "} frame{end}");
    for (const char* pass : {"A", "B", "C"}) EXPECT_EQ(callsOf(pass), oneAtATime[pass]) << pass;
    EXPECT_EQ(outputs(), "C(A(default),B(default))");
    EXPECT_EQ(renderer.getNumPasses(), 3);

    EXPECT_FALSE(renderer.setMaxPassesInFlight(0));
    EXPECT_FALSE(renderer.setMaxPassesInFlight(-3));
    EXPECT_EQ(renderer.maxPassesInFlight(), 2);
}

//   A, B, D -> C (inputs 0, 1, 2) -> output 0;  E -> output 1.  A finishes on its second poll.
TEST_F(RendererOverlapTest, TheLimitHoldsAndAWaitingPassHoldsBackNoOther) {
    add("A"), add("B"), add("D"), add("C", 3, 1), add("E");
    chain("A C");
    link("B", "C", 0, 1);
    link("D", "C", 0, 2);
    chain("E");
    passes["A"]->unfinishedPolls = 1;
    ASSERT_TRUE(renderer.setMaxPassesInFlight(2));
    EXPECT_TRUE(render());
    // D starts only once B has left a place free.
    EXPECT_EQ(grouped(log),
              "frame{begin} A{in0 reset users0=1 err=0 begin start} B{in0 reset "
              "users0=1 err=0 begin start} A{poll} B{poll end err?} D{in0 reset "
              "users0=1 err=0 begin start} A{poll end err?} D{poll end err?} C{in0 "
              "in1 in2 reset "
              "err=0 begin start} E{in0 reset err=0 begin start} "
              "C{poll end err?} E{poll end err?} frame{end}");

    // With a third place, E starts while C, before it in the schedule, still waits for A.
    ASSERT_TRUE(renderer.setMaxPassesInFlight(3));
    EXPECT_TRUE(render());
    EXPECT_EQ(runs(), "A B D E C");

    // A disabled producer is not waited for: C starts once B and D have ended, taking A's
    // default.
    renderer.setEnabled(node("A"), false);
    EXPECT_TRUE(render());
    EXPECT_EQ(runs(), "B D E C");
    EXPECT_EQ(outputs(), "C(default,B(default),D(default))|E(default)");
}

//   A, B, D -> C (inputs 0, 1, 2) -> output 0.  B fails while A is still working.
TEST_F(RendererOverlapTest, AFailureStopsNewStartsButPassesInFlightAreEnded) {
    add("A"), add("B"), add("D"), add("C", 3, 1);
    chain("A C");
    link("B", "C", 0, 1);
    link("D", "C", 0, 2);
    passes["A"]->unfinishedPolls = 2;
    passes["B"]->failWith = 5;
    passes["C"]->setOutput(0, QString("kept"));
    ASSERT_TRUE(renderer.setMaxPassesInFlight(2));
    EXPECT_FALSE(render());
    EXPECT_EQ(grouped(log),
              "frame{begin} A{in0 reset users0=1 err=0 begin start} B{in0 reset "
              "users0=1 err=0 begin start} A{poll} B{poll end err?} A{poll poll end "
              "err?} frame{end}");
    EXPECT_EQ(renderer.getNumPasses(), 2);
    EXPECT_EQ(outputs(), "kept") << "the outputs are still collected";
}

namespace {

// Hands its work to a thread of its own, which finishes it once the test lets it; counts how
// many passes are in flight at once.
class WorkerPass : public RenderPassHelper {
public:
    WorkerPass(std::atomic<int>* inFlight, std::atomic<int>* peak)
        : _inFlight(inFlight), _peak(peak), _worker([this] { work(); }) {
        addInput("in", 0), addOutput("out");
    }
    ~WorkerPass() override {
        {
            std::lock_guard<std::mutex> lock(_mutex);
            _quit = true;
        }
        _wake.notify_one();
        _worker.join();
    }
    void start(RenderCallbacks*) override {
        const int now = ++*_inFlight;
        for (int seen = *_peak; now > seen && !_peak->compare_exchange_weak(seen, now);) {
        }
        _done = false;
        {
            std::lock_guard<std::mutex> lock(_mutex);
            _job = true;
        }
        _wake.notify_one();
    }
    bool isFinished() const override { return _done; }
    void endFrame(RenderCallbacks* callbacks) override {
        --*_inFlight;
        _outputs[0].value = _inputs[0].value.toInt() + 1;
        RenderPassHelper::endFrame(callbacks);
    }

private:
    void work() {
        std::unique_lock<std::mutex> lock(_mutex);
        for (;;) {
            _wake.wait(lock, [this] { return _job || _quit; });
            if (_quit) return;
            _job = false;
            QThread::usleep(200);
            _done = true;
        }
    }

    std::atomic<int>* _inFlight;
    std::atomic<int>* _peak;
    std::mutex _mutex;
    std::condition_variable _wake;
    bool _job = false;
    bool _quit = false;
    std::atomic<bool> _done{false};
    std::thread _worker;
};

}  // namespace

// Four passes on worker threads feed a fifth: with four in flight all four work at once.
TEST(RendererOverlapThreadsTest, PassesOnWorkerThreadsOverlapUpToTheLimit) {
    for (int limit : {1, 3, 4}) {
        SCOPED_TRACE(limit);
        std::atomic<int> inFlight{0};
        std::atomic<int> peak{0};
        QStringList sumLog;  // outlives the renderer, which deletes the pass
        Renderer renderer;
        ASSERT_TRUE(renderer.setMaxPassesInFlight(limit));
        QVector<int> sources;
        for (int k = 0; k < 4; ++k)
            sources << renderer.addPass("source", new WorkerPass(&inFlight, &peak), kRoot);
        auto* sum = new RecordingPass("sum", &sumLog, 4, 1);
        const int sink = renderer.addPass("sum", sum, kRoot);
        for (int k = 0; k < 4; ++k)
            ASSERT_NE(renderer.getGraph()->addEdge(sources[k], 0, sink, k), -1);
        ASSERT_NE(renderer.getGraph()->addUpEdge(renderer.addOutput("sum"), sink, 0), -1);
        for (int frame = 0; frame < 3; ++frame) EXPECT_TRUE(renderer.render(nullptr));
        EXPECT_EQ(peak.load(), limit);
        EXPECT_EQ(inFlight.load(), 0);
        EXPECT_EQ(renderer.output(0).toString(), "sum(1,1,1,1)");
    }
}
