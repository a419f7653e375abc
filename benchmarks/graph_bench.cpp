// Graph building, purge and the three walkers, per edge or per node.
#include "bench_support.h"

#include <Orv/Graph.h>
#include <Orv/Walkers.h>

#include <memory>

using namespace Vantrel::Orv;

namespace OrvBench {

namespace {

std::string key(const char* what, Shape shape, int size) {
    return std::string(what) + "/" + shapeName(shape) + "/" + std::to_string(size);
}

// Producer-first building: every addEdge runs its cycle test, which must stay cheap because the
// consumer has no outgoing edges yet.
void registerBuilding() {
    for (Shape shape : allShapes()) {
        for (int size : allSizes()) {
            const ShapeLayout layout = makeShape(shape, size);
            registerPerItem(key("build", shape, size), layout.links.size(),
                            [layout](benchmark::State& state) {
                                for (auto _ : state) {
                                    Graph graph;
                                    timeSection(state, [&] { buildGraph(graph, layout); });
                                    benchmark::DoNotOptimize(graph.numEdgesGlobal());
                                }
                            })
                ->UseManualTime();
        }
    }
}

// purge after every second pass (with its edges) was removed; per node of the table.
void registerPurge() {
    for (int size : allSizes()) {
        const ShapeLayout layout = makeShape(Shape::Layered, size);
        registerPerItem(key("purge", Shape::Layered, size), size + 1,
                        [layout](benchmark::State& state) {
                            for (auto _ : state) {
                                Graph graph;
                                const QVector<int> nodes = buildGraph(graph, layout);
                                for (int p = 1; p < nodes.size(); p += 2)
                                    graph.removeNode(nodes[p]);
                                timeSection(state, [&] { graph.purge(); });
                                benchmark::DoNotOptimize(graph.numNodesGlobal());
                            }
                        })
            ->UseManualTime();
    }
}

template <typename Walker, typename... Args>
int walkAll(Args&&... args) {
    int visited = 0;
    for (Walker walker(args...); walker.valid(); walker.next()) {
        benchmark::DoNotOptimize(walker.node());
        ++visited;
    }
    return visited;
}

// The walkers per visited node: the two input walkers from the last pass through container
// ports, the subgraph walker from the root. The layered graph is the measure; the chain, whose
// walk runs through memory in order, shows what is left once cache misses are out of the way.
void registerWalkers() {
    for (Shape shape : {Shape::Layered, Shape::Chain}) {
        for (int size : allSizes()) {
            const ShapeLayout layout = makeShape(shape, size);
            auto graph = std::make_shared<Graph>();
            const int last = buildGraph(*graph, layout).last();
            const int upstream = walkAll<BottomUpInputWalker>(*graph, last, true);
            const int all = walkAll<BottomUpSubgraphWalker>(*graph, Graph::kRootNodeRef);

            registerPerItem(
                key("walk-bottomup", shape, size), upstream,
                [graph, last](benchmark::State& state) {
                    for (auto _ : state)
                        benchmark::DoNotOptimize(walkAll<BottomUpInputWalker>(*graph, last, true));
                });
            registerPerItem(key("walk-breadthfirst", shape, size), upstream,
                            [graph, last](benchmark::State& state) {
                                for (auto _ : state)
                                    benchmark::DoNotOptimize(
                                        walkAll<BreadthFirstInputWalker>(*graph, last, true));
                            });
            registerPerItem(
                key("walk-subgraph", shape, size), all, [graph](benchmark::State& state) {
                    for (auto _ : state)
                        benchmark::DoNotOptimize(
                            walkAll<BottomUpSubgraphWalker>(*graph, Graph::kRootNodeRef));
                });
        }
    }
}

}  // namespace

void registerGraphBenchmarks() {
    registerBuilding();
    registerPurge();
    registerWalkers();
}

}  // namespace OrvBench
