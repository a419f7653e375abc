#include <Orv/FrameTimer.h>

#include <QThread>
#include <QtGlobal>

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

// Records one short frame and returns the sample the timer stored.
template <int N>
double recordFrame(FrameTimer<N>& timer, unsigned long micros) {
    timer.start();
    if (micros > 0) QThread::usleep(micros);
    timer.stop();
    return timer.latest();
}

bool isWholeMicroseconds(double ms) {
    return std::fabs(ms * 1000.0 - std::round(ms * 1000.0)) < 1e-6;
}

}  // namespace

TEST(FrameTimerTest, NewAndResetTimersAreEmptyAndStopWithoutStartRecordsNothing) {
    FrameTimer<100> timer;
    expectEmpty(timer);

    timer.stop();
    expectEmpty(timer);

    recordFrame(timer, 0);
    recordFrame(timer, 0);
    EXPECT_EQ(timer.count(), 2);
    timer.start();
    EXPECT_TRUE(timer.isRunning());
    timer.reset();
    expectEmpty(timer);
    timer.stop();  // the reset dropped the measurement in progress
    EXPECT_EQ(timer.count(), 0);

    EXPECT_EQ(timer.time(-1), 0.0);
    EXPECT_EQ(timer.time(100), 0.0);
}

TEST(FrameTimerTest, SampleIsTheElapsedTimeInWholeMicroseconds) {
    FrameTimer<100> timer;
    const double sample = recordFrame(timer, 3000);
    EXPECT_GE(sample, 3.0);
    EXPECT_TRUE(isWholeMicroseconds(sample)) << sample;
    EXPECT_EQ(timer.time(0), sample);
    EXPECT_EQ(timer.sum(), sample);
    EXPECT_EQ(timer.mean(), sample);
    EXPECT_FALSE(timer.isRunning());
}

// Every sample is read back from the ring as it is stored, so the ring arithmetic is checked
// against the samples themselves rather than against the clock.
TEST(FrameTimerTest, RingKeepsTheLastNSamplesAndTheirTotal) {
    const int kSlots = 7;
    FrameTimer<kSlots> timer;
    std::vector<double> samples;
    for (int k = 0; k < 3 * kSlots + 2; ++k) {
        const double sample = recordFrame(timer, k % 3 == 0 ? 20 : 0);
        samples.push_back(sample);
        ASSERT_TRUE(isWholeMicroseconds(sample));
        EXPECT_EQ(timer.time(k % kSlots), sample) << "sample " << k << " lands in slot k % N";
        EXPECT_EQ(timer.count(), k + 1);
        EXPECT_EQ(timer.numSamples(), qMin(k + 1, kSlots));

        double lastN = 0.0;
        for (int j = qMax(0, k + 1 - kSlots); j <= k; ++j) lastN += samples[j];
        EXPECT_NEAR(timer.sum(), lastN, 1e-9) << "after " << k + 1 << " samples";
        EXPECT_NEAR(timer.mean(), lastN / timer.numSamples(), 1e-9);
    }
    // The oldest surviving sample sits at the cursor.
    EXPECT_EQ(timer.time(timer.count() % kSlots), samples[samples.size() - kSlots]);
}

TEST(FrameTimerTest, CopyCarriesRingAndMeasurementInProgress) {
    FrameTimer<100> timer;
    recordFrame(timer, 50);
    recordFrame(timer, 0);
    timer.start();

    FrameTimer<100> copy = timer;
    EXPECT_EQ(copy.count(), 2);
    EXPECT_EQ(copy.sum(), timer.sum());
    EXPECT_EQ(copy.time(0), timer.time(0));
    EXPECT_EQ(copy.time(1), timer.time(1));
    EXPECT_TRUE(copy.isRunning());

    copy.stop();
    EXPECT_EQ(copy.count(), 3);
    EXPECT_EQ(timer.count(), 2);
}

TEST(FrameTimerTest, CountWrapsAtTheLargestIntKeepingTheCursorAndAFullRing) {
    using Vantrel::Orv::detail::nextFrameCount;
    EXPECT_EQ(nextFrameCount(0, 100), 1);
    EXPECT_EQ(nextFrameCount(INT_MAX - 1, 100), INT_MAX);
    for (int n : {1, 2, 7, 100, 1000}) {
        const int next = nextFrameCount(INT_MAX, n);
        EXPECT_EQ(next % n, (INT_MAX % n + 1) % n) << n;
        EXPECT_GE(next, n) << n;
        EXPECT_LT(next, 2 * n) << n;
    }
}
