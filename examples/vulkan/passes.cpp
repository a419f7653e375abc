#include "passes.h"

#include "accumulate.spv.h"
#include "blur.spv.h"
#include "bright.spv.h"
#include "composite.spv.h"
#include "scene.spv.h"
#include "tonemap.spv.h"
#include "workerpool.h"

#include <algorithm>
#include <future>
#include <memory>

namespace Orv = Vantrel::Orv;

namespace OrvVulkan {

namespace {

// The push constants every shader starts with: the size it works on, then its own numbers.
struct Push {
    int32_t width;
    int32_t height;
    union {
        float f;
        int32_t i;
    } a, b;
};

Push push(int width, int height, float a) {
    Push p{width, height, {}, {}};
    p.a.f = a;
    return p;
}

bool isImage(const GpuImage& image) {
    return image.image && image.width > 0 && image.height > 0;
}

ImageShape colorShape(int width, int height) {
    return ImageShape{kColorFormat, width, height};
}

// Where, how and in which layout an image is used, for each of the host's usages.
struct Access {
    VkPipelineStageFlags stage;
    VkAccessFlags access;
    VkImageLayout layout;
    bool write;
};

Access accessOf(int usage) {
    switch (usage) {
        case kStorageWrite:
            return {VK_PIPELINE_STAGE_COMPUTE_SHADER_BIT, VK_ACCESS_SHADER_WRITE_BIT,
                    VK_IMAGE_LAYOUT_GENERAL, true};
        case kStorageRead:
            return {VK_PIPELINE_STAGE_COMPUTE_SHADER_BIT, VK_ACCESS_SHADER_READ_BIT,
                    VK_IMAGE_LAYOUT_GENERAL, false};
        case kSampled:
            return {VK_PIPELINE_STAGE_COMPUTE_SHADER_BIT, VK_ACCESS_SHADER_READ_BIT,
                    VK_IMAGE_LAYOUT_SHADER_READ_ONLY_OPTIMAL, false};
        case kCopySource:
            return {VK_PIPELINE_STAGE_TRANSFER_BIT, VK_ACCESS_TRANSFER_READ_BIT,
                    VK_IMAGE_LAYOUT_TRANSFER_SRC_OPTIMAL, false};
        default:  // undeclared: anything, anywhere
            return {VK_PIPELINE_STAGE_ALL_COMMANDS_BIT,
                    VK_ACCESS_MEMORY_READ_BIT | VK_ACCESS_MEMORY_WRITE_BIT, VK_IMAGE_LAYOUT_GENERAL,
                    true};
    }
}

VkImageMemoryBarrier imageBarrier(VkImage image, VkImageLayout from, VkImageLayout to,
                                  VkAccessFlags src, VkAccessFlags dst) {
    auto barrier = make<VkImageMemoryBarrier>(VK_STRUCTURE_TYPE_IMAGE_MEMORY_BARRIER);
    barrier.srcAccessMask = src;
    barrier.dstAccessMask = dst;
    barrier.oldLayout = from;
    barrier.newLayout = to;
    barrier.srcQueueFamilyIndex = VK_QUEUE_FAMILY_IGNORED;
    barrier.dstQueueFamilyIndex = VK_QUEUE_FAMILY_IGNORED;
    barrier.image = image;
    barrier.subresourceRange = {VK_IMAGE_ASPECT_COLOR_BIT, 0, 1, 0, 1};
    return barrier;
}

}  // namespace

GpuPass::~GpuPass() {
    const VkDevice device = _gpu->device();
    if (!device) return;
    if (_recording.valid()) _recording.wait();
    for (VkPipeline pipeline : _pipelines) vkDestroyPipeline(device, pipeline, nullptr);
    for (auto& images : _images)
        for (Image& image : images) _gpu->release(&image);
    if (_fence) vkDestroyFence(device, _fence, nullptr);
    for (VkCommandPool pool : _pools)
        if (pool) vkDestroyCommandPool(device, pool, nullptr);  // frees its command buffer
}

// Makes only what an earlier setup did not, so that setting up again after a failure leaks
// nothing.
void GpuPass::setup(Orv::RenderCallbacks*) {
    if (_setupResult == VK_SUCCESS) return;
    VkResult result = VK_SUCCESS;
    // A pool per slot, so that recording on a worker touches no other pass's pool.
    for (int s = 0; s < kFrameSlots && result == VK_SUCCESS; ++s) {
        auto pool = make<VkCommandPoolCreateInfo>(VK_STRUCTURE_TYPE_COMMAND_POOL_CREATE_INFO);
        pool.flags = VK_COMMAND_POOL_CREATE_TRANSIENT_BIT;
        pool.queueFamilyIndex = _gpu->queueFamily();
        if (!_pools[s]) result = vkCreateCommandPool(_gpu->device(), &pool, nullptr, &_pools[s]);
        // A primary to submit alone, and a secondary for the host's frame to execute.
        for (int level = 0; level < 2 && result == VK_SUCCESS; ++level) {
            auto commands =
                make<VkCommandBufferAllocateInfo>(VK_STRUCTURE_TYPE_COMMAND_BUFFER_ALLOCATE_INFO);
            commands.commandPool = _pools[s];
            commands.level =
                level ? VK_COMMAND_BUFFER_LEVEL_SECONDARY : VK_COMMAND_BUFFER_LEVEL_PRIMARY;
            commands.commandBufferCount = 1;
            if (!_commands[s][level])
                result = vkAllocateCommandBuffers(_gpu->device(), &commands, &_commands[s][level]);
        }
        for (VkDescriptorSet& set : _sets[s])
            if (result == VK_SUCCESS && !set) result = _gpu->allocateSet(&set);
    }
    const auto fence = make<VkFenceCreateInfo>(VK_STRUCTURE_TYPE_FENCE_CREATE_INFO);
    if (result == VK_SUCCESS && !_fence)
        result = vkCreateFence(_gpu->device(), &fence, nullptr, &_fence);
    if (result == VK_SUCCESS && _pipelines.empty()) result = makePipelines();
    _setupResult = result;
}

void GpuPass::start(Orv::RenderCallbacks*) {
    _submitted = false;
    _status = VK_SUCCESS;
    _written.clear();
    VkResult result = _frame ? _setupResult : VK_ERROR_INITIALIZATION_FAILED;
    bool work = false;
    if (result == VK_SUCCESS) result = prepare(&work);
    if (result == VK_SUCCESS && work && perPass()) {
        result = recordAll(blanket());
        if (result == VK_SUCCESS) submit();
        if (result == VK_SUCCESS) _frame->recorded.push_back({-1, _index, VK_NULL_HANDLE});
    } else if (result == VK_SUCCESS && work) {
        // Read here, on the renderer's thread: the step is the one starting now.
        Batch batch = planned();
        _frame->recorded.push_back({_frame->renderer->currentStep(), _index, commands()});
        if (_frame->workers) {
            // Shared: the pool's tasks are copyable functions, and a packaged task is not.
            auto recording = std::make_shared<std::packaged_task<VkResult()>>(
                [this, batch = std::move(batch)] { return recordAll(batch); });
            _recording = recording->get_future();
            _frame->workers->post([recording] { (*recording)(); });
        } else
            result = recordAll(batch);
    }
    if (result != VK_SUCCESS) setErrorCode(errorCodeOf(result));
}

void GpuPass::submit() {
    VkResult result = vkResetFences(_gpu->device(), 1, &_fence);
    auto submit = make<VkSubmitInfo>(VK_STRUCTURE_TYPE_SUBMIT_INFO);
    submit.commandBufferCount = 1;
    const VkCommandBuffer primary = commands();
    submit.pCommandBuffers = &primary;
    if (result == VK_SUCCESS) result = vkQueueSubmit(_gpu->queue(), 1, &submit, _fence);
    _submitted = result == VK_SUCCESS;
    if (_submitted) ++_frame->submits;
    if (result != VK_SUCCESS) setErrorCode(errorCodeOf(result));
}

bool GpuPass::isFinished() const {
    if (_recording.valid()) {
        if (_recording.wait_for(std::chrono::seconds(0)) != std::future_status::ready) return false;
        _status = _recording.get();
    }
    if (!_submitted) return true;
    const VkResult result = vkGetFenceStatus(_gpu->device(), _fence);
    if (result == VK_NOT_READY) return false;
    _status = result;
    ++_frame->waits;
    _submitted = false;
    return true;
}

void GpuPass::waitRecorded(std::chrono::microseconds timeout) const {
    if (_recording.valid()) _recording.wait_for(timeout);
}

void GpuPass::endFrame(Orv::RenderCallbacks* callbacks) {
    if (_status != VK_SUCCESS) setErrorCode(errorCodeOf(_status));
    RenderPassHelper::endFrame(callbacks);
}

// Each image the pass writes begins from VK_IMAGE_LAYOUT_UNDEFINED: whatever it or another
// image in its bytes held is discarded, and its first write waits for nothing but what the plan
// says (a Reuse: the latest access of the image that held the bytes).
GpuPass::Batch GpuPass::planned() const {
    Batch batch;
    batch.dst = VK_PIPELINE_STAGE_COMPUTE_SHADER_BIT;
    std::vector<int> outputs;
    for (int k : _written) {
        batch.images.push_back(imageBarrier(image(k).image, VK_IMAGE_LAYOUT_UNDEFINED,
                                            VK_IMAGE_LAYOUT_GENERAL, 0,
                                            VK_ACCESS_SHADER_WRITE_BIT));
        outputs.push_back(k);
    }
    const Orv::SyncPlan plan = _frame->renderer->syncPlan();
    const int step = _frame->renderer->currentStep();
    if (step >= 0 && step < plan.numSteps()) {
        for (int i = plan.firstOfStep[step]; i < plan.firstOfStep[step + 1]; ++i) {
            if (i == _frame->droppedTransition) continue;
            const Orv::Transition& t = plan.transitions[i];
            const Access from = accessOf(t.fromUsage);
            const Access to = accessOf(t.toUsage);
            const VkAccessFlags written = from.write ? from.access : 0;
            if (t.reason == Orv::Transition::Reason::Reuse ||
                t.reason == Orv::Transition::Reason::WriteAfterHistoryRead) {
                // The new write's discard waits for the old holder's (or reader's) access.
                const int output =
                    t.reason == Orv::Transition::Reason::Reuse ? t.takenBy : t.output;
                const auto at = std::find(outputs.begin(), outputs.end(), output);
                if (at == outputs.end()) continue;  // the pass wrote nothing there
                // The discard is a write too: it follows the holder's write as well as its
                // latest access (the validation layer asks for both, even when a read barrier
                // made the write available).
                const Access write = accessOf(t.writeUsage);
                const VkAccessFlags writes = written | (write.write ? write.access : 0);
                batch.images[size_t(at - outputs.begin())].srcAccessMask |= writes;
                batch.src |= from.stage | write.stage;
                continue;
            }
            // A read of the frame before's value concerns the copy the history input was fed.
            const auto& images = t.frameBefore ? _frame->history : _frame->images;
            const GpuImage resource = images.value(qMakePair(t.node, t.output));
            if (!isImage(resource)) continue;  // a number, or nothing (real) this frame
            batch.images.push_back(
                imageBarrier(resource.image, from.layout, to.layout, written, to.access));
            batch.src |= from.stage;
            batch.dst |= to.stage;
        }
    }
    if (!batch.src) batch.src = VK_PIPELINE_STAGE_TOP_OF_PIPE_BIT;
    return batch;
}

// What every pass did before it recorded with the plan: wait for all earlier compute and copy
// work, its writes made visible, whatever the pass reads.
GpuPass::Batch GpuPass::blanket() const {
    Batch batch;
    batch.src = batch.dst = VK_PIPELINE_STAGE_COMPUTE_SHADER_BIT | VK_PIPELINE_STAGE_TRANSFER_BIT;
    batch.memorySrc = VK_ACCESS_SHADER_WRITE_BIT | VK_ACCESS_TRANSFER_WRITE_BIT;
    batch.memoryDst =
        VK_ACCESS_SHADER_READ_BIT | VK_ACCESS_SHADER_WRITE_BIT | VK_ACCESS_TRANSFER_READ_BIT;
    for (int k : _written)
        batch.images.push_back(imageBarrier(image(k).image, VK_IMAGE_LAYOUT_UNDEFINED,
                                            VK_IMAGE_LAYOUT_GENERAL, 0,
                                            VK_ACCESS_SHADER_WRITE_BIT));
    // Images stay in the general layout, but a copy is best made from the copy-source one.
    for (int i = 0; i < _inputs.size(); ++i) {
        const GpuImage read = input(i);
        if (usage(Orv::PortSide::Input, i) == kCopySource && isImage(read))
            batch.images.push_back(imageBarrier(
                read.image, VK_IMAGE_LAYOUT_GENERAL, VK_IMAGE_LAYOUT_TRANSFER_SRC_OPTIMAL,
                VK_ACCESS_SHADER_WRITE_BIT, VK_ACCESS_TRANSFER_READ_BIT));
    }
    return batch;
}

VkResult GpuPass::recordAll(const Batch& batch) {
    const VkCommandBuffer commands = this->commands();
    VkResult result = vkResetCommandPool(_gpu->device(), _pools[slot()], 0);
    auto begin = make<VkCommandBufferBeginInfo>(VK_STRUCTURE_TYPE_COMMAND_BUFFER_BEGIN_INFO);
    begin.flags = VK_COMMAND_BUFFER_USAGE_ONE_TIME_SUBMIT_BIT;
    const auto inheritance =
        make<VkCommandBufferInheritanceInfo>(VK_STRUCTURE_TYPE_COMMAND_BUFFER_INHERITANCE_INFO);
    if (!perPass()) begin.pInheritanceInfo = &inheritance;
    if (result == VK_SUCCESS) result = vkBeginCommandBuffer(commands, &begin);
    if (result != VK_SUCCESS) return result;
    const VkQueryPool queries = _frame->queries[slot()];
    const uint32_t first = uint32_t(2 * _index);
    // A frame's queries are reset once, not between passes (on lavapipe a reset costs tens of
    // microseconds): by the host's primary command buffer, or per pass by the first pass's.
    if (queries && perPass() && _index == 0)
        vkCmdResetQueryPool(commands, queries, 0, 2 * kMaxGpuPasses);
    auto memory = make<VkMemoryBarrier>(VK_STRUCTURE_TYPE_MEMORY_BARRIER);
    memory.srcAccessMask = batch.memorySrc;
    memory.dstAccessMask = batch.memoryDst;
    vkCmdPipelineBarrier(commands, batch.src, batch.dst, 0, batch.memorySrc ? 1 : 0, &memory, 0,
                         nullptr, uint32_t(batch.images.size()), batch.images.data());
    ++_frame->barrierBatches;
    _frame->imageBarriers += int(batch.images.size());
    if (queries) vkCmdWriteTimestamp(commands, VK_PIPELINE_STAGE_TOP_OF_PIPE_BIT, queries, first);
    record(commands);
    if (queries)
        vkCmdWriteTimestamp(commands, VK_PIPELINE_STAGE_BOTTOM_OF_PIPE_BIT, queries, first + 1);
    return vkEndCommandBuffer(commands);
}

int GpuPass::usage(Orv::PortSide side, int port) const {
    return _usages[int(side)].value(port, kNoUsage);
}

void GpuPass::declare(Orv::PortSide side, int port, Usage usage) {
    QVector<int>& usages = _usages[int(side)];
    if (usages.size() <= port) usages.resize(port + 1);
    usages[port] = usage;
}

VkResult GpuPass::pipeline(const uint32_t* code, size_t bytes, VkPipeline* pipeline) {
    const VkResult result = _gpu->makePipeline(code, bytes, pipeline);
    if (result == VK_SUCCESS) _pipelines.push_back(*pipeline);
    return result;
}

ImageShape GpuPass::outputShape(int, int, int) const {
    return ImageShape();
}

VkResult GpuPass::fitImage(int output, const ImageShape& shape, bool readNextFrame) {
    Image& target = _images[slot()][output + 1];
    VkResult result = VK_SUCCESS;
    if (output >= 0 && _heap) {
        result = _heap->place(_node, output, shape, &target, readNextFrame);
    } else if (!(target.image && target.format == shape.format && target.width == shape.width &&
                 target.height == shape.height && !target.heap)) {
        // The slot's earlier frame has ended; the frame after it, which may read the image as
        // its history, is waited for (a resize: rare).
        if (readNextFrame && target.image) vkQueueWaitIdle(_gpu->queue());
        _gpu->release(&target);
        result =
            _gpu->makeImage(shape.format, shape.width, shape.height, VK_NULL_HANDLE, 0, &target);
    }
    if (result != VK_SUCCESS) return result;
    _written.push_back(output);
    if (output >= 0) {
        _frame->images.insert(qMakePair(_node, output), handOn(output));
        setOutput(output, QVariant::fromValue(handOn(output)));
    }
    return VK_SUCCESS;
}

GpuImage GpuPass::history(int input, int output) {
    const GpuImage before = this->input(input);
    if (!_frame->renderer->historyValid(_node, input) || !isImage(before)) return GpuImage();
    _frame->history.insert(qMakePair(_node, output), before);
    return before;
}

GpuImage GpuPass::handOn(int output) const {
    const Image& held = image(output);
    return GpuImage{held.image, held.view, held.width, held.height};
}

VkImageLayout GpuPass::sampledLayout() const {
    return perPass() ? VK_IMAGE_LAYOUT_GENERAL : VK_IMAGE_LAYOUT_SHADER_READ_ONLY_OPTIMAL;
}

void GpuPass::dispatch(VkCommandBuffer commands, VkPipeline pipeline, VkDescriptorSet set,
                       const void* push, int width, int height) {
    vkCmdBindPipeline(commands, VK_PIPELINE_BIND_POINT_COMPUTE, pipeline);
    vkCmdBindDescriptorSets(commands, VK_PIPELINE_BIND_POINT_COMPUTE, _gpu->pipelineLayout(), 0, 1,
                            &set, 0, nullptr);
    vkCmdPushConstants(commands, _gpu->pipelineLayout(), VK_SHADER_STAGE_COMPUTE_BIT, 0,
                       sizeof(Push), push);
    vkCmdDispatch(commands, uint32_t(width + 7) / 8, uint32_t(height + 7) / 8, 1);
}

void GpuPass::storageBarrier(VkCommandBuffer commands, VkImage image) {
    const VkImageMemoryBarrier barrier =
        imageBarrier(image, VK_IMAGE_LAYOUT_GENERAL, VK_IMAGE_LAYOUT_GENERAL,
                     VK_ACCESS_SHADER_WRITE_BIT, VK_ACCESS_SHADER_READ_BIT);
    vkCmdPipelineBarrier(commands, VK_PIPELINE_STAGE_COMPUTE_SHADER_BIT,
                         VK_PIPELINE_STAGE_COMPUTE_SHADER_BIT, 0, 0, nullptr, 0, nullptr, 1,
                         &barrier);
}

ScenePass::ScenePass(Gpu* gpu) : GpuPass(gpu) {
    addInput(QStringLiteral("time"), 0.0);
    addInput(QStringLiteral("width"), 640);
    addInput(QStringLiteral("height"), 360);
    addInput(QStringLiteral("jitter"), 0);
    addOutput(QStringLiteral("color"));
    declare(Orv::PortSide::Output, 0, kStorageWrite);
}

ImageShape ScenePass::outputShape(int, int width, int height) const {
    return colorShape(width, height);
}

VkResult ScenePass::makePipelines() {
    return pipeline(scene_spv, sizeof(scene_spv), &_pipeline);
}

VkResult ScenePass::prepare(bool* work) {
    _width = std::clamp(_inputs.at(1).value.toInt(), 16, 4096);
    _height = std::clamp(_inputs.at(2).value.toInt(), 16, 4096);
    _time = float(number(0));
    _jitter = std::max(_inputs.at(3).value.toInt(), 0);
    const VkResult result = fitImage(0, colorShape(_width, _height));
    if (result != VK_SUCCESS) return result;
    _gpu->bind(set(0), VK_NULL_HANDLE, VK_IMAGE_LAYOUT_GENERAL, VK_NULL_HANDLE, image(0).view,
               VK_NULL_HANDLE);
    *work = true;
    return VK_SUCCESS;
}

void ScenePass::record(VkCommandBuffer commands) {
    Push p = push(_width, _height, _time);
    p.b.i = _jitter;
    dispatch(commands, _pipeline, set(0), &p, _width, _height);
}

AccumulatePass::AccumulatePass(Gpu* gpu) : GpuPass(gpu) {
    addInput(QStringLiteral("color"), QVariant::fromValue(GpuImage()));
    addInput(QStringLiteral("history"), QVariant::fromValue(GpuImage()));
    addInput(QStringLiteral("share"), 1.0);
    addOutput(QStringLiteral("color"));
    declare(Orv::PortSide::Input, 0, kStorageRead);
    declare(Orv::PortSide::Input, 1, kSampled);
    declare(Orv::PortSide::Output, 0, kStorageWrite);
}

ImageShape AccumulatePass::outputShape(int, int width, int height) const {
    return colorShape(width, height);
}

VkResult AccumulatePass::makePipelines() {
    return pipeline(accumulate_spv, sizeof(accumulate_spv), &_pipeline);
}

VkResult AccumulatePass::prepare(bool* work) {
    _color = input(0);
    setOutput(0, QVariant::fromValue(GpuImage()));
    if (!isImage(_color)) return VK_SUCCESS;
    GpuImage before = history(1, 0);
    if (before.width != _color.width || before.height != _color.height) before = GpuImage();
    _share = isImage(before) ? float(std::clamp(number(2), 0.0, 1.0)) : 1.0f;
    const VkResult result = fitImage(0, colorShape(_color.width, _color.height), true);
    if (result != VK_SUCCESS) return result;
    // Without a history the sampled binding is never read, but must name an image in the layout
    // it is in.
    _gpu->bind(set(0), isImage(before) ? before.view : _color.view,
               isImage(before) ? sampledLayout() : VK_IMAGE_LAYOUT_GENERAL, _color.view,
               image(0).view, VK_NULL_HANDLE);
    *work = true;
    return VK_SUCCESS;
}

void AccumulatePass::record(VkCommandBuffer commands) {
    const Push p = push(_color.width, _color.height, _share);
    dispatch(commands, _pipeline, set(0), &p, _color.width, _color.height);
}

BrightPass::BrightPass(Gpu* gpu) : GpuPass(gpu) {
    addInput(QStringLiteral("color"), QVariant::fromValue(GpuImage()));
    addInput(QStringLiteral("bloomThreshold"), 1.0);
    addOutput(QStringLiteral("bright"));
    declare(Orv::PortSide::Input, 0, kSampled);
    declare(Orv::PortSide::Output, 0, kStorageWrite);
}

ImageShape BrightPass::outputShape(int, int width, int height) const {
    return colorShape((width + 1) / 2, (height + 1) / 2);
}

VkResult BrightPass::makePipelines() {
    return pipeline(bright_spv, sizeof(bright_spv), &_pipeline);
}

VkResult BrightPass::prepare(bool* work) {
    _color = input(0);
    _threshold = float(number(1));
    setOutput(0, QVariant::fromValue(GpuImage()));
    if (!isImage(_color)) return VK_SUCCESS;
    const VkResult result =
        fitImage(0, colorShape((_color.width + 1) / 2, (_color.height + 1) / 2));
    if (result != VK_SUCCESS) return result;
    _gpu->bind(set(0), _color.view, sampledLayout(), VK_NULL_HANDLE, image(0).view, VK_NULL_HANDLE);
    *work = true;
    return VK_SUCCESS;
}

void BrightPass::record(VkCommandBuffer commands) {
    const Push p = push(_color.width, _color.height, _threshold);
    dispatch(commands, _pipeline, set(0), &p, image(0).width, image(0).height);
}

BlurPass::BlurPass(Gpu* gpu) : GpuPass(gpu) {
    addInput(QStringLiteral("bright"), QVariant::fromValue(GpuImage()));
    addInput(QStringLiteral("bloomRadius"), 8);
    addOutput(QStringLiteral("bloom"));
    declare(Orv::PortSide::Input, 0, kStorageRead);
    declare(Orv::PortSide::Output, 0, kStorageWrite);
}

ImageShape BlurPass::outputShape(int, int width, int height) const {
    return colorShape((width + 1) / 2, (height + 1) / 2);
}

VkResult BlurPass::makePipelines() {
    return pipeline(blur_spv, sizeof(blur_spv), &_pipeline);
}

VkResult BlurPass::prepare(bool* work) {
    _source = input(0);
    _radius = std::clamp(_inputs.at(1).value.toInt(), 0, 64);
    setOutput(0, QVariant::fromValue(GpuImage()));
    if (!isImage(_source)) return VK_SUCCESS;
    // The image between the two directions stays the blur's own; only its result is planned.
    const ImageShape shape = colorShape(_source.width, _source.height);
    VkResult result = fitImage(-1, shape);
    if (result == VK_SUCCESS) result = fitImage(0, shape);
    if (result != VK_SUCCESS) return result;
    _gpu->bind(set(0), VK_NULL_HANDLE, VK_IMAGE_LAYOUT_GENERAL, _source.view, image(-1).view,
               VK_NULL_HANDLE);
    _gpu->bind(set(1), VK_NULL_HANDLE, VK_IMAGE_LAYOUT_GENERAL, image(-1).view, image(0).view,
               VK_NULL_HANDLE);
    *work = true;
    return VK_SUCCESS;
}

void BlurPass::record(VkCommandBuffer commands) {
    Push p = push(_source.width, _source.height, 0.0f);
    p.a.i = _radius;
    p.b.i = 0;
    dispatch(commands, _pipeline, set(0), &p, _source.width, _source.height);
    storageBarrier(commands, image(-1).image);
    p.b.i = 1;
    dispatch(commands, _pipeline, set(1), &p, _source.width, _source.height);
}

CompositePass::CompositePass(Gpu* gpu) : GpuPass(gpu) {
    addInput(QStringLiteral("color"), QVariant::fromValue(GpuImage()));
    addInput(QStringLiteral("bloom"), QVariant::fromValue(GpuImage()));
    addInput(QStringLiteral("bloomStrength"), 0.6);
    addOutput(QStringLiteral("color"));
    declare(Orv::PortSide::Input, 0, kStorageRead);
    declare(Orv::PortSide::Input, 1, kSampled);
    declare(Orv::PortSide::Output, 0, kStorageWrite);
}

ImageShape CompositePass::outputShape(int, int width, int height) const {
    return colorShape(width, height);
}

VkResult CompositePass::makePipelines() {
    return pipeline(composite_spv, sizeof(composite_spv), &_pipeline);
}

VkResult CompositePass::prepare(bool* work) {
    _color = input(0);
    const GpuImage bloom = input(1);
    setOutput(0, QVariant::fromValue(GpuImage()));
    if (!isImage(_color)) return VK_SUCCESS;
    // Without a bloom of the expected size (the group switched off), the scene alone; the
    // sampled binding is then never read, but must name an image in the layout it is in.
    _strength = float(number(2));
    const bool hasBloom = isImage(bloom) && bloom.width == (_color.width + 1) / 2 &&
                          bloom.height == (_color.height + 1) / 2;
    if (!hasBloom) _strength = 0.0f;
    const VkResult result = fitImage(0, colorShape(_color.width, _color.height));
    if (result != VK_SUCCESS) return result;
    _gpu->bind(set(0), hasBloom ? bloom.view : _color.view,
               hasBloom ? sampledLayout() : VK_IMAGE_LAYOUT_GENERAL, _color.view, image(0).view,
               VK_NULL_HANDLE);
    *work = true;
    return VK_SUCCESS;
}

void CompositePass::record(VkCommandBuffer commands) {
    const Push p = push(_color.width, _color.height, _strength);
    dispatch(commands, _pipeline, set(0), &p, _color.width, _color.height);
}

ToneMapPass::ToneMapPass(Gpu* gpu) : GpuPass(gpu) {
    addInput(QStringLiteral("color"), QVariant::fromValue(GpuImage()));
    addInput(QStringLiteral("exposure"), 0.7);
    addOutput(QStringLiteral("picture"));
    declare(Orv::PortSide::Input, 0, kStorageRead);
    declare(Orv::PortSide::Output, 0, kStorageWrite);
}

ImageShape ToneMapPass::outputShape(int, int width, int height) const {
    return ImageShape{kPictureFormat, width, height};
}

VkResult ToneMapPass::makePipelines() {
    return pipeline(tonemap_spv, sizeof(tonemap_spv), &_pipeline);
}

VkResult ToneMapPass::prepare(bool* work) {
    _color = input(0);
    _exposure = float(number(1));
    setOutput(0, QVariant::fromValue(GpuImage()));
    if (!isImage(_color)) return VK_SUCCESS;
    const VkResult result = fitImage(0, ImageShape{kPictureFormat, _color.width, _color.height});
    if (result != VK_SUCCESS) return result;
    _gpu->bind(set(0), VK_NULL_HANDLE, VK_IMAGE_LAYOUT_GENERAL, _color.view, VK_NULL_HANDLE,
               image(0).view);
    *work = true;
    return VK_SUCCESS;
}

void ToneMapPass::record(VkCommandBuffer commands) {
    const Push p = push(_color.width, _color.height, _exposure);
    dispatch(commands, _pipeline, set(0), &p, _color.width, _color.height);
}

ReadBackPass::ReadBackPass(Gpu* gpu) : GpuPass(gpu) {
    addInput(QStringLiteral("picture"), QVariant::fromValue(GpuImage()));
    addOutput(QStringLiteral("image"));
    declare(Orv::PortSide::Input, 0, kCopySource);
}

ReadBackPass::~ReadBackPass() {
    if (!_gpu->device()) return;
    for (Buffer& buffer : _buffers) _gpu->release(&buffer);
}

VkResult ReadBackPass::prepare(bool* work) {
    _picture = input(0);
    setOutput(0, QVariant::fromValue(Picture()));
    if (!isImage(_picture)) return VK_SUCCESS;
    Buffer& buffer = _buffers[slot()];
    const VkDeviceSize bytes = VkDeviceSize(_picture.width) * VkDeviceSize(_picture.height) * 4;
    if (buffer.size != bytes) {
        // The slot's earlier frame, the last to use it, has ended.
        _gpu->release(&buffer);
        const VkResult result = _gpu->makeBuffer(bytes, true, &buffer);
        if (result != VK_SUCCESS) return result;
    }
    setOutput(0, QVariant::fromValue(Picture{buffer.mapped, _picture.width, _picture.height}));
    *work = true;
    return VK_SUCCESS;
}

void ReadBackPass::record(VkCommandBuffer commands) {
    VkBufferImageCopy region{};
    region.imageSubresource = {VK_IMAGE_ASPECT_COLOR_BIT, 0, 0, 1};
    region.imageExtent = {uint32_t(_picture.width), uint32_t(_picture.height), 1};
    vkCmdCopyImageToBuffer(commands, _picture.image, VK_IMAGE_LAYOUT_TRANSFER_SRC_OPTIMAL,
                           _buffers[slot()].buffer, 1, &region);
    // The host reads the bytes once the frame's fence has signalled.
    auto barrier = make<VkMemoryBarrier>(VK_STRUCTURE_TYPE_MEMORY_BARRIER);
    barrier.srcAccessMask = VK_ACCESS_TRANSFER_WRITE_BIT;
    barrier.dstAccessMask = VK_ACCESS_HOST_READ_BIT;
    vkCmdPipelineBarrier(commands, VK_PIPELINE_STAGE_TRANSFER_BIT, VK_PIPELINE_STAGE_HOST_BIT, 0, 1,
                         &barrier, 0, nullptr, 0, nullptr);
}

StatsPass::StatsPass() {
    addOutput(QStringLiteral("luma"));
    _outputs[0].value = 0.0;
}

void StatsPass::start(Orv::RenderCallbacks*) {
    if (_picture.isNull()) return;
    const QImage picture = _picture.convertToFormat(QImage::Format_RGBA8888);
    _luma = std::async(std::launch::async, [picture] {
        double sum = 0.0;
        for (int y = 0; y < picture.height(); ++y) {
            const uchar* p = picture.constScanLine(y);
            for (int x = 0; x < picture.width(); ++x, p += 4)
                sum += (0.2126 * p[0] + 0.7152 * p[1] + 0.0722 * p[2]) / 255.0;
        }
        return sum / (double(picture.width()) * double(picture.height()));
    });
}

bool StatsPass::isFinished() const {
    return !_luma.valid() || _luma.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
}

void StatsPass::wait() const {
    if (_luma.valid()) _luma.wait();
}

void StatsPass::endFrame(Orv::RenderCallbacks* callbacks) {
    if (_luma.valid()) _outputs[0].value = _luma.get();
    RenderPassHelper::endFrame(callbacks);
}

}  // namespace OrvVulkan
