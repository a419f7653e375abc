#pragma once

/// @file
/// A thread-safe histogram of frame times.

#include <Orv/OrvCoreExport.h>

#include <QMap>
#include <QMutex>

#include <atomic>

namespace Vantrel {
namespace Orv {

/// A thread-safe histogram of frame times in 500-microsecond buckets, with running figures.
/// Samples may arrive on one thread while another dumps or clears. Once the accumulated
/// (bucketed) time passes one minute, the next accepted sample first calls flush(), which by
/// default empties the histogram. Subclasses may override flush() and dump().
class ORVCORE_EXPORT HistogramFrameTimes {
public:
    /// 1000000: the largest bucket start accepted, in us.
    static const unsigned int _frameTimeMax;
    static const unsigned int _frameTimeStep;  ///< 500: the bucket width, in us.

    HistogramFrameTimes();           ///< Empty.
    virtual ~HistogramFrameTimes();  ///< Clears without printing anything.

    /// Records one frame time in the bucket that holds it; a bucket above _frameTimeMax is
    /// dropped without trace.
    void addFrameTimeUS(unsigned int us);
    void clear();  ///< Back to the empty state.

    /// Called from addFrameTimeUS, without the lock held, when the accumulated time has passed
    /// the flush limit. The base implementation clears.
    virtual void flush();
    /// Prints the figures and one line per bucket on the debug channel; nothing when empty.
    virtual void dump();

    /// Snapshots taken under the lock, for hosts that show the histogram themselves.
    unsigned int numFrames() const;        ///< Frames recorded since the last clear.
    unsigned int totalTimeUS() const;      ///< Sum of the bucket starts of the recorded frames.
    unsigned int minFrameTimeUS() const;   ///< Smallest bucket start; _frameTimeMax when empty.
    unsigned int peakFrameTimeUS() const;  ///< Bucket start with the highest count; 0 when empty.
    unsigned int peakCount() const;        ///< Frames in the peak bucket; 0 when empty.
    QMap<unsigned int, unsigned int> buckets() const;  ///< Bucket start to frame count.

private:
    Q_DISABLE_COPY(HistogramFrameTimes)

    mutable QMutex _mutex;
    QMap<unsigned int, unsigned int> _buckets;
    // Atomic because clear() and dump() read it before taking the lock.
    std::atomic<unsigned int> _numFrames;
    unsigned int _totalTimeUS;
    unsigned int _minFrameTimeUS;
    unsigned int _peakFrameTimeUS;
    unsigned int _peakCount;
};

}  // namespace Orv
}  // namespace Vantrel
