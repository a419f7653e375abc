#include "passes.h"

#include "blur.spv.h"
#include "bright.spv.h"
#include "composite.spv.h"
#include "scene.spv.h"
#include "tonemap.spv.h"

#include <algorithm>
#include <chrono>

namespace OrvVulkan {

namespace {

constexpr VkDeviceSize kPixelBytes = 4 * sizeof(float);

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

VkDeviceSize imageBytes(int width, int height) {
    return VkDeviceSize(width) * VkDeviceSize(height) * kPixelBytes;
}

bool isImage(const GpuImage& image) {
    return image.buffer && image.width > 0 && image.height > 0;
}

}  // namespace

GpuPass::~GpuPass() {
    const VkDevice device = _gpu->device();
    if (!device) return;
    for (VkPipeline pipeline : _pipelines) vkDestroyPipeline(device, pipeline, nullptr);
    for (Buffer& buffer : _buffers) _gpu->release(&buffer);
    if (_fence) vkDestroyFence(device, _fence, nullptr);
    if (_commands) vkFreeCommandBuffers(device, _gpu->commandPool(), 1, &_commands);
}

// Makes only what an earlier setup did not, so that setting up again after a failure leaks
// nothing.
void GpuPass::setup(Vantrel::Orv::RenderCallbacks*) {
    if (_setupResult == VK_SUCCESS) return;
    auto commands =
        make<VkCommandBufferAllocateInfo>(VK_STRUCTURE_TYPE_COMMAND_BUFFER_ALLOCATE_INFO);
    commands.commandPool = _gpu->commandPool();
    commands.level = VK_COMMAND_BUFFER_LEVEL_PRIMARY;
    commands.commandBufferCount = 1;
    VkResult result = VK_SUCCESS;
    if (!_commands) result = vkAllocateCommandBuffers(_gpu->device(), &commands, &_commands);
    const auto fence = make<VkFenceCreateInfo>(VK_STRUCTURE_TYPE_FENCE_CREATE_INFO);
    if (result == VK_SUCCESS && !_fence)
        result = vkCreateFence(_gpu->device(), &fence, nullptr, &_fence);
    if (result == VK_SUCCESS && !_set) result = _gpu->allocateSet(&_set);
    if (result == VK_SUCCESS && _pipelines.empty()) result = makePipelines();
    _setupResult = result;
}

void GpuPass::start(Vantrel::Orv::RenderCallbacks*) {
    _submitted = false;
    _status = VK_SUCCESS;
    VkResult result = _setupResult;
    bool work = false;
    if (result == VK_SUCCESS) result = vkResetCommandBuffer(_commands, 0);
    auto begin = make<VkCommandBufferBeginInfo>(VK_STRUCTURE_TYPE_COMMAND_BUFFER_BEGIN_INFO);
    begin.flags = VK_COMMAND_BUFFER_USAGE_ONE_TIME_SUBMIT_BIT;
    if (result == VK_SUCCESS) result = vkBeginCommandBuffer(_commands, &begin);
    if (result == VK_SUCCESS) {
        computeBarrier(_commands);
        result = record(_commands, &work);
        const VkResult ended = vkEndCommandBuffer(_commands);
        if (result == VK_SUCCESS) result = ended;
    }
    if (result == VK_SUCCESS && work) result = vkResetFences(_gpu->device(), 1, &_fence);
    if (result == VK_SUCCESS && work) {
        auto submit = make<VkSubmitInfo>(VK_STRUCTURE_TYPE_SUBMIT_INFO);
        submit.commandBufferCount = 1;
        submit.pCommandBuffers = &_commands;
        result = vkQueueSubmit(_gpu->queue(), 1, &submit, _fence);
        _submitted = result == VK_SUCCESS;
    }
    if (result != VK_SUCCESS) setErrorCode(errorCodeOf(result));
}

bool GpuPass::isFinished() const {
    if (!_submitted) return true;
    const VkResult result = vkGetFenceStatus(_gpu->device(), _fence);
    if (result == VK_NOT_READY) return false;
    _status = result;
    return true;
}

void GpuPass::endFrame(Vantrel::Orv::RenderCallbacks* callbacks) {
    if (_submitted && _status != VK_SUCCESS)
        setErrorCode(errorCodeOf(_status));
    else if (_submitted)
        finished();
    _submitted = false;
    RenderPassHelper::endFrame(callbacks);
}

VkResult GpuPass::pipeline(const uint32_t* code, size_t bytes, VkPipeline* pipeline) {
    const VkResult result = _gpu->makePipeline(code, bytes, pipeline);
    if (result == VK_SUCCESS) _pipelines.push_back(*pipeline);
    return result;
}

VkDeviceSize GpuPass::outputBytes(int, int, int) const {
    return 0;
}

VkResult GpuPass::fitOutput(int slot, int output, VkDeviceSize bytes) {
    return _heap ? _heap->place(_node, output, bytes, &_buffers[slot]) : fit(slot, bytes);
}

VkResult GpuPass::fit(int slot, VkDeviceSize bytes, bool readBack) {
    Buffer& buffer = _buffers[slot];
    if (buffer.buffer && buffer.size == bytes && !buffer.heap) return VK_SUCCESS;
    // The work that used it has ended: the renderer starts a pass only after its last frame's
    // consumers have ended.
    _gpu->release(&buffer);
    return _gpu->makeBuffer(bytes, readBack, &buffer);
}

void GpuPass::dispatch(VkCommandBuffer commands, VkPipeline pipeline, const void* push, int width,
                       int height) {
    vkCmdBindPipeline(commands, VK_PIPELINE_BIND_POINT_COMPUTE, pipeline);
    vkCmdPushConstants(commands, _gpu->pipelineLayout(), VK_SHADER_STAGE_COMPUTE_BIT, 0,
                       sizeof(Push), push);
    vkCmdDispatch(commands, uint32_t(width + 7) / 8, uint32_t(height + 7) / 8, 1);
}

void GpuPass::computeBarrier(VkCommandBuffer commands) {
    auto barrier = make<VkMemoryBarrier>(VK_STRUCTURE_TYPE_MEMORY_BARRIER);
    barrier.srcAccessMask = VK_ACCESS_SHADER_WRITE_BIT | VK_ACCESS_SHADER_READ_BIT;
    barrier.dstAccessMask = VK_ACCESS_SHADER_WRITE_BIT | VK_ACCESS_SHADER_READ_BIT;
    vkCmdPipelineBarrier(commands, VK_PIPELINE_STAGE_COMPUTE_SHADER_BIT,
                         VK_PIPELINE_STAGE_COMPUTE_SHADER_BIT, 0, 1, &barrier, 0, nullptr, 0,
                         nullptr);
}

ScenePass::ScenePass(Gpu* gpu) : GpuPass(gpu) {
    addInput(QStringLiteral("time"), 0.0);
    addInput(QStringLiteral("width"), 640);
    addInput(QStringLiteral("height"), 360);
    addOutput(QStringLiteral("color"));
}

VkDeviceSize ScenePass::outputBytes(int, int width, int height) const {
    return imageBytes(width, height);
}

VkResult ScenePass::makePipelines() {
    return pipeline(scene_spv, sizeof(scene_spv), &_pipeline);
}

VkResult ScenePass::record(VkCommandBuffer commands, bool* work) {
    const int width = std::clamp(_inputs.at(1).value.toInt(), 16, 4096);
    const int height = std::clamp(_inputs.at(2).value.toInt(), 16, 4096);
    const VkResult result = fitOutput(0, 0, imageBytes(width, height));
    if (result != VK_SUCCESS) return result;
    _gpu->bind(_set, VK_NULL_HANDLE, VK_NULL_HANDLE, buffer(0).buffer);
    const Push p = push(width, height, float(number(0)));
    vkCmdBindDescriptorSets(commands, VK_PIPELINE_BIND_POINT_COMPUTE, _gpu->pipelineLayout(), 0, 1,
                            &_set, 0, nullptr);
    dispatch(commands, _pipeline, &p, width, height);
    setOutput(0, QVariant::fromValue(GpuImage{buffer(0).buffer, width, height}));
    *work = true;
    return VK_SUCCESS;
}

BrightPass::BrightPass(Gpu* gpu) : GpuPass(gpu) {
    addInput(QStringLiteral("color"), QVariant::fromValue(GpuImage()));
    addInput(QStringLiteral("bloomThreshold"), 1.0);
    addOutput(QStringLiteral("bright"));
}

VkDeviceSize BrightPass::outputBytes(int, int width, int height) const {
    return imageBytes((width + 1) / 2, (height + 1) / 2);
}

VkResult BrightPass::makePipelines() {
    return pipeline(bright_spv, sizeof(bright_spv), &_pipeline);
}

VkResult BrightPass::record(VkCommandBuffer commands, bool* work) {
    const GpuImage color = input(0);
    setOutput(0, QVariant::fromValue(GpuImage()));
    if (!isImage(color)) return VK_SUCCESS;
    const int width = (color.width + 1) / 2;
    const int height = (color.height + 1) / 2;
    const VkResult result = fitOutput(0, 0, imageBytes(width, height));
    if (result != VK_SUCCESS) return result;
    _gpu->bind(_set, color.buffer, color.buffer, buffer(0).buffer);
    const Push p = push(color.width, color.height, float(number(1)));
    vkCmdBindDescriptorSets(commands, VK_PIPELINE_BIND_POINT_COMPUTE, _gpu->pipelineLayout(), 0, 1,
                            &_set, 0, nullptr);
    dispatch(commands, _pipeline, &p, width, height);
    setOutput(0, QVariant::fromValue(GpuImage{buffer(0).buffer, width, height}));
    *work = true;
    return VK_SUCCESS;
}

BlurPass::BlurPass(Gpu* gpu) : GpuPass(gpu) {
    addInput(QStringLiteral("bright"), QVariant::fromValue(GpuImage()));
    addInput(QStringLiteral("bloomRadius"), 8);
    addOutput(QStringLiteral("bloom"));
}

VkDeviceSize BlurPass::outputBytes(int, int width, int height) const {
    return imageBytes((width + 1) / 2, (height + 1) / 2);
}

VkResult BlurPass::makePipelines() {
    const VkResult result = _downSet ? VK_SUCCESS : _gpu->allocateSet(&_downSet);
    return result != VK_SUCCESS ? result : pipeline(blur_spv, sizeof(blur_spv), &_pipeline);
}

VkResult BlurPass::record(VkCommandBuffer commands, bool* work) {
    const GpuImage source = input(0);
    setOutput(0, QVariant::fromValue(GpuImage()));
    if (!isImage(source)) return VK_SUCCESS;
    // The image between the two directions stays the blur's own; only its result is planned.
    const VkDeviceSize bytes = imageBytes(source.width, source.height);
    VkResult result = fit(0, bytes);
    if (result == VK_SUCCESS) result = fitOutput(1, 0, bytes);
    if (result != VK_SUCCESS) return result;
    _gpu->bind(_set, source.buffer, source.buffer, buffer(0).buffer);
    _gpu->bind(_downSet, buffer(0).buffer, buffer(0).buffer, buffer(1).buffer);
    Push p = push(source.width, source.height, 0.0f);
    p.a.i = std::clamp(_inputs.at(1).value.toInt(), 0, 64);
    p.b.i = 0;
    vkCmdBindDescriptorSets(commands, VK_PIPELINE_BIND_POINT_COMPUTE, _gpu->pipelineLayout(), 0, 1,
                            &_set, 0, nullptr);
    dispatch(commands, _pipeline, &p, source.width, source.height);
    computeBarrier(commands);
    p.b.i = 1;
    vkCmdBindDescriptorSets(commands, VK_PIPELINE_BIND_POINT_COMPUTE, _gpu->pipelineLayout(), 0, 1,
                            &_downSet, 0, nullptr);
    dispatch(commands, _pipeline, &p, source.width, source.height);
    setOutput(0, QVariant::fromValue(GpuImage{buffer(1).buffer, source.width, source.height}));
    *work = true;
    return VK_SUCCESS;
}

CompositePass::CompositePass(Gpu* gpu) : GpuPass(gpu) {
    addInput(QStringLiteral("color"), QVariant::fromValue(GpuImage()));
    addInput(QStringLiteral("bloom"), QVariant::fromValue(GpuImage()));
    addInput(QStringLiteral("bloomStrength"), 0.6);
    addOutput(QStringLiteral("color"));
}

VkDeviceSize CompositePass::outputBytes(int, int width, int height) const {
    return imageBytes(width, height);
}

VkResult CompositePass::makePipelines() {
    return pipeline(composite_spv, sizeof(composite_spv), &_pipeline);
}

VkResult CompositePass::record(VkCommandBuffer commands, bool* work) {
    const GpuImage color = input(0);
    GpuImage bloom = input(1);
    setOutput(0, QVariant::fromValue(GpuImage()));
    if (!isImage(color)) return VK_SUCCESS;
    // Without a bloom of the expected size (the group switched off), the scene alone.
    float strength = float(number(2));
    if (!isImage(bloom) || bloom.width != (color.width + 1) / 2 ||
        bloom.height != (color.height + 1) / 2) {
        bloom = color;
        strength = 0.0f;
    }
    const VkResult result = fitOutput(0, 0, imageBytes(color.width, color.height));
    if (result != VK_SUCCESS) return result;
    _gpu->bind(_set, color.buffer, bloom.buffer, buffer(0).buffer);
    const Push p = push(color.width, color.height, strength);
    vkCmdBindDescriptorSets(commands, VK_PIPELINE_BIND_POINT_COMPUTE, _gpu->pipelineLayout(), 0, 1,
                            &_set, 0, nullptr);
    dispatch(commands, _pipeline, &p, color.width, color.height);
    setOutput(0, QVariant::fromValue(GpuImage{buffer(0).buffer, color.width, color.height}));
    *work = true;
    return VK_SUCCESS;
}

ToneMapPass::ToneMapPass(Gpu* gpu) : GpuPass(gpu) {
    addInput(QStringLiteral("color"), QVariant::fromValue(GpuImage()));
    addInput(QStringLiteral("exposure"), 0.7);
    addOutput(QStringLiteral("image"));
}

VkResult ToneMapPass::makePipelines() {
    return pipeline(tonemap_spv, sizeof(tonemap_spv), &_pipeline);
}

VkResult ToneMapPass::record(VkCommandBuffer commands, bool* work) {
    const GpuImage color = input(0);
    if (!isImage(color)) return VK_SUCCESS;
    const VkResult result =
        fit(0, VkDeviceSize(color.width) * VkDeviceSize(color.height) * 4, true);
    if (result != VK_SUCCESS) return result;
    _width = color.width;
    _height = color.height;
    _gpu->bind(_set, color.buffer, color.buffer, buffer(0).buffer);
    const Push p = push(color.width, color.height, float(number(1)));
    vkCmdBindDescriptorSets(commands, VK_PIPELINE_BIND_POINT_COMPUTE, _gpu->pipelineLayout(), 0, 1,
                            &_set, 0, nullptr);
    dispatch(commands, _pipeline, &p, color.width, color.height);
    // The host reads the result once the fence has signalled.
    auto barrier = make<VkMemoryBarrier>(VK_STRUCTURE_TYPE_MEMORY_BARRIER);
    barrier.srcAccessMask = VK_ACCESS_SHADER_WRITE_BIT;
    barrier.dstAccessMask = VK_ACCESS_HOST_READ_BIT;
    vkCmdPipelineBarrier(commands, VK_PIPELINE_STAGE_COMPUTE_SHADER_BIT, VK_PIPELINE_STAGE_HOST_BIT,
                         0, 1, &barrier, 0, nullptr, 0, nullptr);
    *work = true;
    return VK_SUCCESS;
}

void ToneMapPass::finished() {
    // packUnorm4x8 puts red in the lowest byte: RGBA bytes in memory.
    const QImage view(static_cast<const uchar*>(buffer(0).mapped), _width, _height, _width * 4,
                      QImage::Format_RGBA8888);
    setOutput(0, view.copy());
}

StatsPass::StatsPass() {
    addOutput(QStringLiteral("luma"));
    _outputs[0].value = 0.0;
}

void StatsPass::start(Vantrel::Orv::RenderCallbacks*) {
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

void StatsPass::endFrame(Vantrel::Orv::RenderCallbacks* callbacks) {
    if (_luma.valid()) _outputs[0].value = _luma.get();
    RenderPassHelper::endFrame(callbacks);
}

}  // namespace OrvVulkan
