#pragma once

/// @file
/// The ring of the last frame durations that renderers and passes keep.

#include <QElapsedTimer>
#include <QtGlobal>

#include <climits>

namespace Vantrel {
namespace Orv {

namespace detail {

// The sample count that follows `count` in a ring of n slots. At the largest int it wraps to a
// value in [n, 2n) with the same cursor, so the slot sequence and the "ring is full" state survive.
constexpr int nextFrameCount(int count, int n) {
    return count < INT_MAX ? count + 1 : n + (count % n + 1) % n;
}

}  // namespace detail

/// The durations of the last N frames, in milliseconds at microsecond resolution, in a ring with
/// their running total. A value type: copying it copies a measurement in progress too.
///
/// Renderer and RenderPassHelper each keep a FrameTimer<100>. A sample lands in slot
/// count() % N, so once the ring is full the oldest sample is replaced.
template <int N>
class FrameTimer {
    static_assert(N > 0, "a frame timer needs at least one slot");

public:
    FrameTimer() : _count(0), _sum(0.0) { reset(); }  ///< Idle, with an empty ring.

    /// Back to idle with an empty ring: count 0, sum 0.0, every slot 0.0.
    void reset() {
        _timer.invalidate();
        _count = 0;
        _sum = 0.0;
        for (double& time : _times) time = 0.0;
    }

    /// Starts a frame; restarts it when one is already being timed.
    void start() { _timer.start(); }

    /// Records the time since start() as one sample; does nothing when no frame is being timed.
    void stop() {
        if (!_timer.isValid()) return;
        const double sample = double(_timer.nsecsElapsed() / 1000) / 1000.0;
        _timer.invalidate();
        const int slot = _count % N;
        const double previous = _times[slot];
        _times[slot] = sample;
        _count = detail::nextFrameCount(_count, N);
        _sum += sample - previous;
    }

    bool isRunning() const { return _timer.isValid(); }  ///< Between start() and stop().
    int count() const { return _count; }                 ///< Samples since construction or reset().
    double sum() const { return _sum; }                  ///< Total of the ring, ms.
    /// The sample in a slot, ms; 0.0 for an empty slot or one outside the ring.
    double time(int slot) const { return slot >= 0 && slot < N ? _times[slot] : 0.0; }
    int numSamples() const { return _count < N ? _count : N; }  ///< Meaningful slots.
    /// Mean of the meaningful slots, ms; 0 when empty.
    double mean() const { return _count > 0 ? _sum / numSamples() : 0.0; }
    /// The most recent sample, ms; 0 when empty.
    double latest() const { return _count > 0 ? _times[(_count - 1) % N] : 0.0; }
    static constexpr int size() { return N; }  ///< Number of slots in the ring.

private:
    QElapsedTimer _timer;
    int _count;
    double _sum;
    double _times[N];
};

}  // namespace Orv
}  // namespace Vantrel
