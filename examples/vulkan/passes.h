#pragma once

#include "gpu.h"
#include "heap.h"

#include <Orv/RenderPassHelper.h>
#include <Orv/Renderer.h>

#include <QHash>
#include <QImage>
#include <QMetaType>
#include <QPair>

#include <chrono>
#include <future>

namespace OrvDemo {
class WorkerPool;  // the demo's; the passes in flight record on it
}

namespace OrvVulkan {

// What a pass does with the image that flows through one of its ports, declared to the renderer
// so that its synchronisation plan says where an image changes hands or usage.
enum Usage : int { kNoUsage = 0, kStorageWrite, kStorageRead, kSampled, kCopySource };

// What a pass hands on: an image of the frame slot being recorded, owned by the pass that wrote
// it.
struct GpuImage {
    VkImage image = VK_NULL_HANDLE;
    VkImageView view = VK_NULL_HANDLE;
    int width = 0;
    int height = 0;
};

// The read-back's output: RGBA bytes that hold the picture once the frame's work has ended.
struct Picture {
    const void* pixels = nullptr;
    int width = 0;
    int height = 0;
};

constexpr uint32_t kMaxGpuPasses = 8;  // two timestamps each

// What the GPU passes of one frame share. The host fills it before the frame and submits what
// the passes recorded after it.
struct Frame {
    const Vantrel::Orv::Renderer* renderer = nullptr;
    // Each pass submits its own work with a fence, after one blanket barrier, instead of
    // recording for one submission with barriers from the synchronisation plan.
    bool perPass = false;
    int slot = 0;                             // of kFrameSlots
    VkQueryPool queries[kFrameSlots] = {};    // two timestamps a pass; null: none
    OrvDemo::WorkerPool* workers = nullptr;   // null: record on the renderer's thread
    int droppedTransition = -1;               // a plan's transition left out, to debug
    QHash<QPair<int, int>, GpuImage> images;  // this frame's, by (node, output)
    // The frame before's that history inputs were fed this frame, by (node, output): what the
    // plan's transitions on the frame before concern. None when the history was not real.
    QHash<QPair<int, int>, GpuImage> history;
    struct Recorded {
        int step;
        int pass;  // which two timestamps
        VkCommandBuffer commands;
    };
    std::vector<Recorded> recorded;  // by start; submitted by step
    std::atomic<int> barrierBatches{0};
    std::atomic<int> imageBarriers{0};
    std::atomic<int> submits{0};
    std::atomic<int> waits{0};

    void begin(int frameSlot) {
        slot = frameSlot;
        images.clear();
        history.clear();
        recorded.clear();
        barrierBatches = imageBarriers = submits = waits = 0;
    }
};

// A pass whose work is a command buffer per frame slot. start() places the pass's output images,
// points its descriptor sets at them, and records its commands after the barriers its step needs
// (the synchronisation plan's, mapped from usages to stages, accesses and layouts), on a worker
// when there is one, into a secondary command buffer; the host executes the frame's from one
// primary and submits that. With Frame::perPass, start() records a primary after a blanket
// barrier and submits it with a fence, and isFinished() asks the fence. A Vulkan error, whenever
// it comes, becomes the pass's error code (errorCodeOf).
class GpuPass : public Vantrel::Orv::RenderPassHelper {
public:
    explicit GpuPass(Gpu* gpu) : _gpu(gpu) {}
    ~GpuPass() override;

    // The fence of the work in flight (per pass), or null when there is none.
    VkFence fence() const { return _submitted ? _fence : VK_NULL_HANDLE; }
    // Whether the commands are being recorded on a worker; waits up to `timeout` for them.
    bool recording() const { return _recording.valid(); }
    void waitRecorded(std::chrono::microseconds timeout) const;

    // The pass is the one at `node`, and the `index`th GPU pass (for its timestamps).
    void setFrame(Frame* frame, TransientHeap* heap, int node, int index) {
        _frame = frame;
        _heap = heap;
        _node = node;
        _index = index;
    }
    // The image output `output` holds in a frame of width x height; empty when it is none.
    virtual ImageShape outputShape(int output, int width, int height) const;
    int usage(Vantrel::Orv::PortSide side, int port) const;
    // The image output `output` has in frame slot `slot` (for inspection).
    const Image& slotImage(int slot, int output) const { return _images[slot][output + 1]; }

    void setup(Vantrel::Orv::RenderCallbacks* callbacks) override;
    void start(Vantrel::Orv::RenderCallbacks* callbacks) override;
    bool isFinished() const override;
    void endFrame(Vantrel::Orv::RenderCallbacks* callbacks) override;

protected:
    // The pass's pipelines, once, from setup.
    virtual VkResult makePipelines() = 0;
    // On the renderer's thread: reads the inputs, places the images and binds them; `work`
    // false when there is nothing to record.
    virtual VkResult prepare(bool* work) = 0;
    // After the pass's barriers, perhaps on a worker: only what prepare() left may be used.
    virtual void record(VkCommandBuffer commands) = 0;

    void declare(Vantrel::Orv::PortSide side, int port, Usage usage);
    VkResult pipeline(const uint32_t* code, size_t bytes, VkPipeline* pipeline);
    // The image of output `output` this frame slot, placed in the heap when there is one; or,
    // with `output` -1, the pass's own image that no other pass sees. `readNextFrame` for an
    // output a history input reads: the frame after, perhaps still on the device, may be reading
    // the slot's image when it is made again.
    VkResult fitImage(int output, const ImageShape& shape, bool readNextFrame = false);
    // The frame before's image of this pass's output `output`, fed to history input `input`;
    // empty when the renderer says the value is not real (the first frame, a reset, a resize).
    // A real one is what the plan's transitions on the frame before then apply to.
    GpuImage history(int input, int output);
    const Image& image(int output) const { return _images[_frame->slot][output + 1]; }
    GpuImage handOn(int output) const;
    VkDescriptorSet set(int k) const { return _sets[_frame->slot][k]; }
    // The layout images are sampled in: the plan's in a recorded frame, else GENERAL, which
    // every use accepts.
    VkImageLayout sampledLayout() const;
    int slot() const { return _frame->slot; }
    bool perPass() const { return _frame->perPass; }
    void dispatch(VkCommandBuffer commands, VkPipeline pipeline, VkDescriptorSet set,
                  const void* push, int width, int height);
    // Between two dispatches of the pass: the first's writes of `image` before the second's reads.
    void storageBarrier(VkCommandBuffer commands, VkImage image);
    GpuImage input(int index) const { return _inputs.at(index).value.value<GpuImage>(); }
    double number(int index) const { return _inputs.at(index).value.toDouble(); }
    void setOutput(int index, const QVariant& value) { _outputs[index].value = value; }

    Gpu* const _gpu;

private:
    struct Batch {
        VkPipelineStageFlags src = 0;
        VkPipelineStageFlags dst = 0;
        VkAccessFlags memorySrc = 0;  // a global barrier as well (the blanket one), when not 0
        VkAccessFlags memoryDst = 0;
        std::vector<VkImageMemoryBarrier> images;
    };
    Batch planned() const;
    Batch blanket() const;
    VkResult recordAll(const Batch& batch);
    // The frame's commands: a secondary command buffer that the host's frame executes, or per
    // pass a primary one.
    VkCommandBuffer commands() const { return _commands[slot()][perPass() ? 0 : 1]; }
    void submit();

    VkResult _setupResult = VK_ERROR_INITIALIZATION_FAILED;  // until setup has run
    VkCommandPool _pools[kFrameSlots] = {};
    VkCommandBuffer _commands[kFrameSlots][2] = {};  // by slot: a primary, a secondary
    VkDescriptorSet _sets[kFrameSlots][2] = {};
    Image _images[kFrameSlots][2];  // the pass's own, then output 0
    std::vector<int> _written;      // images written this frame, as image() takes them
    VkFence _fence = VK_NULL_HANDLE;
    std::vector<VkPipeline> _pipelines;
    QVector<int> _usages[2];  // by side, then port
    mutable bool _submitted = false;
    mutable std::future<VkResult> _recording;
    Frame* _frame = nullptr;
    TransientHeap* _heap = nullptr;
    int _node = -1;
    int _index = 0;
    mutable VkResult _status = VK_SUCCESS;  // what the fence or the recording said
};

// Inputs: time, width, height, jitter (which point of the pixel its ray goes through; 0 the
// centre). Output: color (the traced scene, linear).
class ScenePass : public GpuPass {
public:
    explicit ScenePass(Gpu* gpu);
    ImageShape outputShape(int output, int width, int height) const override;

protected:
    VkResult makePipelines() override;
    VkResult prepare(bool* work) override;
    void record(VkCommandBuffer commands) override;

private:
    VkPipeline _pipeline = VK_NULL_HANDLE;
    int _width = 0;
    int _height = 0;
    float _time = 0.0f;
    int _jitter = 0;
};

// Inputs: color (sampled), bloomThreshold. Output: bright (half size).
class BrightPass : public GpuPass {
public:
    explicit BrightPass(Gpu* gpu);
    ImageShape outputShape(int output, int width, int height) const override;

protected:
    VkResult makePipelines() override;
    VkResult prepare(bool* work) override;
    void record(VkCommandBuffer commands) override;

private:
    VkPipeline _pipeline = VK_NULL_HANDLE;
    GpuImage _color;
    float _threshold = 0.0f;
};

// Inputs: bright, bloomRadius. Output: bloom. Across into an image of its own, then down.
class BlurPass : public GpuPass {
public:
    explicit BlurPass(Gpu* gpu);
    ImageShape outputShape(int output, int width, int height) const override;

protected:
    VkResult makePipelines() override;
    VkResult prepare(bool* work) override;
    void record(VkCommandBuffer commands) override;

private:
    VkPipeline _pipeline = VK_NULL_HANDLE;
    GpuImage _source;
    int _radius = 0;
};

// Inputs: color, history (sampled; this pass's color of the frame before, through a history
// input), share. Output: color, the scene accumulated across frames: `share` of this frame's
// over the history when it is real, else this frame's alone.
class AccumulatePass : public GpuPass {
public:
    explicit AccumulatePass(Gpu* gpu);
    ImageShape outputShape(int output, int width, int height) const override;

protected:
    VkResult makePipelines() override;
    VkResult prepare(bool* work) override;
    void record(VkCommandBuffer commands) override;

private:
    VkPipeline _pipeline = VK_NULL_HANDLE;
    GpuImage _color;
    float _share = 1.0f;
};

// Inputs: color, bloom (sampled), bloomStrength. Output: color (with the bloom and a vignette).
class CompositePass : public GpuPass {
public:
    explicit CompositePass(Gpu* gpu);
    ImageShape outputShape(int output, int width, int height) const override;

protected:
    VkResult makePipelines() override;
    VkResult prepare(bool* work) override;
    void record(VkCommandBuffer commands) override;

private:
    VkPipeline _pipeline = VK_NULL_HANDLE;
    GpuImage _color;
    float _strength = 0.0f;
};

// Inputs: color, exposure. Output: picture (8-bit sRGB).
class ToneMapPass : public GpuPass {
public:
    explicit ToneMapPass(Gpu* gpu);
    ImageShape outputShape(int output, int width, int height) const override;

protected:
    VkResult makePipelines() override;
    VkResult prepare(bool* work) override;
    void record(VkCommandBuffer commands) override;

private:
    VkPipeline _pipeline = VK_NULL_HANDLE;
    GpuImage _color;
    float _exposure = 0.0f;
};

// Input: picture (copied from). Output: image, a Picture in host-visible memory of the frame
// slot, which holds the picture once the frame's work has ended.
class ReadBackPass : public GpuPass {
public:
    explicit ReadBackPass(Gpu* gpu);
    ~ReadBackPass() override;

protected:
    VkResult makePipelines() override { return VK_SUCCESS; }
    VkResult prepare(bool* work) override;
    void record(VkCommandBuffer commands) override;

private:
    Buffer _buffers[kFrameSlots];
    GpuImage _picture;
};

// Output: luma (the mean luma of a picture of an earlier frame). The host gives it that picture
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
Q_DECLARE_METATYPE(OrvVulkan::Picture)
