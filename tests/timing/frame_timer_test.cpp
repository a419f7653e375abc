// The frame timer's ring of samples, its running total, and the count's wrap at the largest int.
#include <Orv/FrameTimer.h>

#include <QThread>

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using Vantrel::Orv::FrameTimer;

namespace {

template <int N>
void expectEmpty(const FrameTimer<N>& timer) {
    EXPECT_TRUE(timer.count() == 0 && timer.numSamples() == 0 && !timer.isRunning());
    EXPECT_TRUE(timer.sum() == 0.0 && timer.mean() == 0.0 && timer.latest() == 0.0);
    for (int slot = -1; slot <= N; ++slot) EXPECT_EQ(timer.time(slot), 0.0) << slot;
}

// Records one frame of at least `micros` and returns the stored sample.
template <int N>
double recordFrame(FrameTimer<N>& timer, unsigned long micros) {
    timer.start();
    if (micros > 0) QThread::usleep(micros);
    timer.stop();
    return timer.latest();
}

}  // namespace

// A copy carries the ring and the measurement in progress; a reset drops both.
TEST(FrameTimerTest, EmptyCopiedAndResetTimers) {
    FrameTimer<100> timer;
    timer.stop();  // without start: records nothing
    expectEmpty(timer);
    EXPECT_GE(recordFrame(timer, 3000), 3.0);
    timer.start();
    FrameTimer<100> copy = timer;
    EXPECT_EQ(copy.time(0), timer.time(0));
    copy.stop();
    EXPECT_EQ(copy.count(), 2);
    EXPECT_EQ(timer.count(), 1);
    timer.reset();
    timer.stop();
    expectEmpty(timer);
}

// Samples are read back as stored, so the ring arithmetic is checked without trusting the clock.
TEST(FrameTimerTest, RingKeepsTheLastNSamplesInWholeMicrosecondsAndTheirTotal) {
    const int kSlots = 7;
    FrameTimer<kSlots> timer;
    std::vector<double> samples;
    for (int k = 0; k < 3 * kSlots + 2; ++k) {
        SCOPED_TRACE(k);
        const double sample = recordFrame(timer, k % 3 == 0 ? 20 : 0);
        samples.push_back(sample);
        EXPECT_NEAR(sample * 1000.0, std::round(sample * 1000.0), 1e-6);
        EXPECT_EQ(timer.time(k % kSlots), sample);
        EXPECT_EQ(timer.count(), k + 1);
        EXPECT_EQ(timer.numSamples(), std::min(k + 1, kSlots));
        double lastN = 0.0;
        for (int j = std::max(0, k + 1 - kSlots); j <= k; ++j) lastN += samples[j];
        EXPECT_NEAR(timer.sum(), lastN, 1e-9);
        EXPECT_NEAR(timer.mean(), lastN / timer.numSamples(), 1e-9);
    }
}

TEST(FrameTimerTest, CountWrapsAtTheLargestIntKeepingTheCursorAndAFullRing) {
    using Vantrel::Orv::detail::nextFrameCount;
    EXPECT_EQ(nextFrameCount(INT_MAX - 1, 100), INT_MAX);
    for (int n : {1, 2, 7, 100, 1000}) {
        const int next = nextFrameCount(INT_MAX, n);
        EXPECT_EQ(next % n, (INT_MAX % n + 1) % n) << n;
        EXPECT_TRUE(next >= n && next < 2 * n) << n;
    }
}
