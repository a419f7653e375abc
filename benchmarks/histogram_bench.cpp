// HistogramFrameTimes::addFrameTimeUS from one and two threads, against the least a
// thread-safe histogram can do: a bucket insert into a map under a plain mutex.
#include "bench_support.h"

#include <Orv/HistogramFrameTimes.h>

#include <QMap>
#include <QMutex>
#include <QMutexLocker>

using namespace Vantrel::Orv;

namespace OrvBench {

namespace {

// Frame times around 16 ms with some jitter, the same sequence for both contenders.
const QVector<unsigned int>& samples() {
    static const QVector<unsigned int> values = [] {
        QVector<unsigned int> v(1024);
        for (int i = 0; i < v.size(); ++i) v[i] = 14000u + unsigned(i * 7919) % 6000u;
        return v;
    }();
    return values;
}

struct MutexMapHistogram {
    QMutex mutex;
    QMap<unsigned int, unsigned int> buckets;

    // Out of line, as a call into the library is: inlined into the loop, the baseline would
    // also save the call and let the compiler hoist work out of the loop.
    Q_NEVER_INLINE void add(unsigned int us) {
        const unsigned int bucket = (us / 500u) * 500u;
        QMutexLocker lock(&mutex);
        ++buckets[bucket];
    }
};

HistogramFrameTimes* sharedHistogram = nullptr;
MutexMapHistogram* sharedBaseline = nullptr;

// Set-up and tear-down by thread 0 only; the benchmark loop's start and end are barriers.
template <typename Target, typename Add>
void addSamples(benchmark::State& state, Target*& shared, Add add) {
    if (state.thread_index() == 0) shared = new Target;
    const QVector<unsigned int>& values = samples();
    int i = state.thread_index() * 512;
    for (auto _ : state) {
        add(*shared, values.at(i));
        i = (i + 1) & 1023;
    }
    if (state.thread_index() == 0) {
        delete shared;
        shared = nullptr;
    }
}

}  // namespace

void registerHistogramBenchmarks() {
    registerPerItem("histogram/orv", 1,
                    [](benchmark::State& state) {
                        addSamples(
                            state, sharedHistogram,
                            [](HistogramFrameTimes& h, unsigned int us) { h.addFrameTimeUS(us); });
                    })
        ->Threads(1)
        ->Threads(2)
        ->UseRealTime();
    registerPerItem("histogram/mutexmap", 1,
                    [](benchmark::State& state) {
                        addSamples(state, sharedBaseline,
                                   [](MutexMapHistogram& h, unsigned int us) { h.add(us); });
                    })
        ->Threads(1)
        ->Threads(2)
        ->UseRealTime();
}

}  // namespace OrvBench
