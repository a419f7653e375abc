#pragma once

#include "gpu.h"

#include <Orv/Renderer.h>

#include <QHash>
#include <QPair>

namespace OrvVulkan {

// One VkDeviceMemory for the frame's transient images, laid out by the renderer's memory plan:
// an image's buffer is bound where the plan placed its pass's output, so images whose readers
// are done share bytes. Outside the plan (planning off, an output the plan left out, or an image
// larger than planned) a buffer gets memory of its own. Used on the thread that renders.
class TransientHeap {
public:
    explicit TransientHeap(Gpu* gpu) : _gpu(gpu) {}
    ~TransientHeap();
    TransientHeap(const TransientHeap&) = delete;
    TransientHeap& operator=(const TransientHeap&) = delete;

    void setRenderer(const Vantrel::Orv::Renderer* renderer) { _renderer = renderer; }
    void setEnabled(bool enabled) { _enabled = enabled; }
    bool enabled() const { return _enabled; }
    // Answers the renderer's size function for one output of `bytes` with what the device asks
    // of a buffer that size; 0 bytes, or a device that cannot say, keeps it out of the plan.
    Vantrel::Orv::OutputMemory planned(int node, int output, VkDeviceSize bytes);
    // Before each frame: the heap may be made again at the frame's first placement.
    void beginFrame() {
        _renewable = true;
        _placed = 0;
    }
    // Makes `buffer` (again, when its place or size changed) for output `output` of the pass at
    // `node`: in the heap where the plan put it, else with memory of its own.
    VkResult place(int node, int output, VkDeviceSize bytes, Buffer* buffer);
    VkDeviceSize size() const { return _size; }      // 0 until made
    int placedThisFrame() const { return _placed; }  // buffers placed in the heap

private:
    struct Planned {
        VkDeviceSize bytes = 0;
        VkDeviceSize size = 0;  // what the device asks for a buffer of `bytes`
        uint32_t memoryTypes = 0;
    };
    VkResult renew(VkDeviceSize size);
    void free();

    Gpu* const _gpu;
    const Vantrel::Orv::Renderer* _renderer = nullptr;
    bool _enabled = false;
    bool _renewable = false;
    VkDeviceMemory _memory = VK_NULL_HANDLE;
    VkDeviceSize _size = 0;
    uint32_t _type = 0;
    int _placed = 0;
    quint64 _generation = 0;  // counts the memories made, so a buffer knows it is in this one
    QHash<QPair<int, int>, Planned> _planned;  // by (node, output)
};

}  // namespace OrvVulkan
