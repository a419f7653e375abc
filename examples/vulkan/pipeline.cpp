#include "pipeline.h"

#include <Orv/Graph.h>

#include <chrono>
#include <thread>

namespace Orv = Vantrel::Orv;

namespace OrvVulkan {

Pipeline::Pipeline(Gpu* gpu) : heap(gpu) {
    heap.setRenderer(&renderer);
    Orv::Graph& graph = *renderer.getGraph();
    const int root = Orv::Graph::kRootNodeRef;
    renderer.addParameter(QStringLiteral("time"), 0.0);
    renderer.addParameter(QStringLiteral("width"), 640);
    renderer.addParameter(QStringLiteral("height"), 360);
    renderer.addParameter(QStringLiteral("exposure"), 0.7);
    renderer.addParameter(QStringLiteral("bloomThreshold"), 1.0);
    renderer.addParameter(QStringLiteral("bloomRadius"), 8);
    renderer.addParameter(QStringLiteral("bloomStrength"), 0.6);
    renderer.addOutput(QStringLiteral("image"));
    renderer.addOutput(QStringLiteral("luma"));

    const int scene = add(QStringLiteral("scene"), new ScenePass(gpu), root);
    const int bloom = renderer.addGroup(QStringLiteral("bloom"), 0, 0, root);
    for (const char* name : {"color", "bloomThreshold", "bloomRadius"})
        graph.addInput(bloom, QString::fromLatin1(name), Orv::Graph::kInvalidGroupRef);
    graph.addOutput(bloom, QStringLiteral("bloom"), Orv::Graph::kInvalidGroupRef);
    const int bright = add(QStringLiteral("bloom/bright"), new BrightPass(gpu), bloom);
    const int blur = add(QStringLiteral("bloom/blur"), new BlurPass(gpu), bloom);
    const int composite = add(QStringLiteral("composite"), new CompositePass(gpu), root);
    const int tonemap = add(QStringLiteral("tonemap"), new ToneMapPass(gpu), root);
    stats = new StatsPass;
    const int statsNode = add(QStringLiteral("stats"), stats, root);

    for (const int node : {scene, bloom, composite, tonemap}) graph.connectDownByName(node);
    graph.addEdgeByName(scene, QStringLiteral("color"), bloom, QStringLiteral("color"));
    graph.connectDownByName(bright);
    graph.connectDownByName(blur);
    graph.addEdgeByName(bright, QStringLiteral("bright"), blur, QStringLiteral("bright"));
    graph.addUpEdgeByName(QStringLiteral("bloom"), blur, QStringLiteral("bloom"));
    graph.addEdgeByName(scene, QStringLiteral("color"), composite, QStringLiteral("color"));
    graph.addEdgeByName(bloom, QStringLiteral("bloom"), composite, QStringLiteral("bloom"));
    graph.addEdgeByName(composite, QStringLiteral("color"), tonemap, QStringLiteral("color"));
    graph.addUpEdgeByName(QStringLiteral("image"), tonemap, QStringLiteral("image"));
    graph.addUpEdgeByName(QStringLiteral("luma"), statsNode, QStringLiteral("luma"));
}

int Pipeline::add(const QString& path, Orv::RenderPass* pass, int parent) {
    const int node = renderer.addPass(path.section(QLatin1Char('/'), -1), pass, parent);
    if (auto* gpuPass = dynamic_cast<GpuPass*>(pass)) gpuPass->setHeap(&heap, node);
    passes.append({path, node});
    return node;
}

void Pipeline::setSize(int width, int height) {
    _width = width;
    _height = height;
    renderer.setParameter(renderer.findParameter(QStringLiteral("width")), width);
    renderer.setParameter(renderer.findParameter(QStringLiteral("height")), height);
    // A new size is a new plan, placed at the next frame.
    renderer.invalidateOutputSizes();
}

void Pipeline::setMemoryPlan(bool enabled) {
    heap.setEnabled(enabled);
    renderer.setMemoryPlanning(enabled);
    // Asked at the size of the moment, whenever the renderer plans.
    renderer.setOutputMemoryFunction([this](int node, int output) {
        const auto* pass = dynamic_cast<const GpuPass*>(renderer.renderPass(node));
        return heap.planned(node, output, pass ? pass->outputBytes(output, _width, _height) : 0);
    });
}

bool Pipeline::render(int frame, const QImage& previous, QString* error) {
    heap.beginFrame();
    renderer.setParameter(renderer.findParameter(QStringLiteral("time")), 1.5 + frame / 24.0);
    stats->setPicture(previous);
    if (renderer.render(nullptr)) return true;
    for (const auto& pass : passes) {
        const unsigned int code = renderer.failureCode(pass.second);
        if (code != 0)
            *error = QStringLiteral("pass '%1' failed: %2")
                         .arg(pass.first, QLatin1String(resultName(resultOf(code))));
    }
    return false;
}

void waitForPasses(const Gpu& gpu, const QVector<Orv::RenderPass*>& inFlight) {
    VkFence fences[64];
    uint32_t count = 0;
    const StatsPass* cpu = nullptr;
    for (Orv::RenderPass* pass : inFlight) {
        if (const auto* gpuPass = dynamic_cast<const GpuPass*>(pass)) {
            if (gpuPass->fence() && count < 64) fences[count++] = gpuPass->fence();
        } else {
            cpu = dynamic_cast<const StatsPass*>(pass);
        }
    }
    if (count == 0 && cpu) {
        cpu->wait();
    } else if (count == 0) {
        // Nothing known to wait on: as the renderer would.
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    } else {
        // A timeout or an error returns all the same: the renderer polls, and a fence in error
        // fails its pass.
        vkWaitForFences(gpu.device(), count, fences, VK_FALSE, cpu ? 100000u : 1000000000u);
    }
}

}  // namespace OrvVulkan
