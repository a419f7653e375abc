#include "bench_support.h"

#include <Orv/Graph.h>

#include <QHash>
#include <QString>

#include <random>

using Vantrel::Orv::Graph;

namespace OrvBench {

namespace {

QHash<QString, double>& itemCounts() {
    static QHash<QString, double> counts;
    return counts;
}

}  // namespace

const char* shapeName(Shape shape) {
    switch (shape) {
        case Shape::Chain:
            return "chain";
        case Shape::FanIn:
            return "fanin";
        case Shape::Layered:
            return "layered";
    }
    return "?";
}

const QVector<Shape>& allShapes() {
    static const QVector<Shape> shapes{Shape::Chain, Shape::FanIn, Shape::Layered};
    return shapes;
}

const QVector<int>& allSizes() {
    static const QVector<int> sizes{64, 1024, 16384};
    return sizes;
}

ShapeLayout makeShape(Shape shape, int numPasses) {
    ShapeLayout layout;
    layout.numPasses = numPasses;
    switch (shape) {
        case Shape::Chain:
            layout.inputsPerPass = 1;
            for (int p = 1; p < numPasses; ++p) layout.links.append({p - 1, p, 0});
            break;
        case Shape::FanIn:
            // Heap numbering from the tree's root (heap 0 = last pass): heap node h is fed by
            // heap nodes 2h+1 and 2h+2, and pass p is heap node numPasses-1-p.
            layout.inputsPerPass = 2;
            for (int p = 0; p < numPasses; ++p) {
                const int h = numPasses - 1 - p;
                for (int input = 0; input < 2; ++input) {
                    const int child = 2 * h + 1 + input;
                    if (child < numPasses) layout.links.append({numPasses - 1 - child, p, input});
                }
            }
            break;
        case Shape::Layered: {
            const int width = 16;
            layout.inputsPerPass = 2;
            std::mt19937 random(20261205u);
            for (int p = width; p < numPasses; ++p) {
                const int layerBefore = (p / width - 1) * width;
                for (int input = 0; input < 2; ++input)
                    layout.links.append({layerBefore + int(random() % width), p, input});
            }
            break;
        }
    }
    return layout;
}

QVector<int> buildGraph(Graph& graph, const ShapeLayout& layout) {
    static const QString name = QStringLiteral("pass");
    QVector<int> nodes(layout.numPasses, -1);
    int next = 0;
    for (int p = 0; p < layout.numPasses; ++p) {
        nodes[p] = graph.addNode(name, layout.inputsPerPass, 1, Graph::kRootNodeRef);
        for (; next < layout.links.size() && layout.links.at(next).consumer == p; ++next) {
            const Link& link = layout.links.at(next);
            graph.addEdge(nodes.at(link.producer), 0, nodes[p], link.input);
        }
    }
    return nodes;
}

benchmark::internal::Benchmark* registerPerItem(const std::string& name, double items,
                                                std::function<void(benchmark::State&)> body) {
    itemCounts().insert(QString::fromStdString(name), items);
    return benchmark::RegisterBenchmark(name.c_str(),
                                        [body](benchmark::State& state) { body(state); });
}

const QVector<int>& asyncWidths() {
    static const QVector<int> widths{2, 4, 8};
    return widths;
}

std::string asyncKey(int k, int limit) {
    return "async/" + std::to_string(k) + "/inflight" + std::to_string(limit);
}

std::string asyncPlannedKey(int k) {
    return "async-planned/" + std::to_string(k) + "/inflight8";
}

double itemsPerIteration(const std::string& name) {
    return itemCounts().value(QString::fromStdString(name), 0.0);
}

}  // namespace OrvBench
