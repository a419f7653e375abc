#include "heap.h"

// Why bytes can be shared by images of one frame. An image here is only ever written whole by
// the pass that owns it before anything reads it, and each frame begins its life with a layout
// transition from VK_IMAGE_LAYOUT_UNDEFINED, which discards whatever an earlier image left in
// its bytes. What must not happen is the new writer running while a reader of the earlier image,
// or its writer, still runs. The synchronisation plan's Reuse transitions say exactly that: the
// new image's first barrier waits for the latest access of each image that last held its bytes.
// A frame's heap is its own, so the frame before, still running on the device, is never
// touched, but for a history copy it reads, whose next write waits for it (the plan's
// WriteAfterHistoryRead); and the slot's frame before last has ended (its fence) before the slot
// is used again.

namespace OrvVulkan {

TransientHeap::~TransientHeap() {
    if (!_gpu->device()) return;
    for (Heap& heap : _heaps) free(&heap);
}

Vantrel::Orv::OutputMemory TransientHeap::planned(int node, int output, const ImageShape& shape) {
    Vantrel::Orv::OutputMemory memory;
    Planned planned;
    VkMemoryRequirements needs{};
    if (!shape.isEmpty() && _gpu->device() &&
        _gpu->requirements(shape.format, shape.width, shape.height, &needs) == VK_SUCCESS) {
        planned = Planned{shape, needs.size, needs.memoryTypeBits};
        memory.size = qint64(needs.size);
        memory.alignment = qint64(needs.alignment);
    }
    _planned.insert(qMakePair(node, output), planned);
    return memory;
}

VkResult TransientHeap::place(int node, int output, const ImageShape& shape, Image* image,
                              bool readNextFrame) {
    const Planned planned = _planned.value(qMakePair(node, output));
    const qint64 offset = _enabled && _renderer ? _renderer->memoryOffset(node, output) : -1;
    // Only at the shape planned: another could reach into a neighbour's bytes.
    bool inHeap = offset >= 0 && !shape.isEmpty() && shape == planned.shape;
    Heap& heap = _heaps[_slot];
    if (inHeap && _renewable) {
        const VkDeviceSize heapSize = VkDeviceSize(_renderer->memoryPlan().heapSize);
        if (!heap.memory || heap.size < heapSize || !(planned.memoryTypes & (1u << heap.type))) {
            const VkResult result = renew(heapSize);
            if (result != VK_SUCCESS) return result;
        }
    }
    // Once this frame has work in the heap it stays as it is until the slot's next frame.
    inHeap = inHeap && heap.memory && (planned.memoryTypes & (1u << heap.type)) &&
             VkDeviceSize(offset) + planned.size <= heap.size;
    const bool same = image->image && image->format == shape.format &&
                      image->width == shape.width && image->height == shape.height;
    if (inHeap) {
        _renewable = false;
        ++_placed;
        if (same && image->heap == heap.generation && image->offset == VkDeviceSize(offset))
            return VK_SUCCESS;
        retire(image, readNextFrame);
        const VkResult result = _gpu->makeImage(shape.format, shape.width, shape.height,
                                                heap.memory, VkDeviceSize(offset), image);
        if (result == VK_SUCCESS) image->heap = heap.generation;
        return result;
    }
    if (same && !image->heap) return VK_SUCCESS;
    retire(image, readNextFrame);
    return _gpu->makeImage(shape.format, shape.width, shape.height, VK_NULL_HANDLE, 0, image);
}

// The slot's earlier frame has ended, but the frame after it may still be reading a kept image
// as its history; that takes a new plan or a new size, both rare, so waiting for the device is
// simplest.
void TransientHeap::retire(Image* image, bool readNextFrame) {
    if (readNextFrame && image->image) vkQueueWaitIdle(_gpu->queue());
    _gpu->release(image);
}

VkResult TransientHeap::renew(VkDeviceSize size) {
    Heap& heap = _heaps[_slot];
    free(&heap);
    // One memory type that suits every planned image.
    uint32_t types = ~0u;
    for (const Planned& planned : _planned)
        if (!planned.shape.isEmpty()) types &= planned.memoryTypes;
    if (types == 0) return VK_SUCCESS;  // none: every image keeps memory of its own
    const VkMemoryRequirements needs{size, 1, types};
    const VkResult result = _gpu->allocate(needs, false, &heap.memory, &heap.type);
    if (result != VK_SUCCESS) {
        heap.memory = VK_NULL_HANDLE;
        return result;
    }
    heap.size = size;
    // Images bound to the old memory see another generation and are made again when placed.
    heap.generation = ++_generations;
    return VK_SUCCESS;
}

void TransientHeap::free(Heap* heap) {
    if (!heap->memory) return;
    // The slot's earlier frame has ended when its next starts; waiting makes sure of it, and a
    // new heap is rare (a new size). Images still bound to it are made again before their use.
    vkQueueWaitIdle(_gpu->queue());
    vkFreeMemory(_gpu->device(), heap->memory, nullptr);
    heap->memory = VK_NULL_HANDLE;
    heap->size = 0;
}

}  // namespace OrvVulkan
