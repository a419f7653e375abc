#include <Orv/HistogramFrameTimes.h>

#include <QMutexLocker>
#include <QtGlobal>

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

}  // namespace

HistogramFrameTimes::HistogramFrameTimes()
    : _numFrames(0),
      _totalTimeUS(0),
      _minFrameTimeUS(_frameTimeMax),
      _peakFrameTimeUS(0),
      _peakCount(0) {}

HistogramFrameTimes::~HistogramFrameTimes() {
    clear();
}

void HistogramFrameTimes::addFrameTimeUS(unsigned int us) {
    const unsigned int bucket = (us / _frameTimeStep) * _frameTimeStep;
    if (bucket > _frameTimeMax) return;

    // flush() takes the (non-recursive) lock itself, so it must run before we take it.
    if (_totalTimeUS.load(kRelaxed) > kFlushLimitUS) flush();

    QMutexLocker lock(&_mutex);
    unsigned int& count = _buckets[bucket];
    ++count;
    // Strictly greater: on a tie the bucket that got there first stays the peak.
    if (count > _peakCount) {
        _peakCount = count;
        _peakFrameTimeUS = bucket;
    }
    _numFrames.store(_numFrames.load(kRelaxed) + 1, kRelaxed);
    _totalTimeUS.store(_totalTimeUS.load(kRelaxed) + bucket, kRelaxed);
    if (bucket < _minFrameTimeUS) _minFrameTimeUS = bucket;
}

void HistogramFrameTimes::clear() {
    if (_numFrames.load(kRelaxed) == 0) return;
    QMutexLocker lock(&_mutex);
    _buckets = QMap<unsigned int, unsigned int>();
    _numFrames.store(0, kRelaxed);
    _totalTimeUS.store(0, kRelaxed);
    _minFrameTimeUS = _frameTimeMax;
    _peakFrameTimeUS = 0;
    _peakCount = 0;
}

void HistogramFrameTimes::flush() {
    clear();
}

void HistogramFrameTimes::dump() {
    if (_numFrames.load(kRelaxed) == 0) return;
    QMutexLocker lock(&_mutex);
    const unsigned int threshold = _peakCount / 10;
    qDebug("TIME DUMP %6u frames %6u us %6u us", _numFrames.load(kRelaxed),
           _totalTimeUS.load(kRelaxed), _minFrameTimeUS);
    for (auto it = _buckets.constBegin(); it != _buckets.constEnd(); ++it) {
        const char mark = it.key() == _peakFrameTimeUS ? '<' : (it.value() > threshold ? '|' : ' ');
        qDebug("      %6u us %6u %c", it.key(), it.value(), mark);
    }
}

unsigned int HistogramFrameTimes::numFrames() const {
    QMutexLocker lock(&_mutex);
    return _numFrames.load(kRelaxed);
}

unsigned int HistogramFrameTimes::totalTimeUS() const {
    QMutexLocker lock(&_mutex);
    return _totalTimeUS.load(kRelaxed);
}

unsigned int HistogramFrameTimes::minFrameTimeUS() const {
    QMutexLocker lock(&_mutex);
    return _minFrameTimeUS;
}

unsigned int HistogramFrameTimes::peakFrameTimeUS() const {
    QMutexLocker lock(&_mutex);
    return _peakFrameTimeUS;
}

unsigned int HistogramFrameTimes::peakCount() const {
    QMutexLocker lock(&_mutex);
    return _peakCount;
}

QMap<unsigned int, unsigned int> HistogramFrameTimes::buckets() const {
    QMutexLocker lock(&_mutex);
    return _buckets;
}

}  // namespace Orv
}  // namespace Vantrel
