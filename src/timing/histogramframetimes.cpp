#include <Orv/HistogramFrameTimes.h>

#include <QtGlobal>

#if defined(__SANITIZE_THREAD__)
#define ORV_TSAN_LOCKS 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define ORV_TSAN_LOCKS 1
#endif
#endif
#ifdef ORV_TSAN_LOCKS
#include <sanitizer/tsan_interface.h>
#endif

namespace Vantrel {
namespace Orv {

// Defined here, not in the class, so that they are exported data symbols.
const unsigned int HistogramFrameTimes::_frameTimeMax = 1000000;
const unsigned int HistogramFrameTimes::_frameTimeStep = 500;

namespace {

// One minute of accumulated bucketed time. The test runs before each accepted sample and a
// sample adds at most _frameTimeMax, so a flushing histogram stays below 61000000: no overflow.
const unsigned int kFlushLimitUS = 60000000;

// The early-out reads only decide whether to proceed; every write happens under the mutex,
// which orders them, so relaxed ordering is enough.
const std::memory_order kRelaxed = std::memory_order_relaxed;

// Scoped lock of the histogram's mutex. Qt 5 waits for a contended QMutex inside its own
// (uninstrumented) library, so under ThreadSanitizer the lock is announced explicitly; otherwise
// every contended section would be reported as a race.
class Locker {
public:
    explicit Locker(QMutex& mutex) : _mutex(mutex) { relock(); }
    ~Locker() {
        if (_locked) unlock();
    }
    Q_DISABLE_COPY(Locker)

    void relock() {
#ifdef ORV_TSAN_LOCKS
        __tsan_mutex_pre_lock(&_mutex, 0);
#endif
        _mutex.lock();
#ifdef ORV_TSAN_LOCKS
        __tsan_mutex_post_lock(&_mutex, 0, 0);
#endif
        _locked = true;
    }
    void unlock() {
        _locked = false;
#ifdef ORV_TSAN_LOCKS
        __tsan_mutex_pre_unlock(&_mutex, 0);
#endif
        _mutex.unlock();
#ifdef ORV_TSAN_LOCKS
        __tsan_mutex_post_unlock(&_mutex, 0);
#endif
    }

private:
    QMutex& _mutex;
    bool _locked = false;
};

}  // namespace

HistogramFrameTimes::HistogramFrameTimes()
    : _numFrames(0),
      _totalTimeUS(0),
      _minFrameTimeUS(_frameTimeMax),
      _peakFrameTimeUS(0),
      _peakCount(0) {}

HistogramFrameTimes::~HistogramFrameTimes() {
    clear();
#ifdef ORV_TSAN_LOCKS
    // The memory may next hold another mutex, which must not inherit this one's history.
    __tsan_mutex_destroy(&_mutex, 0);
#endif
}

void HistogramFrameTimes::addFrameTimeUS(unsigned int us) {
    const unsigned int bucket = (us / _frameTimeStep) * _frameTimeStep;
    if (bucket > _frameTimeMax) return;

    Locker lock(_mutex);
    // The flush test reads under the lock: a read before it would pull the histogram's cache
    // line away from a thread holding the lock. flush() takes the (non-recursive) lock itself,
    // so it runs with the lock released.
    if (_totalTimeUS > kFlushLimitUS) {
        lock.unlock();
        flush();
        lock.relock();
    }
    unsigned int& count = _buckets[bucket];
    ++count;
    // Strictly greater: on a tie the bucket that got there first stays the peak.
    if (count > _peakCount) {
        _peakCount = count;
        _peakFrameTimeUS = bucket;
    }
    _numFrames.store(_numFrames.load(kRelaxed) + 1, kRelaxed);
    _totalTimeUS += bucket;
    if (bucket < _minFrameTimeUS) _minFrameTimeUS = bucket;
}

void HistogramFrameTimes::clear() {
    if (_numFrames.load(kRelaxed) == 0) return;
    Locker lock(_mutex);
    _buckets = QMap<unsigned int, unsigned int>();
    _numFrames.store(0, kRelaxed);
    _totalTimeUS = 0;
    _minFrameTimeUS = _frameTimeMax;
    _peakFrameTimeUS = 0;
    _peakCount = 0;
}

void HistogramFrameTimes::flush() {
    clear();
}

void HistogramFrameTimes::dump() {
    if (_numFrames.load(kRelaxed) == 0) return;
    Locker lock(_mutex);
    const unsigned int threshold = _peakCount / 10;
    qDebug("TIME DUMP %6u frames %6u us %6u us", _numFrames.load(kRelaxed), _totalTimeUS,
           _minFrameTimeUS);
    for (auto it = _buckets.constBegin(); it != _buckets.constEnd(); ++it) {
        const char mark = it.key() == _peakFrameTimeUS ? '<' : (it.value() > threshold ? '|' : ' ');
        qDebug("      %6u us %6u %c", it.key(), it.value(), mark);
    }
}

unsigned int HistogramFrameTimes::numFrames() const {
    Locker lock(_mutex);
    return _numFrames.load(kRelaxed);
}

unsigned int HistogramFrameTimes::totalTimeUS() const {
    Locker lock(_mutex);
    return _totalTimeUS;
}

unsigned int HistogramFrameTimes::minFrameTimeUS() const {
    Locker lock(_mutex);
    return _minFrameTimeUS;
}

unsigned int HistogramFrameTimes::peakFrameTimeUS() const {
    Locker lock(_mutex);
    return _peakFrameTimeUS;
}

unsigned int HistogramFrameTimes::peakCount() const {
    Locker lock(_mutex);
    return _peakCount;
}

QMap<unsigned int, unsigned int> HistogramFrameTimes::buckets() const {
    Locker lock(_mutex);
    return _buckets;
}

}  // namespace Orv
}  // namespace Vantrel
