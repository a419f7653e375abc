#include "pipeline.h"

#include "workerpool.h"

#include <Orv/Graph.h>

#include <algorithm>
#include <chrono>
#include <thread>

namespace Orv = Vantrel::Orv;

namespace OrvVulkan {

Pipeline::Pipeline(Gpu* gpu) : heap(gpu), _gpu(gpu) {
    heap.setRenderer(&renderer);
    _frame.renderer = &renderer;
    // Fences and timestamps only on a device; without one every pass fails at start.
    for (int s = 0; s < kFrameSlots && gpu->device(); ++s) {
        const auto fence = make<VkFenceCreateInfo>(VK_STRUCTURE_TYPE_FENCE_CREATE_INFO);
        vkCreateFence(gpu->device(), &fence, nullptr, &_fences[s]);
        auto pool = make<VkCommandPoolCreateInfo>(VK_STRUCTURE_TYPE_COMMAND_POOL_CREATE_INFO);
        pool.flags = VK_COMMAND_POOL_CREATE_RESET_COMMAND_BUFFER_BIT;
        pool.queueFamilyIndex = gpu->queueFamily();
        vkCreateCommandPool(gpu->device(), &pool, nullptr, &_pools[s]);
        auto primary =
            make<VkCommandBufferAllocateInfo>(VK_STRUCTURE_TYPE_COMMAND_BUFFER_ALLOCATE_INFO);
        primary.commandPool = _pools[s];
        primary.level = VK_COMMAND_BUFFER_LEVEL_PRIMARY;
        primary.commandBufferCount = 1;
        vkAllocateCommandBuffers(gpu->device(), &primary, &_primaries[s]);
        if (gpu->timestampPeriod() <= 0.0) continue;
        auto queries = make<VkQueryPoolCreateInfo>(VK_STRUCTURE_TYPE_QUERY_POOL_CREATE_INFO);
        queries.queryType = VK_QUERY_TYPE_TIMESTAMP;
        queries.queryCount = 2 * kMaxGpuPasses;
        vkCreateQueryPool(gpu->device(), &queries, nullptr, &_frame.queries[s]);
    }

    Orv::Graph& graph = *renderer.getGraph();
    const int root = Orv::Graph::kRootNodeRef;
    renderer.addParameter(QStringLiteral("time"), 0.0);
    renderer.addParameter(QStringLiteral("width"), 640);
    renderer.addParameter(QStringLiteral("height"), 360);
    renderer.addParameter(QStringLiteral("jitter"), 0);
    renderer.addParameter(QStringLiteral("share"), 1.0);
    renderer.addParameter(QStringLiteral("exposure"), 0.7);
    renderer.addParameter(QStringLiteral("bloomThreshold"), 1.0);
    renderer.addParameter(QStringLiteral("bloomRadius"), 8);
    renderer.addParameter(QStringLiteral("bloomStrength"), 0.6);
    renderer.addOutput(QStringLiteral("image"));
    renderer.addOutput(QStringLiteral("luma"));

    const int scene = add(QStringLiteral("scene"), new ScenePass(gpu), root);
    accumulate = add(QStringLiteral("accumulate"), new AccumulatePass(gpu), root);
    const int bloom = renderer.addGroup(QStringLiteral("bloom"), 0, 0, root);
    for (const char* name : {"color", "bloomThreshold", "bloomRadius"})
        graph.addInput(bloom, QString::fromLatin1(name), Orv::Graph::kInvalidGroupRef);
    graph.addOutput(bloom, QStringLiteral("bloom"), Orv::Graph::kInvalidGroupRef);
    const int bright = add(QStringLiteral("bloom/bright"), new BrightPass(gpu), bloom);
    const int blur = add(QStringLiteral("bloom/blur"), new BlurPass(gpu), bloom);
    const int composite = add(QStringLiteral("composite"), new CompositePass(gpu), root);
    const int tonemap = add(QStringLiteral("tonemap"), new ToneMapPass(gpu), root);
    const int readBack = add(QStringLiteral("readback"), new ReadBackPass(gpu), root);
    stats = new StatsPass;
    const int statsNode = add(QStringLiteral("stats"), stats, root);

    for (const int node : {scene, accumulate, bloom, composite, tonemap})
        graph.connectDownByName(node);
    graph.addEdgeByName(scene, QStringLiteral("color"), accumulate, QStringLiteral("color"));
    // Its own color of the frame before: no edge, no group, no copy pass.
    renderer.setHistoryInput(accumulate, 1, accumulate, 0);
    graph.addEdgeByName(accumulate, QStringLiteral("color"), bloom, QStringLiteral("color"));
    graph.connectDownByName(bright);
    graph.connectDownByName(blur);
    graph.addEdgeByName(bright, QStringLiteral("bright"), blur, QStringLiteral("bright"));
    graph.addUpEdgeByName(QStringLiteral("bloom"), blur, QStringLiteral("bloom"));
    graph.addEdgeByName(accumulate, QStringLiteral("color"), composite, QStringLiteral("color"));
    graph.addEdgeByName(bloom, QStringLiteral("bloom"), composite, QStringLiteral("bloom"));
    graph.addEdgeByName(composite, QStringLiteral("color"), tonemap, QStringLiteral("color"));
    graph.addEdgeByName(tonemap, QStringLiteral("picture"), readBack, QStringLiteral("picture"));
    graph.addUpEdgeByName(QStringLiteral("image"), readBack, QStringLiteral("image"));
    graph.addUpEdgeByName(QStringLiteral("luma"), statsNode, QStringLiteral("luma"));

    // Each pass says what it does with each port's image; the plan turns that into barriers.
    renderer.setPortUsageFunction([this](int node, Orv::PortSide side, int port) {
        const auto* pass = dynamic_cast<const GpuPass*>(renderer.renderPass(node));
        return pass ? pass->usage(side, port) : int(kNoUsage);
    });
    setSubmitPerPass(false);
}

Pipeline::~Pipeline() {
    if (!_gpu->device()) return;
    // The passes' images and command buffers go with the renderer, after this.
    vkDeviceWaitIdle(_gpu->device());
    for (int s = 0; s < kFrameSlots; ++s) {
        if (_fences[s]) vkDestroyFence(_gpu->device(), _fences[s], nullptr);
        if (_pools[s]) vkDestroyCommandPool(_gpu->device(), _pools[s], nullptr);
        if (_frame.queries[s]) vkDestroyQueryPool(_gpu->device(), _frame.queries[s], nullptr);
    }
}

int Pipeline::add(const QString& path, Orv::RenderPass* pass, int parent) {
    const int node = renderer.addPass(path.section(QLatin1Char('/'), -1), pass, parent);
    if (auto* gpuPass = dynamic_cast<GpuPass*>(pass)) {
        int index = 0;
        for (const auto& added : passes)
            index += dynamic_cast<GpuPass*>(renderer.renderPass(added.second)) ? 1 : 0;
        gpuPass->setFrame(&_frame, &heap, node, index);
    }
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
        return heap.planned(node, output,
                            pass ? pass->outputShape(output, _width, _height) : ImageShape());
    });
}

void Pipeline::setSubmitPerPass(bool perPass) {
    finish();
    _perPass = perPass;
    renderer.setSyncPlanning(!perPass);
}

bool Pipeline::render(int frame, const QImage& previous, QString* error) {
    const int slot = _frames % kFrameSlots;
    // The frame before last used this slot's heap, command buffers and read-back.
    if (_onDevice[slot]) ++_counts.waits;
    collect(slot);
    _frame.begin(slot);
    _frame.perPass = _perPass;
    if (renderer.maxPassesInFlight() > 1 && !_workers)
        _workers = std::make_unique<OrvDemo::WorkerPool>(2);
    _frame.workers = renderer.maxPassesInFlight() > 1 ? _workers.get() : nullptr;
    heap.beginFrame(slot);
    renderer.setParameter(renderer.findParameter(QStringLiteral("time")), 1.5 + frame / 24.0);
    const bool still = frame == _latestFrame;
    if (!still && frame != _latestFrame + 1) {
        // A cut: what was accumulated shows another view.
        renderer.resetHistory();
        _samples = 0;
    }
    _latestFrame = frame;
    // A still camera averages its samples (each down to a sixteenth); moving, the new frame is
    // half of the picture, so that what moved leaves a short trail.
    const double share = std::max(1.0 / (_samples + 1), still ? 1.0 / 16 : 0.5);
    renderer.setParameter(renderer.findParameter(QStringLiteral("jitter")), _samples % 16);
    renderer.setParameter(renderer.findParameter(QStringLiteral("share")), share);
    ++_samples;
    stats->setPicture(previous);
    bool rendered = renderer.render(nullptr);
    ++_frames;
    _stamped[slot] = _frame.recorded;
    _readBack[slot] = renderer.output(0).value<Picture>();
    VkResult result = VK_SUCCESS;
    if (rendered && !_perPass) result = submit(slot);
    _onDevice[slot] = rendered && result == VK_SUCCESS;
    ++_counts.frames;
    _counts.passes += int(_frame.recorded.size());
    _counts.submits += _frame.submits;
    _counts.waits += _frame.waits;
    _counts.barrierBatches += _frame.barrierBatches;
    _counts.imageBarriers += _frame.imageBarriers;
    // Per pass, the renderer has waited for every fence.
    if (_perPass) collect(slot);
    if (result != VK_SUCCESS) {
        *error = QStringLiteral("the frame's submission failed: %1")
                     .arg(QLatin1String(resultName(result)));
        return false;
    }
    if (rendered) return true;
    for (const auto& pass : passes) {
        const unsigned int code = renderer.failureCode(pass.second);
        if (code != 0)
            *error = QStringLiteral("pass '%1' failed: %2")
                         .arg(pass.first, QLatin1String(resultName(resultOf(code))));
    }
    return false;
}

bool Pipeline::historyReset() const {
    return !renderer.historyValid(accumulate, 1);
}

VkResult Pipeline::submit(int slot) {
    // In schedule order, whatever order the passes started or finished recording in.
    std::vector<Frame::Recorded> recorded = _frame.recorded;
    std::stable_sort(
        recorded.begin(), recorded.end(),
        [](const Frame::Recorded& a, const Frame::Recorded& b) { return a.step < b.step; });
    std::vector<VkCommandBuffer> commands;
    for (const Frame::Recorded& pass : recorded) commands.push_back(pass.commands);
    // One primary executes the passes' secondaries, so that the validation layer checks the
    // accesses of one pass against the next (it does not across the buffers of a submission).
    const VkCommandBuffer primary = _primaries[slot];
    VkResult result = vkResetCommandBuffer(primary, 0);
    auto begin = make<VkCommandBufferBeginInfo>(VK_STRUCTURE_TYPE_COMMAND_BUFFER_BEGIN_INFO);
    begin.flags = VK_COMMAND_BUFFER_USAGE_ONE_TIME_SUBMIT_BIT;
    if (result == VK_SUCCESS) result = vkBeginCommandBuffer(primary, &begin);
    if (result != VK_SUCCESS) return result;
    if (_frame.queries[slot])
        vkCmdResetQueryPool(primary, _frame.queries[slot], 0, 2 * kMaxGpuPasses);
    if (!commands.empty())
        vkCmdExecuteCommands(primary, uint32_t(commands.size()), commands.data());
    result = vkEndCommandBuffer(primary);
    if (result == VK_SUCCESS) result = vkResetFences(_gpu->device(), 1, &_fences[slot]);
    auto submit = make<VkSubmitInfo>(VK_STRUCTURE_TYPE_SUBMIT_INFO);
    submit.commandBufferCount = 1;
    submit.pCommandBuffers = &primary;
    if (result == VK_SUCCESS) result = vkQueueSubmit(_gpu->queue(), 1, &submit, _fences[slot]);
    if (result == VK_SUCCESS) ++_frame.submits;
    _stamped[slot] = recorded;
    return result;
}

void Pipeline::collect(int slot) {
    if (!_onDevice[slot] && !_perPass) return;
    if (!_perPass) vkWaitForFences(_gpu->device(), 1, &_fences[slot], VK_TRUE, UINT64_MAX);
    _onDevice[slot] = false;
    const Picture picture = _readBack[slot];
    if (picture.pixels)
        _picture = QImage(static_cast<const uchar*>(picture.pixels), picture.width, picture.height,
                          picture.width * 4, QImage::Format_RGBA8888)
                       .copy();
    _readBack[slot] = Picture();

    const VkQueryPool queries = _frame.queries[slot];
    const std::vector<Frame::Recorded> stamped = std::move(_stamped[slot]);
    _stamped[slot].clear();
    if (!queries) return;
    // Each pass's start and end, with whether each is available.
    double previousEnd = -1.0;
    for (const Frame::Recorded& pass : stamped) {
        quint64 values[4] = {};
        const VkResult result = vkGetQueryPoolResults(
            _gpu->device(), queries, uint32_t(2 * pass.pass), 2, sizeof(values), values,
            2 * sizeof(quint64), VK_QUERY_RESULT_64_BIT | VK_QUERY_RESULT_WITH_AVAILABILITY_BIT);
        if (result != VK_SUCCESS || !values[1] || !values[3]) continue;
        const double start = double(values[0]) * _gpu->timestampPeriod() / 1000.0;
        const double end = double(values[2]) * _gpu->timestampPeriod() / 1000.0;
        if (previousEnd >= 0.0) _counts.gaps.push_back(std::max(0.0, start - previousEnd));
        previousEnd = end;
    }
}

QImage Pipeline::finish() {
    for (int k = 0; k < kFrameSlots; ++k) collect((_frames + k) % kFrameSlots);
    return _picture;
}

void waitForPasses(const Gpu& gpu, const QVector<Orv::RenderPass*>& inFlight) {
    VkFence fences[64];
    uint32_t count = 0;
    const StatsPass* cpu = nullptr;
    const GpuPass* recording = nullptr;
    for (Orv::RenderPass* pass : inFlight) {
        if (const auto* gpuPass = dynamic_cast<const GpuPass*>(pass)) {
            if (gpuPass->fence() && count < 64) fences[count++] = gpuPass->fence();
            if (gpuPass->recording() && !recording) recording = gpuPass;
        } else {
            cpu = dynamic_cast<const StatsPass*>(pass);
        }
    }
    const bool poll = cpu || (count > 0 && recording);
    if (count > 0) {
        // A timeout or an error returns all the same: the renderer polls, and a fence in error
        // fails its pass.
        vkWaitForFences(gpu.device(), count, fences, VK_FALSE, poll ? 100000u : 1000000000u);
    } else if (recording) {
        recording->waitRecorded(std::chrono::microseconds(poll ? 100 : 1000000));
    } else if (cpu) {
        cpu->wait();
    } else {
        // Nothing known to wait on: as the renderer would.
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
}

double median(std::vector<double> values) {
    if (values.empty()) return 0.0;
    const auto middle = values.begin() + values.size() / 2;
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

}  // namespace OrvVulkan
