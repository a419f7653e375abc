// Waiting for passes in flight: the renderer's 100 us sleep between polls against a wait
// function blocking on a condition variable that the workers signal. Per frame: wall time, the
// rendering thread's CPU time as a share of the frame (the frame is almost all waiting), with
// the wait function the same share of the time spent inside it, and the latency from the last
// producer finishing to its consumer starting, as a median.
#include "bench_support.h"
#include "workerpass.h"

#include <Orv/Graph.h>
#include <Orv/RenderPassHelper.h>
#include <Orv/Renderer.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

using namespace Vantrel::Orv;

namespace OrvBench {

namespace {

using Clock = std::chrono::steady_clock;
// Work takes 1 ms plus a spread over one poll interval. Its end is spun towards, not slept
// to: the kernel fires timers that expire close together at once, so work ending on a timer
// would wake the renderer's 100 us sleep with it, which a device or a computation does not.
// The spin yields, so that on a busy machine it does not hold back the rendering thread.
void work(int frame) {
    const auto end = Clock::now() + std::chrono::microseconds(1000 + (frame * 37) % 100);
    std::this_thread::sleep_for(std::chrono::microseconds(800));
    while (Clock::now() < end) std::this_thread::yield();
}

qint64 nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
        .count();
}

double threadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// Wakes the rendering thread when any worker is done; a notify nobody waited for is kept.
class Signal {
public:
    void notify() {
        {
            std::lock_guard<std::mutex> lock(_mutex);
            _notified = true;
        }
        _wake.notify_one();
    }
    void wait() {
        std::unique_lock<std::mutex> lock(_mutex);
        _wake.wait(lock, [this] { return _notified; });
        _notified = false;
    }

private:
    std::mutex _mutex;
    std::condition_variable _wake;
    bool _notified = false;
};

class ConsumerPass : public RenderPassHelper {
public:
    explicit ConsumerPass(int numInputs) {
        for (int i = 0; i < numInputs; ++i) addInput(QStringLiteral("in"), QVariant());
        addOutput(QStringLiteral("out"));
    }
    void start(RenderCallbacks*) override { _startedAt = nowNs(); }
    qint64 startedAt() const { return _startedAt; }

private:
    qint64 _startedAt = 0;
};

// K workers feeding one consumer, run with `limit` passes in flight.
struct WaitSetup {
    Renderer renderer;
    Signal signal;
    std::unique_ptr<std::atomic<qint64>[]> finishedAt;  // by worker, as it last finished
    int numWorkers;
    ConsumerPass* consumer = nullptr;
    double waitCpu = 0.0;  // seconds inside the wait function, on the thread's CPU clock
    double waitWall = 0.0;

    WaitSetup(int k, int limit, bool hook)
        : finishedAt(new std::atomic<qint64>[size_t(k)]()), numWorkers(k) {
        renderer.setMaxPassesInFlight(limit);
        consumer = new ConsumerPass(k);
        const int sink =
            renderer.addPass(QStringLiteral("consumer"), consumer, Graph::kRootNodeRef);
        for (int i = 0; i < k; ++i) {
            // Notes when it finished, then signals, a little over 1 ms after its start.
            auto* worker = new WorkerPass(
                [this, i](int frame) {
                    work(frame);
                    finishedAt[size_t(i)] = nowNs();
                },
                [this] { signal.notify(); });
            const int source =
                renderer.addPass(QStringLiteral("worker"), worker, Graph::kRootNodeRef);
            renderer.getGraph()->addEdge(source, 0, sink, i);
        }
        renderer.getGraph()->addUpEdge(renderer.addOutput(QStringLiteral("out")), sink, 0);
        if (!hook) return;
        renderer.setWaitFunction([this](const QVector<RenderPass*>&) {
            const double cpuStart = threadCpuSeconds();
            const auto start = Clock::now();
            signal.wait();
            waitCpu += threadCpuSeconds() - cpuStart;
            waitWall += std::chrono::duration<double>(Clock::now() - start).count();
        });
    }
    qint64 latencyNs() const {
        qint64 last = 0;
        for (int i = 0; i < numWorkers; ++i) last = std::max<qint64>(last, finishedAt[size_t(i)]);
        return consumer->startedAt() - last;
    }
};

double median(std::vector<double> values) {
    if (values.empty()) return 0.0;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

void registerWait(const std::string& name, int k, int limit, bool hook) {
    auto setup = std::make_shared<WaitSetup>(k, limit, hook);
    benchmark::RegisterBenchmark(
        name.c_str(),
        [setup](benchmark::State& state) {
            std::vector<double> latencies;
            double cpu = 0.0;
            double wall = 0.0;
            for (auto _ : state) {
                const double cpuStart = threadCpuSeconds();
                const auto start = Clock::now();
                benchmark::DoNotOptimize(setup->renderer.render(nullptr));
                const std::chrono::duration<double> took = Clock::now() - start;
                cpu += threadCpuSeconds() - cpuStart;
                wall += took.count();
                state.SetIterationTime(took.count());
                latencies.push_back(double(setup->latencyNs()) * 1e-3);
            }
            state.counters["cpu_pct"] = wall > 0 ? 100.0 * cpu / wall : 0.0;
            if (setup->waitWall > 0)
                state.counters["wait_cpu_pct"] = 100.0 * setup->waitCpu / setup->waitWall;
            setup->waitCpu = setup->waitWall = 0.0;
            state.counters["latency_us"] = median(latencies);
        })
        ->UseManualTime()
        ->Unit(benchmark::kMicrosecond);
}

}  // namespace

void registerWaitBenchmarks() {
    for (const bool hook : {false, true}) {
        const std::string how = hook ? "/hook" : "/sleep";
        registerWait("wait/one_at_a_time" + how, 1, 1, hook);
        registerWait("wait/in_flight_4" + how, 4, 4, hook);
    }
}

}  // namespace OrvBench
