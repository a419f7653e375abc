#pragma once

#include "gpu.h"
#include "heap.h"

#include <Orv/RenderPassHelper.h>

#include <QImage>
#include <QMetaType>

#include <future>

namespace OrvVulkan {

// What a pass hands on: a buffer of RGBA floats owned by the pass that wrote it.
struct GpuImage {
    VkBuffer buffer = VK_NULL_HANDLE;
    int width = 0;
    int height = 0;
};

// A pass whose work is a command buffer: start() records it and submits it with a fence,
// isFinished() asks the fence, and a Vulkan error, whenever it comes, becomes the pass's error
// code (errorCodeOf). Each command buffer begins with a barrier after all earlier compute
// work, since the passes it reads were submitted separately and the bytes it writes may have
// held another pass's image (see heap.cpp).
class GpuPass : public Vantrel::Orv::RenderPassHelper {
public:
    explicit GpuPass(Gpu* gpu) : _gpu(gpu) {}
    ~GpuPass() override;

    // The fence of the work in flight, or null when there is none.
    VkFence fence() const { return _submitted ? _fence : VK_NULL_HANDLE; }

    // Places the pass's output buffers through `heap`, the pass being the one at `node`.
    void setHeap(TransientHeap* heap, int node) {
        _heap = heap;
        _node = node;
    }
    // The bytes output `output` needs in a frame of width x height; 0 when it is no image.
    virtual VkDeviceSize outputBytes(int output, int width, int height) const;

    void setup(Vantrel::Orv::RenderCallbacks* callbacks) override;
    void start(Vantrel::Orv::RenderCallbacks* callbacks) override;
    bool isFinished() const override;
    void endFrame(Vantrel::Orv::RenderCallbacks* callbacks) override;

protected:
    // The pass's pipelines, once, from setup.
    virtual VkResult makePipelines() = 0;
    // This frame's commands; `work` false when there is nothing to submit.
    virtual VkResult record(VkCommandBuffer commands, bool* work) = 0;
    // After the fence has signalled without error.
    virtual void finished() {}

    VkResult pipeline(const uint32_t* code, size_t bytes, VkPipeline* pipeline);
    // The pass's buffer `slot` (0 or 1) with `bytes`, made again only when the size changes.
    VkResult fit(int slot, VkDeviceSize bytes, bool readBack = false);
    // Likewise for the buffer that holds output `output`, placed in the heap when there is one.
    VkResult fitOutput(int slot, int output, VkDeviceSize bytes);
    const Buffer& buffer(int slot) const { return _buffers[slot]; }
    void dispatch(VkCommandBuffer commands, VkPipeline pipeline, const void* push, int width,
                  int height);
    static void computeBarrier(VkCommandBuffer commands);
    GpuImage input(int index) const { return _inputs.at(index).value.value<GpuImage>(); }
    double number(int index) const { return _inputs.at(index).value.toDouble(); }
    void setOutput(int index, const QVariant& value) { _outputs[index].value = value; }

    Gpu* const _gpu;
    VkDescriptorSet _set = VK_NULL_HANDLE;

private:
    VkResult _setupResult = VK_ERROR_INITIALIZATION_FAILED;  // until setup has run
    VkCommandBuffer _commands = VK_NULL_HANDLE;
    VkFence _fence = VK_NULL_HANDLE;
    std::vector<VkPipeline> _pipelines;
    Buffer _buffers[2];
    bool _submitted = false;
    TransientHeap* _heap = nullptr;
    int _node = -1;
    mutable VkResult _status = VK_SUCCESS;  // what the fence said
};

// Inputs: time, width, height. Output: color (the traced scene, linear).
class ScenePass : public GpuPass {
public:
    explicit ScenePass(Gpu* gpu);
    VkDeviceSize outputBytes(int output, int width, int height) const override;

protected:
    VkResult makePipelines() override;
    VkResult record(VkCommandBuffer commands, bool* work) override;

private:
    VkPipeline _pipeline = VK_NULL_HANDLE;
};

// Inputs: color, bloomThreshold. Output: bright (half size).
class BrightPass : public GpuPass {
public:
    explicit BrightPass(Gpu* gpu);
    VkDeviceSize outputBytes(int output, int width, int height) const override;

protected:
    VkResult makePipelines() override;
    VkResult record(VkCommandBuffer commands, bool* work) override;

private:
    VkPipeline _pipeline = VK_NULL_HANDLE;
};

// Inputs: bright, bloomRadius. Output: bloom. Across, then down, in one command buffer.
class BlurPass : public GpuPass {
public:
    explicit BlurPass(Gpu* gpu);
    VkDeviceSize outputBytes(int output, int width, int height) const override;

protected:
    VkResult makePipelines() override;
    VkResult record(VkCommandBuffer commands, bool* work) override;

private:
    VkPipeline _pipeline = VK_NULL_HANDLE;
    VkDescriptorSet _downSet = VK_NULL_HANDLE;
};

// Inputs: color, bloom, bloomStrength. Output: color (with the bloom and a vignette).
class CompositePass : public GpuPass {
public:
    explicit CompositePass(Gpu* gpu);
    VkDeviceSize outputBytes(int output, int width, int height) const override;

protected:
    VkResult makePipelines() override;
    VkResult record(VkCommandBuffer commands, bool* work) override;

private:
    VkPipeline _pipeline = VK_NULL_HANDLE;
};

// Inputs: color, exposure. Output: image (a QImage read back from the device).
class ToneMapPass : public GpuPass {
public:
    explicit ToneMapPass(Gpu* gpu);

protected:
    VkResult makePipelines() override;
    VkResult record(VkCommandBuffer commands, bool* work) override;
    void finished() override;

private:
    VkPipeline _pipeline = VK_NULL_HANDLE;
    int _width = 0;
    int _height = 0;
};

// Output: luma (the mean luma of the previous frame's picture). The host gives it that picture
// between frames; start() hands the sums to a thread of their own, so they overlap the GPU
// passes of the new frame.
class StatsPass : public Vantrel::Orv::RenderPassHelper {
public:
    StatsPass();
    void setPicture(const QImage& picture) { _picture = picture; }  // between frames
    void wait() const;                                              // until the sums are done

    void start(Vantrel::Orv::RenderCallbacks* callbacks) override;
    bool isFinished() const override;
    void endFrame(Vantrel::Orv::RenderCallbacks* callbacks) override;

private:
    QImage _picture;
    std::future<double> _luma;
};

}  // namespace OrvVulkan

Q_DECLARE_METATYPE(OrvVulkan::GpuImage)
