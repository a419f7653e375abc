#include <Orv/FrameTimer.h>

#include <QThread>

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <vector>

using Vantrel::Orv::FrameTimer;

namespace {

template <int N>
void expectEmpty(const FrameTimer<N>& timer) {
    EXPECT_EQ(timer.count(), 0);
    EXPECT_EQ(timer.numSamples(), 0);
    EXPECT_EQ(timer.sum(), 0.0);
    EXPECT_EQ(timer.mean(), 0.0);
    EXPECT_EQ(timer.latest(), 0.0);
    EXPECT_FALSE(timer.isRunning());
    for (int slot = 0; slot < N; ++slot) EXPECT_EQ(timer.time(slot), 0.0) << slot;
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

TEST(FrameTimerTest, NewAndResetTimersAreEmptyAndStopWithoutStartRecordsNothing) {
    FrameTimer<100> timer;
    expectEmpty(timer);
    timer.stop();
    expectEmpty(timer);

    EXPECT_GE(recordFrame(timer, 3000), 3.0);
    timer.start();
    timer.reset();
    expectEmpty(timer);
    timer.stop();  // the reset dropped the measurement in progress
    expectEmpty(timer);
    EXPECT_EQ(timer.time(-1), 0.0);
    EXPECT_EQ(timer.time(100), 0.0);
}

// Samples are read back as stored, so the ring arithmetic is checked without trusting the clock.
TEST(FrameTimerTest, RingKeepsTheLastNSamplesInWholeMicrosecondsAndTheirTotal) {
    const int kSlots = 7;
    FrameTimer<kSlots> timer;
    std::vector<double> samples;
    for (int k = 0; k < 3 * kSlots + 2; ++k) {
        const double sample = recordFrame(timer, k % 3 == 0 ? 20 : 0);
        samples.push_back(sample);
        EXPECT_NEAR(sample * 1000.0, std::round(sample * 1000.0), 1e-6) << sample;
        EXPECT_EQ(timer.time(k % kSlots), sample) << "sample " << k << " lands in slot k % N";
        EXPECT_EQ(timer.count(), k + 1);
        EXPECT_EQ(timer.numSamples(), std::min(k + 1, kSlots));
        double lastN = 0.0;
        for (int j = std::max(0, k + 1 - kSlots); j <= k; ++j) lastN += samples[j];
        EXPECT_NEAR(timer.sum(), lastN, 1e-9) << "after " << k + 1 << " samples";
        EXPECT_NEAR(timer.mean(), lastN / timer.numSamples(), 1e-9);
    }
    EXPECT_EQ(timer.time(timer.count() % kSlots), samples[samples.size() - kSlots]) << "oldest";
}

TEST(FrameTimerTest, CopyCarriesRingAndMeasurementInProgress) {
    FrameTimer<100> timer;
    recordFrame(timer, 50);
    timer.start();
    FrameTimer<100> copy = timer;
    EXPECT_EQ(copy.count(), 1);
    EXPECT_EQ(copy.time(0), timer.time(0));
    EXPECT_TRUE(copy.isRunning());
    copy.stop();
    EXPECT_EQ(copy.count(), 2);
    EXPECT_EQ(timer.count(), 1);
}

TEST(FrameTimerTest, CountWrapsAtTheLargestIntKeepingTheCursorAndAFullRing) {
    using Vantrel::Orv::detail::nextFrameCount;
    EXPECT_EQ(nextFrameCount(INT_MAX - 1, 100), INT_MAX);
    for (int n : {1, 2, 7, 100, 1000}) {
        const int next = nextFrameCount(INT_MAX, n);
        EXPECT_EQ(next % n, (INT_MAX % n + 1) % n) << n;
        EXPECT_GE(next, n) << n;
        EXPECT_LT(next, 2 * n) << n;
    }
}
