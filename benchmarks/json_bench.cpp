// Saving and loading a graph as JSON text, per edge, against building the same graph through
// the API ("build/<shape>/<size>").
#include "bench_support.h"

#include <Orv/Graph.h>
#include <Orv/Json.h>

using namespace Vantrel::Orv;

namespace OrvBench {

void registerJsonBenchmarks() {
    for (int size : allSizes()) {
        const ShapeLayout layout = makeShape(Shape::Layered, size);
        const std::string suffix =
            std::string("/") + shapeName(Shape::Layered) + "/" + std::to_string(size);
        registerPerItem("json-save" + suffix, layout.links.size(),
                        [layout](benchmark::State& state) {
                            Graph graph;
                            buildGraph(graph, layout);
                            for (auto _ : state) {
                                QByteArray text;
                                timeSection(state, [&] { text = saveGraph(graph); });
                                benchmark::DoNotOptimize(text.size());
                            }
                        })
            ->UseManualTime();
        registerPerItem("json-load" + suffix, layout.links.size(),
                        [layout](benchmark::State& state) {
                            Graph source;
                            buildGraph(source, layout);
                            const QByteArray text = saveGraph(source);
                            for (auto _ : state) {
                                Graph graph;
                                bool loaded = false;
                                timeSection(state,
                                            [&] { loaded = loadGraph(text, &graph, nullptr); });
                                if (!loaded) state.SkipWithError("the saved graph did not load");
                                benchmark::DoNotOptimize(graph.numEdgesGlobal());
                            }
                        })
            ->UseManualTime();
    }
}

}  // namespace OrvBench
