#include "heap.h"

// Why bytes can be shared while passes are in flight. A buffer here is only ever written whole
// by the pass that owns it before anything reads it, so whatever an earlier image left in its
// bytes is simply overwritten (buffers have no layout to discard, unlike images). What must not
// happen is the new writer running while a reader of the earlier image, or its writer, still
// runs. Two things rule that out:
// - With a memory plan the renderer starts a pass whose output takes over bytes only after
//   every reader of the earlier output has ended, and a pass ends when its fence has signalled:
//   the old work is complete before the new work is even submitted.
// - Every pass's command buffer begins with a compute-to-compute memory barrier over all earlier
//   submissions on the one queue, which orders the new writes after the old reads and writes on
//   the device as well (write-after-write needs that memory dependency, not only the fence).

namespace OrvVulkan {

TransientHeap::~TransientHeap() {
    if (_gpu->device()) free();
}

Vantrel::Orv::OutputMemory TransientHeap::planned(int node, int output, VkDeviceSize bytes) {
    Vantrel::Orv::OutputMemory memory;
    Planned planned;
    VkMemoryRequirements needs{};
    if (bytes > 0 && _gpu->device() && _gpu->requirements(bytes, &needs) == VK_SUCCESS) {
        planned = Planned{bytes, needs.size, needs.memoryTypeBits};
        memory.size = qint64(needs.size);
        memory.alignment = qint64(needs.alignment);
    }
    _planned.insert(qMakePair(node, output), planned);
    return memory;
}

VkResult TransientHeap::place(int node, int output, VkDeviceSize bytes, Buffer* buffer) {
    const Planned planned = _planned.value(qMakePair(node, output));
    const qint64 offset = _enabled && _renderer ? _renderer->memoryOffset(node, output) : -1;
    // Only at the size planned: another size could reach into a neighbour's bytes.
    bool inHeap = offset >= 0 && bytes > 0 && bytes == planned.bytes;
    if (inHeap && _renewable) {
        const VkDeviceSize heapSize = VkDeviceSize(_renderer->memoryPlan().heapSize);
        if (!_memory || _size < heapSize || !(planned.memoryTypes & (1u << _type))) {
            const VkResult result = renew(heapSize);
            if (result != VK_SUCCESS) return result;
        }
    }
    // Once this frame has work in the heap it stays as it is until the next frame.
    inHeap = inHeap && _memory && (planned.memoryTypes & (1u << _type)) &&
             VkDeviceSize(offset) + planned.size <= _size;
    if (inHeap) {
        _renewable = false;
        ++_placed;
        if (buffer->buffer && buffer->heap == _generation &&
            buffer->offset == VkDeviceSize(offset) && buffer->size == bytes)
            return VK_SUCCESS;
        // The work that used the old buffer has ended: the renderer starts a pass only after its
        // last frame's readers have ended.
        _gpu->release(buffer);
        const VkResult result = _gpu->makeBufferAt(bytes, _memory, VkDeviceSize(offset), buffer);
        if (result == VK_SUCCESS) buffer->heap = _generation;
        return result;
    }
    if (buffer->buffer && !buffer->heap && buffer->size == bytes) return VK_SUCCESS;
    _gpu->release(buffer);
    return _gpu->makeBuffer(bytes, false, buffer);
}

VkResult TransientHeap::renew(VkDeviceSize size) {
    free();
    // One memory type that suits every planned buffer.
    uint32_t types = ~0u;
    for (const Planned& planned : _planned)
        if (planned.bytes > 0) types &= planned.memoryTypes;
    if (types == 0) return VK_SUCCESS;  // none: every buffer keeps memory of its own
    const VkMemoryRequirements needs{size, 1, types};
    const VkResult result = _gpu->allocate(needs, false, &_memory, &_type);
    if (result != VK_SUCCESS) {
        _memory = VK_NULL_HANDLE;
        return result;
    }
    _size = size;
    // Buffers bound to the old memory see another generation and are made again when placed.
    ++_generation;
    return VK_SUCCESS;
}

void TransientHeap::free() {
    if (!_memory) return;
    // Earlier frames' work has ended when a frame starts; waiting makes sure of it, and a new
    // heap is rare (a new size).
    vkQueueWaitIdle(_gpu->queue());
    vkFreeMemory(_gpu->device(), _memory, nullptr);
    _memory = VK_NULL_HANDLE;
    _size = 0;
}

}  // namespace OrvVulkan
