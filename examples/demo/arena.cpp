#include "arena.h"

#include <cstring>

namespace OrvDemo {

qint64 ImageArena::bytesOf(int width, int height) {
    return width < 1 || height < 1 ? 0 : qint64(width) * height * qint64(sizeof(Rgb));
}

Vantrel::Orv::OutputMemory ImageArena::planned(int node, int output, qint64 bytes) {
    _planned.insert(qMakePair(node, output), bytes);
    Vantrel::Orv::OutputMemory memory;
    memory.size = bytes;
    memory.alignment = 64;
    return memory;
}

FloatImage ImageArena::image(int node, int output, int width, int height) {
    const qint64 offset = _enabled ? _renderer.memoryOffset(node, output) : -1;
    const qint64 heapSize = _renderer.memoryPlan().heapSize;
    const qint64 bytes = bytesOf(width, height);
    // Only as large as planned: a larger image would reach into its neighbour's bytes.
    if (offset < 0 || bytes == 0 || bytes > _planned.value(qMakePair(node, output)) ||
        offset + bytes > heapSize)
        return FloatImage(width, height);
    if (_blockSize < heapSize) {
        _block.reset(new unsigned char[size_t(heapSize)], std::default_delete<unsigned char[]>());
        _blockSize = heapSize;
    }
    unsigned char* at = _block.get() + offset;
    std::memset(at, 0, size_t(bytes));
    return FloatImage(width, height, std::shared_ptr<Rgb>(_block, reinterpret_cast<Rgb*>(at)));
}

}  // namespace OrvDemo
