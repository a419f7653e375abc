// Transient memory: how close the memory plan comes to the lower bound on layered graphs with
// realistic output sizes, and what planning costs against building the frame plan.
#include "bench_support.h"

#include <Orv/Graph.h>
#include <Orv/MemoryPlan.h>
#include <Orv/RenderPassHelper.h>
#include <Orv/Renderer.h>

#include <QHash>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <random>
#include <vector>

using namespace Vantrel::Orv;

namespace OrvBench {

namespace {

class QuietPass : public RenderPassHelper {
public:
    explicit QuietPass(int numInputs, int numOutputs = 1) {
        for (int i = 0; i < numInputs; ++i) addInput(QStringLiteral("in"), QVariant());
        for (int o = 0; o < numOutputs; ++o) addOutput(QStringLiteral("out"));
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

// A seeded random renderer of `numPasses` passes with 1 to 3 inputs and 1 or 2 outputs, about
// one group in eight nodes (groups nest, with two inputs and two outputs), the sizes above. Each
// input reads one of the last few nodes made in its container, or the container's input; group
// outputs come from a child; now and then a group's input is fed by a sibling made after it,
// which may read the group (a loop through its ports). Culling is off, so every pass runs.
struct RandomRenderer {
    Renderer renderer;
    std::vector<OutputMemory> sizes;  // by node * 2 + output

    RandomRenderer(unsigned seed, int numPasses) {
        std::mt19937 random(seed);
        Graph& graph = *renderer.getGraph();
        renderer.addOutput(QStringLiteral("out"));
        QVector<int> containers{Graph::kRootNodeRef};
        QHash<int, QVector<int>> children;  // by container, in the order made
        QVector<int> groups;
        for (int p = 0; p < numPasses;) {
            const int parent = containers[int(random() % unsigned(containers.size()))];
            QVector<int>& siblings = children[parent];
            int node = -1;
            if (random() % 8 == 0) {
                node = renderer.addGroup(QStringLiteral("group"), 2, 2, parent);
                containers.append(node);
                groups.append(node);
            } else {
                node = renderer.addPass(QStringLiteral("pass"),
                                        new QuietPass(1 + int(random() % 3), 1 + int(random() % 2)),
                                        parent);
                ++p;
            }
            for (int i = 0; i < graph.numInputs(node); ++i) {
                if (siblings.isEmpty() || random() % 6 == 0) {
                    if (parent != Graph::kRootNodeRef)
                        graph.addDownEdge(int(random() % 2), node, i);
                    continue;
                }
                const int back = std::min<int>(siblings.size(), 1 + int(random() % 6));
                const int producer = siblings[siblings.size() - back];
                graph.addEdge(producer, int(random() % unsigned(graph.numOutputs(producer))), node,
                              i);
            }
            // A loop: this node feeds an input of an earlier sibling group.
            for (int g : groups) {
                if (graph.parentNode(g) == parent && g != node && random() % 16 == 0)
                    graph.addEdge(node, 0, g, int(random() % 2));
            }
            siblings.append(node);
        }
        for (int g : groups) {
            const QVector<int>& inside = children.value(g);
            for (int o = 0; o < 2 && !inside.isEmpty(); ++o) {
                const int child = inside[int(random() % unsigned(inside.size()))];
                graph.addUpEdge(o, child, int(random() % unsigned(graph.numOutputs(child))));
            }
        }
        graph.addUpEdge(0, children[Graph::kRootNodeRef].last(), 0);
        sizes.resize(2 * size_t(graph.numNodesGlobal()));
        for (OutputMemory& memory : sizes) memory = drawSize(random);
        renderer.setOutputMemoryFunction([this](int node, int output) {
            const size_t at = 2 * size_t(node) + size_t(output);
            return at < sizes.size() ? sizes[at] : OutputMemory();
        });
        renderer.setCulling(false);
        renderer.setMemoryPlanning(true);
        renderer.render(nullptr);
    }
};

// Seeded random buffers: 32 to 531 over 8 to 207 steps, most living up to 9 steps, one in four
// up to a fifth of the steps; sizes 4 KiB to 64 MiB, spread evenly over the powers of two,
// 256-aligned.
QVector<MemoryRequest> randomIntervals(unsigned seed) {
    std::mt19937 random(seed);
    const int count = 32 + int(random() % 500);
    const int steps = 8 + int(random() % 200);
    QVector<MemoryRequest> requests(count);
    for (MemoryRequest& request : requests) {
        const int longest = random() % 4 == 0 ? steps / 5 : 8;
        request.firstStep = int(random() % unsigned(steps));
        request.lastStep = request.firstStep + int(random() % unsigned(longest + 1));
        request.size = (qint64(4096) << (random() % 15)) + qint64(random() % 4096);
        request.alignment = 256;
    }
    return requests;
}

// Heap / lower bound over many seeds: the worst and the median.
struct RatioSpread {
    std::vector<double> ratios;
    void add(const MemoryPlan& plan) {
        ratios.push_back(double(plan.heapSize) / double(std::max<qint64>(1, plan.lowerBound)));
    }
    void print(const char* what) {
        std::sort(ratios.begin(), ratios.end());
        std::printf("%-28s %6zu %8.3f %8.3f %8.3f\n", what, ratios.size(),
                    ratios[ratios.size() / 2], ratios[ratios.size() * 9 / 10], ratios.back());
    }
};

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
        // The synchronisation plan made again (a new usage function) before a frame with every
        // pass running, against the same frame with the plan kept: the difference is what
        // making it costs, to set beside the frame plan's rebuild ("replan").
        for (bool remake : {false, true}) {
            auto setup = std::make_shared<MemorySetup>(layout, true);
            setup->renderer.setSyncPlanning(true);
            registerPerItem(memoryKey(remake ? "sync-remade" : "sync-kept", size), size,
                            [setup, remake](benchmark::State& state) {
                                for (auto _ : state) {
                                    if (remake)
                                        setup->renderer.setPortUsageFunction(
                                            [](int node, PortSide side, int port) {
                                                return (node + port) % 3 + int(side);
                                            });
                                    setup->renderer.render(nullptr);
                                }
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

    std::printf("\nMemory plan / lower bound over fixed seeds\n");
    std::printf("%-28s %6s %8s %8s %8s\n", "sets", "seeds", "median", "90%", "worst");
    RatioSpread graphs;
    for (unsigned seed = 1; seed <= 200; ++seed) {
        std::mt19937 sizer(~seed);  // apart from the graph's own draws
        const RandomRenderer built(seed, 8 + int(sizer() % 505));
        graphs.add(built.renderer.memoryPlan());
    }
    graphs.print("random renderers, <= 512");
    RatioSpread intervals;
    for (unsigned seed = 1; seed <= 200; ++seed) intervals.add(planMemory(randomIntervals(seed)));
    intervals.print("random intervals");
}

}  // namespace OrvBench
