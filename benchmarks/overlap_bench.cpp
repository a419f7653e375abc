// Passes in flight together: K independent passes whose work finishes on worker threads 1 ms
// after start, all feeding one consumer, with one pass at a time and with K in flight (wall
// time per frame, since the frame mostly waits).
#include "bench_support.h"
#include "workerpass.h"

#include <Orv/Graph.h>
#include <Orv/RenderPassHelper.h>
#include <Orv/Renderer.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

using namespace Vantrel::Orv;

namespace OrvBench {

namespace {

const std::chrono::microseconds kWork(1000);

class SinkPass : public RenderPassHelper {
public:
    explicit SinkPass(int numInputs) {
        for (int i = 0; i < numInputs; ++i) addInput(QStringLiteral("in"), QVariant());
        addOutput(QStringLiteral("out"));
    }
    void start(RenderCallbacks*) override {}
};

struct AsyncSetup {
    Renderer renderer;
    // With `planned`, a memory plan places the workers' 8 MiB outputs, all read by the sink.
    AsyncSetup(int k, int limit, bool planned = false) {
        renderer.setMaxPassesInFlight(limit);
        if (planned) {
            renderer.setMemoryPlanning(true);
            renderer.setOutputMemoryFunction([](int, int) {
                OutputMemory memory;
                memory.size = 8 << 20;
                return memory;
            });
        }
        const int sink =
            renderer.addPass(QStringLiteral("sink"), new SinkPass(k), Graph::kRootNodeRef);
        for (int i = 0; i < k; ++i) {
            const int source =
                renderer.addPass(QStringLiteral("worker"),
                                 new WorkerPass([](int) { std::this_thread::sleep_for(kWork); }),
                                 Graph::kRootNodeRef);
            renderer.getGraph()->addEdge(source, 0, sink, i);
        }
        renderer.getGraph()->addUpEdge(renderer.addOutput(QStringLiteral("out")), sink, 0);
    }
};

}  // namespace

void registerOverlapBenchmarks() {
    for (int k : asyncWidths()) {
        for (int limit : {1, k}) {
            auto setup = std::make_shared<AsyncSetup>(k, limit);
            registerPerItem(asyncKey(k, limit), 1, [setup](benchmark::State& state) {
                for (auto _ : state) {
                    const auto start = std::chrono::steady_clock::now();
                    benchmark::DoNotOptimize(setup->renderer.render(nullptr));
                    const std::chrono::duration<double> took =
                        std::chrono::steady_clock::now() - start;
                    state.SetIterationTime(took.count());
                }
            })->UseManualTime();
        }
        auto planned = std::make_shared<AsyncSetup>(k, 8, true);
        registerPerItem(asyncPlannedKey(k), 1, [planned](benchmark::State& state) {
            for (auto _ : state) {
                const auto start = std::chrono::steady_clock::now();
                benchmark::DoNotOptimize(planned->renderer.render(nullptr));
                const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
                state.SetIterationTime(took.count());
            }
        })->UseManualTime();
    }
}

}  // namespace OrvBench
