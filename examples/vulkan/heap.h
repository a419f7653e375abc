#pragma once

#include "gpu.h"

#include <Orv/Renderer.h>

#include <QHash>
#include <QPair>

namespace OrvVulkan {

// The frames the device may work on at once: the CPU records one while the GPU runs the other.
constexpr int kFrameSlots = 2;

// The size and format of one image.
struct ImageShape {
    VkFormat format = VK_FORMAT_UNDEFINED;
    int width = 0;
    int height = 0;
    bool operator==(const ImageShape& o) const {
        return format == o.format && width == o.width && height == o.height;
    }
    bool isEmpty() const { return width <= 0 || height <= 0; }
};

// One VkDeviceMemory per frame slot for that frame's transient images, each laid out by the
// renderer's memory plan: an image is bound where the plan placed its pass's output, so images
// whose readers are done share bytes. A frame in flight on the device keeps its own heap, since
// the plan covers one frame. Outside the plan (planning off, an output the plan left out, or an
// image of another shape than planned) an image gets memory of its own. Used on the thread that
// renders.
//
// An output a history input reads has two places in the plan, which frames take in turn
// (memoryOffset this frame's, historyMemoryOffset the frame before's). Frames take the slots in
// turn as well, so each slot's heap holds its frames' copy at one of the two places, and the
// frame before's copy is the other slot's, at this frame's historyMemoryOffset: the history
// input is fed that image, and nothing is copied. No transient image of either slot overlaps
// the two places, which the plan keeps over the whole frame; the write of a slot's copy waits
// on the device for the frame before's reads of it (the plan's WriteAfterHistoryRead).
class TransientHeap {
public:
    explicit TransientHeap(Gpu* gpu) : _gpu(gpu) {}
    ~TransientHeap();
    TransientHeap(const TransientHeap&) = delete;
    TransientHeap& operator=(const TransientHeap&) = delete;

    void setRenderer(const Vantrel::Orv::Renderer* renderer) { _renderer = renderer; }
    void setEnabled(bool enabled) { _enabled = enabled; }
    bool enabled() const { return _enabled; }
    // Answers the renderer's size function for one output of `shape` with what the device asks
    // of such an image; an empty shape, or a device that cannot say, keeps it out of the plan.
    Vantrel::Orv::OutputMemory planned(int node, int output, const ImageShape& shape);
    // Before each frame, once the slot's earlier frame has ended on the device: the slot's heap
    // may be made again at the frame's first placement.
    void beginFrame(int slot) {
        _slot = slot;
        _renewable = true;
        _placed = 0;
    }
    int slot() const { return _slot; }
    // Makes `image` (again, when its place or shape changed) for output `output` of the pass at
    // `node`: in the slot's heap where the plan put it, else with memory of its own.
    // `readNextFrame`: the frame after the slot's earlier one may still read the image (as its
    // history), so making it again waits for the device.
    VkResult place(int node, int output, const ImageShape& shape, Image* image,
                   bool readNextFrame = false);
    VkDeviceSize size() const { return _heaps[_slot].size; }  // 0 until made
    int placedThisFrame() const { return _placed; }           // images placed in the heap

private:
    struct Planned {
        ImageShape shape;
        VkDeviceSize size = 0;  // what the device asks for an image of `shape`
        uint32_t memoryTypes = 0;
    };
    struct Heap {
        VkDeviceMemory memory = VK_NULL_HANDLE;
        VkDeviceSize size = 0;
        uint32_t type = 0;
        quint64 generation = 0;  // counts the memories made, so an image knows it is in this one
    };
    VkResult renew(VkDeviceSize size);
    void retire(Image* image, bool readNextFrame);
    void free(Heap* heap);

    Gpu* const _gpu;
    const Vantrel::Orv::Renderer* _renderer = nullptr;
    bool _enabled = false;
    bool _renewable = false;
    int _slot = 0;
    int _placed = 0;
    Heap _heaps[kFrameSlots];
    quint64 _generations = 0;
    QHash<QPair<int, int>, Planned> _planned;  // by (node, output)
};

}  // namespace OrvVulkan
