#pragma once

#include <QVector>

#include <benchmark/benchmark.h>

#include <ctime>
#include <functional>
#include <string>

namespace Vantrel {
namespace Orv {
class Graph;
}
}  // namespace Vantrel

namespace OrvBench {

enum class Shape { Chain, FanIn, Layered };

// One regular edge of a shape: output 0 of pass `producer` to input `input` of pass `consumer`.
// Passes are numbered producer-first: every producer has a lower number than its consumers.
struct Link {
    int producer;
    int consumer;
    int input;
};

struct ShapeLayout {
    int numPasses = 0;
    int inputsPerPass = 0;  // every pass has one output
    QVector<Link> links;    // grouped by consumer, consumers ascending, inputs ascending
};

const char* shapeName(Shape shape);
const QVector<Shape>& allShapes();
const QVector<int>& allSizes();  // 64, 1024, 16384

// Chain: pass i feeds pass i+1. Fan-in: a binary tree whose root is the last pass. Layered:
// layers of 16, each pass fed by two passes of the layer before picked with a fixed seed.
ShapeLayout makeShape(Shape shape, int numPasses);

// Adds the passes as children of the root and wires them in producer-first order; returns the
// node refs by pass number.
QVector<int> buildGraph(Vantrel::Orv::Graph& graph, const ShapeLayout& layout);

// Registers a benchmark under `name` and records how many items one iteration handles, so that
// the summary can report time per item (per pass, per edge, per node, per sample).
benchmark::internal::Benchmark* registerPerItem(const std::string& name, double itemsPerIteration,
                                                std::function<void(benchmark::State&)> body);
double itemsPerIteration(const std::string& name);

// Times one section of an iteration whose set-up must stay untimed, in CPU time of the calling
// thread: on a shared machine, time spent waiting for a core says nothing about the library.
template <typename Body>
void timeSection(benchmark::State& state, Body&& body) {
    timespec start{};
    timespec stop{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &start);
    body();
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &stop);
    state.SetIterationTime(double(stop.tv_sec - start.tv_sec) +
                           double(stop.tv_nsec - start.tv_nsec) * 1e-9);
}

// Overlapped asynchronous passes: K independent passes (2, 4, 8) feeding one consumer, run
// with `limit` passes in flight.
const QVector<int>& asyncWidths();
std::string asyncKey(int k, int limit);

void registerGraphBenchmarks();
void registerHistogramBenchmarks();
void registerFrameBenchmarks();
void registerOverlapBenchmarks();
void registerJsonBenchmarks();
void registerWaitBenchmarks();
void registerMemoryBenchmarks();
// The memory plan's heap against the lower bound and against no aliasing (not timed).
void printMemoryFigures();
std::string memoryKey(const char* what, int size);
// K passes in flight whose outputs are placed by a memory plan (8 in flight).
std::string asyncPlannedKey(int k);

}  // namespace OrvBench
