#include <Orv/Memory.h>

#include <QFile>
#include <QFileInfo>

#include <atomic>

namespace Vantrel {
namespace Orv {

// Copies of a blob share one block; the count is atomic so that copies may live on different
// threads, and the last copy to let go deletes the block (freeing the buffer or closing the file).
struct SharedBlock {
    std::atomic<int> refs{1};
};

struct RawMemoryBuffer : SharedBlock {
    RawMemoryBuffer(unsigned char* d, quint64 s) : data(d), size(s) {}
    ~RawMemoryBuffer() { delete[] data; }
    Q_DISABLE_COPY(RawMemoryBuffer)

    unsigned char* const data;
    const quint64 size;
};

struct MappedFileHandle : SharedBlock {
    explicit MappedFileHandle(const QString& path) : file(path) {}

    QFile file;
    quint64 size = 0;
};

namespace {

template <typename Block>
Block* shareBlock(Block* block) {
    block->refs.fetch_add(1, std::memory_order_relaxed);
    return block;
}

template <typename Block>
void dropBlock(Block* block) {
    // acq_rel: the deleting thread must see every other copy's last use of the block.
    if (block->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) delete block;
}

// Assignment between copies: take the new share before dropping the old one, so that
// self-assignment (and assignment between copies of one block) never frees the block.
template <typename Block>
void assignBlock(Block*& target, Block* source) {
    shareBlock(source);
    dropBlock(target);
    target = source;
}

// The range [offset, offset + length) lies in a blob of blobSize bytes. Subtracting only once
// offset < blobSize is known keeps every step free of wrap-around, whatever the arguments.
bool containsRange(quint64 blobSize, quint64 offset, quint64 length) {
    if (offset >= blobSize) return false;
    return length <= blobSize - offset;
}

}  // namespace

Memory::~Memory() = default;

RawMemory::RawMemory(unsigned char* data, quint64 size) {
    try {
        _data = new RawMemoryBuffer(data, size);
    } catch (...) {
        // Ownership was handed over: the buffer must not leak when its holder cannot be made.
        delete[] data;
        throw;
    }
}

RawMemory::RawMemory(const RawMemory& other) : Memory(other), _data(shareBlock(other._data)) {}

RawMemory& RawMemory::operator=(const RawMemory& other) {
    assignBlock(_data, other._data);
    return *this;
}

RawMemory::~RawMemory() {
    dropBlock(_data);
}

quint64 RawMemory::size() const {
    return _data->size;
}

unsigned char* RawMemory::get(quint64 offset, quint64 size) {
    // A null buffer with a non-zero length serves nothing rather than addresses off null.
    if (!_data->data || !containsRange(_data->size, offset, size)) return nullptr;
    return _data->data + offset;
}

void RawMemory::release(unsigned char*) {}

MemoryMappedFile::MemoryMappedFile(const QString& path) : _file(new MappedFileHandle(path)) {
    // Only regular files: opening a FIFO would block, and devices or directories have no
    // size to serve.
    if (QFileInfo(path).isFile() && _file->file.open(QIODevice::ReadOnly)) {
        _file->size = quint64(_file->file.size());
    }
}

MemoryMappedFile::MemoryMappedFile(const MemoryMappedFile& other)
    : Memory(other), _file(shareBlock(other._file)) {}

MemoryMappedFile& MemoryMappedFile::operator=(const MemoryMappedFile& other) {
    assignBlock(_file, other._file);
    return *this;
}

MemoryMappedFile::~MemoryMappedFile() {
    dropBlock(_file);
}

quint64 MemoryMappedFile::size() const {
    return _file->size;
}

unsigned char* MemoryMappedFile::get(quint64 offset, quint64 size) {
    if (!containsRange(_file->size, offset, size)) return nullptr;
    // offset < _file->size, which came from a qint64, so these sums stay in range. Size 0 maps
    // the byte at offset, so that the pointer addresses real file content.
    const qint64 start = qint64(offset);
    const qint64 length = size == 0 ? 1 : qint64(size);
    // A file truncated since it was opened would yield a mapping that faults when read.
    if (start + length > _file->file.size()) return nullptr;
    return _file->file.map(start, length);
}

void MemoryMappedFile::release(unsigned char* data) {
    // QFile refuses addresses it did not map, so a stray pointer does no harm.
    if (data) _file->file.unmap(data);
}

}  // namespace Orv
}  // namespace Vantrel
