// The frame-time histogram: bucketing, the dump's lines, the flush limit and concurrent feeding.
#include <Orv/HistogramFrameTimes.h>

#include "message_capture.h"

#include <gtest/gtest.h>

#include <QVector>

#include <climits>
#include <thread>
#include <vector>

using Vantrel::Orv::HistogramFrameTimes;

namespace {

// The running figures must always agree with the buckets they summarise.
void expectConsistent(const HistogramFrameTimes& h) {
    const auto buckets = h.buckets();
    unsigned int frames = 0, total = 0, min = HistogramFrameTimes::_frameTimeMax, peak = 0;
    for (auto it = buckets.constBegin(); it != buckets.constEnd(); ++it) {
        frames += it.value();
        total += it.key() * it.value();
        min = qMin(min, it.key());
        peak = qMax(peak, it.value());
    }
    EXPECT_EQ(QVector<unsigned int>({h.numFrames(), h.totalTimeUS(), h.minFrameTimeUS(),
                                     h.peakCount(), buckets.value(h.peakFrameTimeUS())}),
              QVector<unsigned int>({frames, total, min, peak, peak}));
}

// Records the frames seen by each flush, then dumps and clears like a host that logs per minute.
class LoggingHistogram : public HistogramFrameTimes {
public:
    void flush() override {
        framesAtFlush.push_back(numFrames());
        dump();
        clear();
    }
    std::vector<unsigned int> framesAtFlush;
};

}  // namespace

TEST(HistogramFrameTimes, DumpPrintsFiguresAndMarkedBuckets) {
    MessageCapture capture;
    HistogramFrameTimes h;
    h.dump();  // empty: nothing
    for (unsigned int us : {16400u, 16400u, 33333u, 16400u}) h.addFrameTimeUS(us);
    h.dump();
    h.clear();
    h.dump();
    { LoggingHistogram().addFrameTimeUS(1000); }  // destroyed without printing
    EXPECT_EQ(capture.debug(),
              QStringList({"TIME DUMP      4 frames  81000 us  16000 us",
                           "       16000 us      3 <", "       33000 us      1 |"}));
    EXPECT_EQ(capture.count(), 3);
    expectConsistent(h);

    // Threshold is peak / 10: with a peak of 25, a count of 3 is marked and a count of 2 is not.
    // 9000 reaches 25 first, so it keeps the peak when 2000 ties with it.
    for (int i = 0; i < 25; ++i) h.addFrameTimeUS(9000 + i);
    for (int i = 0; i < 25; ++i) h.addFrameTimeUS(2000);
    for (unsigned int us : {1000000u, 1000000u, 700u, 700u, 700u}) h.addFrameTimeUS(us);
    capture.clear();
    h.dump();
    EXPECT_EQ(capture.debug(),
              QStringList({"TIME DUMP     55 frames 2276500 us    500 us",
                           "         500 us      3 |", "        2000 us     25 |",
                           "        9000 us     25 <", "      1000000 us      2  "}));
}

TEST(HistogramFrameTimes, SamplesFallIntoBucketsAndOneAfterTheFlushLimitStartsAFreshHistogram) {
    HistogramFrameTimes base;
    for (unsigned int us : {0u, 499u, 500u, 1000499u, 1000500u, UINT_MAX}) base.addFrameTimeUS(us);
    EXPECT_EQ(base.buckets(), (QMap<unsigned int, unsigned int>{{0, 2}, {500, 1}, {1000000, 1}}));
    EXPECT_EQ(base.peakFrameTimeUS(), 0u);
    expectConsistent(base);
    base.clear();

    for (int i = 0; i < 61; ++i) base.addFrameTimeUS(1000000);  // 60000000 is not over the limit
    base.addFrameTimeUS(2000000);                               // dropped: no flush either
    EXPECT_EQ(base.numFrames(), 61u);
    base.addFrameTimeUS(700);
    EXPECT_EQ(base.buckets(), (QMap<unsigned int, unsigned int>{{500, 1}}));
    expectConsistent(base);

    // An overriding flush runs once, before the new sample, without the lock held.
    MessageCapture capture;
    LoggingHistogram logged;
    for (int i = 0; i < 62; ++i) logged.addFrameTimeUS(1000000);
    EXPECT_EQ(logged.framesAtFlush, std::vector<unsigned int>{61});
    EXPECT_EQ(capture.debug(), QStringList({"TIME DUMP     61 frames 61000000 us 1000000 us",
                                            "      1000000 us     61 <"}));
    EXPECT_EQ(logged.numFrames(), 1u);
}

// Enough samples for the feeders to overlap, yet 50 s in all: under the flush limit.
TEST(HistogramFrameTimes, ConcurrentFeedersLoseNoFrame) {
    MessageCapture capture;
    HistogramFrameTimes h;
    std::vector<std::thread> threads;
    for (unsigned int t = 0; t < 4; ++t) {
        threads.emplace_back([&h, t] {
            for (unsigned int i = 0; i < 50000; ++i) h.addFrameTimeUS(500 * ((t + i) % 2));
        });
    }
    threads.emplace_back([&h] {
        for (int i = 0; i < 50; ++i) h.dump();
    });
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(h.numFrames(), 200000u);
    expectConsistent(h);
}
