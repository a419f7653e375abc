// Frame overhead: a renderer running passes that do nothing, against the least that any
// implementation of the pass contract pays: the same pass objects called in a precomputed
// producer-first order with exactly the calls the renderer makes on each pass per frame.
#include "bench_support.h"

#include <Orv/Graph.h>
#include <Orv/RenderPassHelper.h>
#include <Orv/Renderer.h>
#include <Orv/Walkers.h>

#include <QThread>

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

// A renderer holding one shape, its last pass feeding renderer output 0.
struct FrameSetup {
    Renderer renderer;
    QVector<int> nodes;  // by pass number
    int numRun = 0;      // passes one frame runs

    explicit FrameSetup(const ShapeLayout& layout) {
        renderer.addOutput(QStringLiteral("out"));
        nodes.resize(layout.numPasses);
        for (int p = 0; p < layout.numPasses; ++p)
            nodes[p] = renderer.addPass(QStringLiteral("pass"), new NullPass(layout.inputsPerPass, p),
                                        Graph::kRootNodeRef);
        Graph& graph = *renderer.getGraph();
        for (const Link& link : layout.links)
            graph.addEdge(nodes[link.producer], 0, nodes[link.consumer], link.input);
        graph.addUpEdge(0, nodes.last(), 0);
        renderer.render(nullptr);
        numRun = renderer.getNumPasses();
    }
};

// The baseline's plan: the needed passes producer-first, where each input's value comes from,
// and each output's count of needed consumers.
struct PlannedPass {
    RenderPass* pass;
    QVector<RenderPass*> producers;  // by input; null for an input that takes its default
    int users;                       // needed consumers of output 0
};

QVector<PlannedPass> planFrame(FrameSetup& setup, const ShapeLayout& layout) {
    const Graph& graph = *setup.renderer.getGraph();
    QVector<int> passOfNode(graph.numNodesGlobal(), -1);
    for (int p = 0; p < setup.nodes.size(); ++p) passOfNode[setup.nodes[p]] = p;

    QVector<int> order;  // producer-first, needed passes only
    QVector<bool> needed(layout.numPasses, false);
    for (BottomUpInputWalker walker(graph, setup.nodes.last(), true); walker.valid();
         walker.next()) {
        order.append(passOfNode[walker.node()]);
        needed[order.last()] = true;
    }
    QVector<int> users(layout.numPasses, 0);
    QVector<QVector<RenderPass*>> producers(layout.numPasses,
                                            QVector<RenderPass*>(layout.inputsPerPass, nullptr));
    for (const Link& link : layout.links) {
        if (needed[link.consumer]) ++users[link.producer];
        producers[link.consumer][link.input] =
            setup.renderer.renderPass(setup.nodes[link.producer]);
    }
    QVector<PlannedPass> plan;
    for (int p : order)
        plan.append({setup.renderer.renderPass(setup.nodes[p]), producers[p], users[p]});
    return plan;
}

bool runPlanned(const QVector<PlannedPass>& plan, RenderCallbacks* callbacks) {
    for (const PlannedPass& planned : plan) {
        RenderPass* pass = planned.pass;
        for (int i = 0; i < planned.producers.size(); ++i) {
            RenderPass* producer = planned.producers.at(i);
            pass->setInput(i, producer ? producer->output(0) : pass->defaultValue(i));
        }
        pass->resetNumOutputUsers();
        if (planned.users > 0) pass->setNumOutputUsers(0, planned.users);
        pass->setErrorCode(0);
        pass->beginFrame(callbacks);
        pass->start(callbacks);
        while (!pass->isFinished()) QThread::usleep(100);
        pass->endFrame(callbacks);
        if (pass->errorCode() != 0) return false;
    }
    return true;
}

std::string key(const char* what, Shape shape, int size) {
    return std::string(what) + "/" + shapeName(shape) + "/" + std::to_string(size);
}

}  // namespace

void registerFrameBenchmarks() {
    for (Shape shape : allShapes()) {
        for (int size : allSizes()) {
            const ShapeLayout layout = makeShape(shape, size);
            auto setup = std::make_shared<FrameSetup>(layout);
            auto plan = std::make_shared<QVector<PlannedPass>>(planFrame(*setup, layout));
            if (plan->size() != setup->numRun) {
                std::fprintf(stderr, "%s: the renderer ran %d passes, the baseline plans %d\n",
                             key("frame", shape, size).c_str(), setup->numRun, int(plan->size()));
            }
            registerPerItem(key("frame-renderer", shape, size), setup->numRun,
                            [setup](benchmark::State& state) {
                                for (auto _ : state)
                                    benchmark::DoNotOptimize(setup->renderer.render(nullptr));
                            });
            registerPerItem(key("frame-baseline", shape, size), plan->size(),
                            [setup, plan](benchmark::State& state) {
                                for (auto _ : state)
                                    benchmark::DoNotOptimize(runPlanned(*plan, nullptr));
                            });
        }
    }
}

}  // namespace OrvBench
