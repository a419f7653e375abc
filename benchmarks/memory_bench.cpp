// Transient memory: how close the memory plan comes to the lower bound on layered graphs with
// realistic output sizes, and what planning costs against building the frame plan.
#include "bench_support.h"

#include <Orv/Graph.h>
#include <Orv/MemoryPlan.h>
#include <Orv/RenderPassHelper.h>
#include <Orv/Renderer.h>

#include <cstdio>
#include <memory>
#include <random>
#include <vector>

using namespace Vantrel::Orv;

namespace OrvBench {

namespace {

class QuietPass : public RenderPassHelper {
public:
    explicit QuietPass(int numInputs) {
        for (int i = 0; i < numInputs; ++i) addInput(QStringLiteral("in"), QVariant());
        addOutput(QStringLiteral("out"));
    }
    void start(RenderCallbacks*) override {}
};

// Output sizes as a renderer at 1920x1080 sees them: mostly frame-sized colour targets, some
// at half and quarter size, a few small buffers (64 KiB to 1 MiB) and a few 32 MiB ones.
OutputMemory drawSize(std::mt19937& random) {
    const qint64 frame = 1920 * 1080 * 4;
    const unsigned pick = random() % 100;
    OutputMemory memory;
    memory.alignment = 64 * 1024;
    if (pick < 60)
        memory.size = frame;
    else if (pick < 75)
        memory.size = frame / 4;
    else if (pick < 85)
        memory.size = frame / 16;
    else if (pick < 95)
        memory.size = (64 << 10) + qint64(random() % (960 << 10));
    else
        memory.size = qint64(32) << 20;
    return memory;
}

// By node, drawn once with a fixed seed, so that the host's size function costs a look-up.
OutputMemory outputSize(int node) {
    static const std::vector<OutputMemory> sizes = [] {
        std::mt19937 random(24);
        std::vector<OutputMemory> drawn(16384 + 1);
        for (OutputMemory& memory : drawn) memory = drawSize(random);
        return drawn;
    }();
    return node >= 0 && size_t(node) < sizes.size() ? sizes[size_t(node)] : OutputMemory();
}

// A layered graph of quiet passes, the last one feeding output 0, with the sizes above.
struct MemorySetup {
    Renderer renderer;
    int target = -1;

    MemorySetup(const ShapeLayout& layout, bool planning) {
        renderer.addOutput(QStringLiteral("out"));
        QVector<int> nodes(layout.numPasses);
        for (int p = 0; p < layout.numPasses; ++p)
            nodes[p] = renderer.addPass(QStringLiteral("pass"), new QuietPass(layout.inputsPerPass),
                                        Graph::kRootNodeRef);
        Graph& graph = *renderer.getGraph();
        for (const Link& link : layout.links)
            graph.addEdge(nodes[link.producer], 0, nodes[link.consumer], link.input);
        graph.addUpEdge(0, nodes.last(), 0);
        target = nodes.first();
        renderer.setOutputMemoryFunction([](int node, int) { return outputSize(node); });
        renderer.setMemoryPlanning(planning);
        renderer.render(nullptr);
    }

    // Rebuilds the frame plan (a new target) and runs no pass (all disabled).
    void replan() {
        renderer.setTarget(renderer.target() < 0 ? target : -1);
        renderer.render(nullptr);
    }
};

QVector<MemoryRequest> requestsOf(const Renderer& renderer) {
    QVector<MemoryRequest> requests;
    for (const OutputLifetime& lifetime : renderer.outputLifetimes()) {
        const OutputMemory memory = outputSize(lifetime.node);
        MemoryRequest request;
        request.size = lifetime.outlivesFrame ? 0 : memory.size;
        request.alignment = memory.alignment;
        request.firstStep = lifetime.producerStep;
        request.lastStep = std::max(lifetime.producerStep, lifetime.lastReaderStep);
        requests.append(request);
    }
    return requests;
}

}  // namespace

std::string memoryKey(const char* what, int size) {
    return std::string("memory-") + what + "/layered/" + std::to_string(size);
}

void registerMemoryBenchmarks() {
    for (int size : allSizes()) {
        const ShapeLayout layout = makeShape(Shape::Layered, size);
        for (bool planning : {false, true}) {
            auto setup = std::make_shared<MemorySetup>(layout, planning);
            for (int node = 1; node <= size; ++node) setup->renderer.setEnabled(node, false);
            registerPerItem(memoryKey(planning ? "replan-planned" : "replan", size), size,
                            [setup](benchmark::State& state) {
                                for (auto _ : state) setup->replan();
                            });
        }
        auto requests = std::make_shared<QVector<MemoryRequest>>(
            requestsOf(MemorySetup(layout, false).renderer));
        registerPerItem(memoryKey("plan", size), size, [requests](benchmark::State& state) {
            for (auto _ : state) benchmark::DoNotOptimize(planMemory(*requests).heapSize);
        });
    }
}

void printMemoryFigures() {
    std::printf("\nMemory plan on layered graphs, sizes 64 KiB to 32 MiB (most frame-sized)\n");
    std::printf("%-8s %12s %12s %12s %10s %8s\n", "N", "no aliasing", "plan", "lower bound",
                "plan/bound", "saving");
    for (int size : allSizes()) {
        const MemoryPlan plan =
            planMemory(requestsOf(MemorySetup(makeShape(Shape::Layered, size), false).renderer));
        const double mib = 1024.0 * 1024.0;
        std::printf(
            "%-8d %9.0f MiB %8.0f MiB %8.0f MiB %10.3f %7.1f%%\n", size,
            double(plan.totalSize) / mib, double(plan.heapSize) / mib,
            double(plan.lowerBound) / mib,
            double(plan.heapSize) / double(std::max<qint64>(1, plan.lowerBound)),
            100.0 * (1.0 - double(plan.heapSize) / double(std::max<qint64>(1, plan.totalSize))));
    }
}

}  // namespace OrvBench
