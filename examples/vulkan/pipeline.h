#pragma once

#include "gpu.h"
#include "heap.h"
#include "passes.h"

#include <Orv/Renderer.h>

#include <QImage>
#include <QPair>
#include <QString>
#include <QVector>

#include <memory>
#include <vector>

namespace OrvDemo {
class WorkerPool;  // the demo's; the passes in flight record on it
}

namespace OrvVulkan {

// What the frames rendered since the last reset cost, summed.
struct FrameCounts {
    int frames = 0;
    int passes = 0;          // GPU passes that recorded work
    int submits = 0;         // vkQueueSubmit calls
    int waits = 0;           // fences the host waited for in a frame
    int barrierBatches = 0;  // barriers before passes (not those inside one)
    int imageBarriers = 0;
    std::vector<double> gaps;  // microseconds from a pass's end to the next pass's start
};

// The demo's graph: scene -> accumulate -> bloom [bright -> blur] -> composite -> tonemap ->
// readback -> output "image"; stats (an earlier frame, on the CPU) -> output "luma"; the
// accumulate pass's history input reads its own color of the frame before. Parameters: time,
// width, height, jitter, share, exposure, bloomThreshold, bloomRadius, bloomStrength. `gpu` must
// outlive it.
//
// By default each frame's GPU passes record their command buffers, with the barriers of the
// renderer's synchronisation plan, and render() submits them, in step order, in one
// vkQueueSubmit with one fence. Two frames may be on the device at once, each with its own heap,
// command buffers and read-back: render() first waits for the fence of the frame before last.
struct Pipeline {
    // Before the renderer, so that the passes' images go before the memory they are bound to.
    TransientHeap heap;
    Vantrel::Orv::Renderer renderer;
    StatsPass* stats = nullptr;
    QVector<QPair<QString, int>> passes;  // path and node
    int accumulate = -1;                  // its node

    explicit Pipeline(Gpu* gpu);
    ~Pipeline();
    Pipeline(const Pipeline&) = delete;
    Pipeline& operator=(const Pipeline&) = delete;

    int add(const QString& path, Vantrel::Orv::RenderPass* pass, int parent);
    // The frame's size in pixels (the width and height parameters).
    void setSize(int width, int height);
    // With the memory plan on, each frame slot's transient images share one VkDeviceMemory (see
    // TransientHeap).
    void setMemoryPlan(bool enabled);
    // Each pass submits its own work with a fence after one blanket barrier, and the renderer
    // waits for each fence before it starts the pass's readers. Set between frames.
    void setSubmitPerPass(bool perPass);
    // Leaves transition `index` of the synchronisation plan out of the command buffers (-1:
    // none), so that a test can see the validation layer find the hazard.
    void setDroppedTransition(int index) { _frame.droppedTransition = index; }
    // Renders frame `frame`, the stats pass reading `previous`; false when a pass failed, with
    // which and the Vulkan error in `error`. The camera follows the frame: the same frame again
    // holds it still (each a new sample of the pixels, averaged with the ones before), the next
    // moves it on (half of the accumulated picture is the new frame), any other is a cut, which
    // resets the history.
    bool render(int frame, const QImage& previous, QString* error);
    // Whether the latest frame started its accumulation afresh (no real history: the first
    // frame, a cut, a resize, a new plan).
    bool historyReset() const;
    // The picture of the latest frame whose work has ended, without waiting: per pass, the
    // frame just rendered; else the frame before last (or the last, after finish()).
    QImage image() const { return _picture; }
    // Waits for the frames on the device; the latest frame's picture.
    QImage finish();
    const FrameCounts& counts() const { return _counts; }
    void resetCounts() { _counts = FrameCounts(); }

private:
    void collect(int slot);
    VkResult submit(int slot);

    Gpu* const _gpu;
    Frame _frame;
    std::unique_ptr<OrvDemo::WorkerPool> _workers;
    bool _perPass = false;
    int _width = 640;
    int _height = 360;
    int _frames = 0;
    int _latestFrame = -1;  // the frame number last rendered
    int _samples = 0;       // frames accumulated since the latest cut
    VkFence _fences[kFrameSlots] = {};
    VkCommandPool _pools[kFrameSlots] = {};
    VkCommandBuffer _primaries[kFrameSlots] = {};
    bool _onDevice[kFrameSlots] = {};
    Picture _readBack[kFrameSlots];
    std::vector<Frame::Recorded> _stamped[kFrameSlots];
    QImage _picture;
    FrameCounts _counts;
};

// Instead of the renderer's 100 us sleep: blocks until one of the fences in flight signals or
// a recording ends. With a CPU pass in flight as well, wakes at least every 100 us to poll it;
// with only the CPU pass, waits for it.
void waitForPasses(const Gpu& gpu, const QVector<Vantrel::Orv::RenderPass*>& inFlight);

// The median of `values`, 0 for none.
double median(std::vector<double> values);

}  // namespace OrvVulkan
