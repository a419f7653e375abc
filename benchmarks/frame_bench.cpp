// Frame overhead: a renderer running passes that do nothing, against the least that any
// implementation of the pass contract pays (the same pass objects called from a pre-sorted
// producer-first array, in the order they were added, with exactly the calls the renderer makes
// on each pass per frame), and against a peer scheduler: oneTBB's flow graph on one thread,
// whose nodes make the same calls on the same pass objects.
#include "bench_support.h"

#include <Orv/Graph.h>
#include <Orv/RenderPassHelper.h>
#include <Orv/Renderer.h>
#include <Orv/Report.h>
#include <Orv/Walkers.h>

#include <QThread>

#include <oneapi/tbb/flow_graph.h>
#include <oneapi/tbb/task_arena.h>

#include <algorithm>
#include <memory>

using namespace Vantrel::Orv;

namespace OrvBench {

namespace {

class NullPass : public RenderPassHelper {
public:
    NullPass(int numInputs, int id) {
        for (int i = 0; i < numInputs; ++i) addInput(QStringLiteral("in"), QVariant(-1));
        addOutput(QStringLiteral("out"));
        _outputs[0].value = QVariant(id);
    }
    void start(RenderCallbacks*) override {}
};

// A pass with the baseline's storage alone: its values, a user count per output and an error
// code, no names and no frame timer, so that what a frame itself costs is not hidden behind
// what a RenderPassHelper does for its host.
class LightPass : public RenderPass {
public:
    LightPass(int numInputs, int id)
        : _inputs(numInputs),
          _defaults(numInputs, QVariant(-1)),
          _outputs{QVariant(id)},
          _users(1, 0) {}
    void setup(RenderCallbacks*) override {}
    void beginFrame(RenderCallbacks*) override {}
    void start(RenderCallbacks*) override {}
    void endFrame(RenderCallbacks*) override {}
    void teardown(RenderCallbacks*) override {}
    void teardownContextData(RenderCallbacks*) override {}
    int numInputs() const override { return _inputs.size(); }
    int numOutputs() const override { return _outputs.size(); }
    QString inputName(int) const override { return QStringLiteral("in"); }
    QString outputName(int) const override { return QStringLiteral("out"); }
    void setInput(int index, const QVariant& value) override { _inputs[index] = value; }
    QVariant defaultValue(int index) const override { return _defaults.at(index); }
    void setDefaultValue(int index, const QVariant& value) override { _defaults[index] = value; }
    QVariant output(int index) const override { return _outputs.at(index); }
    void setNumOutputUsers(int index, int users) override { _users[index] = users; }
    void resetNumOutputUsers() override { _users.fill(0); }
    unsigned int errorCode() const override { return _error; }
    void setErrorCode(unsigned int code) override { _error = code; }

private:
    QVector<QVariant> _inputs;
    QVector<QVariant> _defaults;
    QVector<QVariant> _outputs;
    QVector<int> _users;
    unsigned int _error = 0;
};

enum class PassKind { Helper, Light };

// A renderer holding one shape, its last pass feeding renderer output 0.
struct FrameSetup {
    Renderer renderer;
    QVector<int> nodes;  // by pass number
    int numRun = 0;      // passes one frame runs

    FrameSetup(const ShapeLayout& layout, PassKind kind) {
        renderer.addOutput(QStringLiteral("out"));
        nodes.resize(layout.numPasses);
        for (int p = 0; p < layout.numPasses; ++p) {
            RenderPass* pass =
                kind == PassKind::Light
                    ? static_cast<RenderPass*>(new LightPass(layout.inputsPerPass, p))
                    : new NullPass(layout.inputsPerPass, p);
            nodes[p] = renderer.addPass(QStringLiteral("pass"), pass, Graph::kRootNodeRef);
        }
        Graph& graph = *renderer.getGraph();
        for (const Link& link : layout.links)
            graph.addEdge(nodes[link.producer], 0, nodes[link.consumer], link.input);
        graph.addUpEdge(0, nodes.last(), 0);
        renderer.render(nullptr);
        numRun = renderer.getNumPasses();
    }
};

// The baseline's plan: the needed passes producer-first, in the order they were added, where
// each input's value comes from, and each output's count of needed consumers.
struct PlannedPass {
    RenderPass* pass;
    QVector<int> producers;  // planned positions by input; -1 for an input that takes its default
    int users;               // needed consumers of output 0
};

QVector<PlannedPass> planFrame(FrameSetup& setup, const ShapeLayout& layout) {
    const Graph& graph = *setup.renderer.getGraph();
    QVector<int> passOfNode(graph.numNodesGlobal(), -1);
    for (int p = 0; p < setup.nodes.size(); ++p) passOfNode[setup.nodes[p]] = p;

    // Shapes number their passes producer-first, so pass order is a producer-first order.
    QVector<int> order;
    QVector<bool> needed(layout.numPasses, false);
    for (BottomUpInputWalker walker(graph, setup.nodes.last(), true); walker.valid();
         walker.next()) {
        order.append(passOfNode[walker.node()]);
        needed[order.last()] = true;
    }
    std::sort(order.begin(), order.end());
    QVector<int> position(layout.numPasses, -1);
    for (int k = 0; k < order.size(); ++k) position[order[k]] = k;

    QVector<PlannedPass> plan;
    for (int p : order)
        plan.append(
            {setup.renderer.renderPass(setup.nodes[p]), QVector<int>(layout.inputsPerPass, -1), 0});
    for (const Link& link : layout.links) {
        if (!needed[link.consumer]) continue;
        ++plan[position[link.producer]].users;
        plan[position[link.consumer]].producers[link.input] = position[link.producer];
    }
    return plan;
}

// Exactly the calls the renderer makes on one pass; false when the pass reports an error.
bool runPlannedPass(const QVector<PlannedPass>& plan, const PlannedPass& planned,
                    RenderCallbacks* callbacks) {
    RenderPass* pass = planned.pass;
    for (int i = 0; i < planned.producers.size(); ++i) {
        const int producer = planned.producers.at(i);
        pass->setInput(i,
                       producer >= 0 ? plan.at(producer).pass->output(0) : pass->defaultValue(i));
    }
    pass->resetNumOutputUsers();
    if (planned.users > 0) pass->setNumOutputUsers(0, planned.users);
    pass->setErrorCode(0);
    pass->beginFrame(callbacks);
    pass->start(callbacks);
    while (!pass->isFinished()) QThread::usleep(100);
    pass->endFrame(callbacks);
    return pass->errorCode() == 0;
}

bool runPlanned(const QVector<PlannedPass>& plan, RenderCallbacks* callbacks) {
    for (const PlannedPass& planned : plan) {
        if (!runPlannedPass(plan, planned, callbacks)) return false;
    }
    return true;
}

// The same plan as a oneTBB flow graph on a one-thread arena: a node per pass, an edge per
// producer, and a frame is a message to every source followed by wait_for_all.
class FlowGraphFrame {
public:
    explicit FlowGraphFrame(std::shared_ptr<const QVector<PlannedPass>> plan)
        : _plan(std::move(plan)), _arena(1) {
        _arena.execute([this] {
            _graph = std::make_unique<tbb::flow::graph>();
            const QVector<PlannedPass>& plan = *_plan;
            for (int k = 0; k < plan.size(); ++k) {
                _nodes.push_back(
                    std::make_unique<Node>(*_graph, [this, k](const tbb::flow::continue_msg&) {
                        if (!runPlannedPass(*_plan, _plan->at(k), nullptr)) _failed = true;
                    }));
            }
            for (int k = 0; k < plan.size(); ++k) {
                bool source = true;
                for (int producer : plan.at(k).producers) {
                    if (producer < 0) continue;
                    tbb::flow::make_edge(*_nodes[size_t(producer)], *_nodes[size_t(k)]);
                    source = false;
                }
                if (source) _sources.push_back(_nodes[size_t(k)].get());
            }
        });
    }
    ~FlowGraphFrame() {
        _arena.execute([this] {
            _nodes.clear();
            _graph.reset();
        });
    }
    FlowGraphFrame(const FlowGraphFrame&) = delete;
    FlowGraphFrame& operator=(const FlowGraphFrame&) = delete;

    // Runs `loop` inside the one-thread arena; frame() is called only from there.
    template <typename Loop>
    void run(Loop&& loop) {
        _arena.execute([&] { loop(); });
    }
    bool frame() {  // false if a pass failed
        _failed = false;
        for (Node* source : _sources) source->try_put(tbb::flow::continue_msg());
        _graph->wait_for_all();
        return !_failed;
    }

private:
    using Node = tbb::flow::continue_node<tbb::flow::continue_msg>;
    std::shared_ptr<const QVector<PlannedPass>> _plan;
    tbb::task_arena _arena;
    std::unique_ptr<tbb::flow::graph> _graph;
    std::vector<std::unique_ptr<Node>> _nodes;
    std::vector<Node*> _sources;
    bool _failed = false;
};

std::string key(const char* what, Shape shape, int size) {
    return std::string(what) + "/" + shapeName(shape) + "/" + std::to_string(size);
}

// One frame, out of line so that a profiler can count the frames' own instructions
// (valgrind --tool=callgrind --toggle-collect='*renderFrame*').
__attribute__((noinline)) bool renderFrame(Renderer& renderer) {
    return renderer.render(nullptr);
}

// The renderer, the baseline and oneTBB on one kind of pass: "frame-<what>" for the helper
// passes, "frame-light-<what>" for the light ones.
void registerFrameRows(Shape shape, int size, PassKind kind,
                       const std::shared_ptr<FrameSetup>& setup,
                       const std::shared_ptr<const QVector<PlannedPass>>& plan) {
    const std::string prefix = kind == PassKind::Light ? "frame-light-" : "frame-";
    registerPerItem(key((prefix + "renderer").c_str(), shape, size), setup->numRun,
                    [setup](benchmark::State& state) {
                        for (auto _ : state) benchmark::DoNotOptimize(renderFrame(setup->renderer));
                    });
    registerPerItem(key((prefix + "baseline").c_str(), shape, size), plan->size(),
                    [setup, plan](benchmark::State& state) {
                        for (auto _ : state) benchmark::DoNotOptimize(runPlanned(*plan, nullptr));
                    });
    // Passes that finish when start returns: what a limit above 1 costs a frame. The same
    // renderer and passes as the renderer's row, so that only the limit differs (apart, each
    // renderer's passes lie elsewhere on the heap, which moved the ratio by up to 0.3 on the
    // large graphs).
    registerPerItem(key((prefix + "inflight8").c_str(), shape, size), setup->numRun,
                    [setup](benchmark::State& state) {
                        setup->renderer.setMaxPassesInFlight(8);
                        for (auto _ : state) benchmark::DoNotOptimize(renderFrame(setup->renderer));
                        setup->renderer.setMaxPassesInFlight(1);
                    });
    auto flow = std::make_shared<FlowGraphFrame>(plan);
    registerPerItem(key((prefix + "tbb").c_str(), shape, size), plan->size(),
                    [flow](benchmark::State& state) {
                        flow->run([&] {
                            for (auto _ : state) benchmark::DoNotOptimize(flow->frame());
                        });
                    });
}

}  // namespace

void registerFrameBenchmarks() {
    // The renderer's own frame timer, started and stopped once a frame: a part of every frame's
    // fixed cost that no pass arrangement changes.
    registerPerItem("frame-timer", 1, [](benchmark::State& state) {
        FrameTimer<100> timer;
        for (auto _ : state) {
            timer.start();
            timer.stop();
        }
        benchmark::DoNotOptimize(timer.sum());
    });
    for (Shape shape : allShapes()) {
        for (int size : allSizes()) {
            const ShapeLayout layout = makeShape(shape, size);
            std::shared_ptr<FrameSetup> setup;
            for (PassKind kind : {PassKind::Helper, PassKind::Light}) {
                auto kindSetup = std::make_shared<FrameSetup>(layout, kind);
                auto plan =
                    std::make_shared<const QVector<PlannedPass>>(planFrame(*kindSetup, layout));
                if (plan->size() != kindSetup->numRun) {
                    std::fprintf(stderr, "%s: the renderer ran %d passes, the baseline plans %d\n",
                                 key("frame", shape, size).c_str(), kindSetup->numRun,
                                 int(plan->size()));
                }
                registerFrameRows(shape, size, kind, kindSetup, plan);
                if (kind == PassKind::Helper) setup = kindSetup;
            }
            // Per-pass timing switched on: two clock readings and a record per pass.
            registerPerItem(key("frame-timed", shape, size), setup->numRun,
                            [setup](benchmark::State& state) {
                                setup->renderer.setTimingEnabled(true);
                                for (auto _ : state)
                                    benchmark::DoNotOptimize(setup->renderer.render(nullptr));
                                setup->renderer.setTimingEnabled(false);
                            });
            if (shape == Shape::Chain) {
                // From the chain's first pass explain walks every step to the output, but puts
                // only the ends into words.
                registerPerItem(
                    key("explain-first", shape, size), setup->numRun,
                    [setup](benchmark::State& state) {
                        for (auto _ : state)
                            benchmark::DoNotOptimize(setup->renderer.explain(setup->nodes.first()));
                    });
            }
            if (shape == Shape::Layered && size == 1024) {
                // The report page of the 100 frames kept by default, without a picture or SVG.
                registerPerItem("report-html/layered/1024", 1, [setup](benchmark::State& state) {
                    setup->renderer.setTimingEnabled(true);
                    for (int frame = 0; frame < 100; ++frame) setup->renderer.render(nullptr);
                    for (auto _ : state) benchmark::DoNotOptimize(reportHtml(setup->renderer));
                    setup->renderer.setTimingEnabled(false);
                });
                // The picture of the latest frame, every pass with its outcome and time.
                registerPerItem("frame-dot/layered/1024", 1, [setup](benchmark::State& state) {
                    setup->renderer.setTimingEnabled(true);
                    setup->renderer.render(nullptr);
                    for (auto _ : state) benchmark::DoNotOptimize(frameAsDot(setup->renderer));
                    setup->renderer.setTimingEnabled(false);
                });
                // The timeline of the 100 frames kept by default.
                registerPerItem("trace-json/layered/1024", 1, [setup](benchmark::State& state) {
                    setup->renderer.setTimingEnabled(true);
                    for (int frame = 0; frame < 100; ++frame) setup->renderer.render(nullptr);
                    for (auto _ : state) benchmark::DoNotOptimize(setup->renderer.traceJson());
                    setup->renderer.setTimingEnabled(false);
                });
            }
        }
    }
}

}  // namespace OrvBench
