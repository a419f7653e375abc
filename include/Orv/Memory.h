#pragma once

/// @file
/// Read-only memory blobs: an owned buffer or a file mapped on demand.

#include <Orv/OrvCoreExport.h>

#include <QString>
#include <QtGlobal>

namespace Vantrel {
namespace Orv {

struct RawMemoryBuffer;
struct MappedFileHandle;

/// A read-only run of bytes of known length. A caller borrows a pointer to a sub-range with
/// get() and hands it back with release(). A range is served only when offset < size() and
/// offset + length <= size(), tested without overflow.
class ORVCORE_EXPORT Memory {
public:
    Memory() = default;
    Memory(const Memory&) = default;             ///< Copies nothing but the interface.
    Memory& operator=(const Memory&) = default;  ///< Copies nothing but the interface.
    virtual ~Memory();

    virtual quint64 size() const = 0;  ///< Length in bytes.
    /// Start of the range [offset, offset + size), or null when it does not lie in the blob.
    virtual unsigned char* get(quint64 offset, quint64 size) = 0;
    virtual void release(unsigned char* data) = 0;  ///< Hands back a pointer from get().
};

/// Serves bytes from a heap buffer. Copies share the buffer, which the last of them frees.
class ORVCORE_EXPORT RawMemory : public Memory {
public:
    /// Takes ownership of data, which must come from new unsigned char[] (or be null).
    RawMemory(unsigned char* data, quint64 size);
    RawMemory(const RawMemory& other);  ///< Shares other's buffer.
    /// Shares other's buffer, letting go of its own.
    RawMemory& operator=(const RawMemory& other);
    ~RawMemory() override;

    quint64 size() const override;
    /// Address of the byte at offset inside the buffer, no copy; with size 0 too.
    unsigned char* get(quint64 offset, quint64 size) override;
    void release(unsigned char* data) override;  ///< Nothing to release.

private:
    RawMemoryBuffer* _data;  // shared buffer and its length
};

/// Serves bytes from a file by mapping each requested range on demand. A missing, unreadable or
/// non-regular file gives a blob of size 0. The size is taken when the file is opened. Copies
/// share the open file, which the last of them closes; since they share it, use get() and
/// release() on one of them at a time.
class ORVCORE_EXPORT MemoryMappedFile : public Memory {
public:
    /// Opens the file read-only and takes its size.
    explicit MemoryMappedFile(const QString& path);
    MemoryMappedFile(const MemoryMappedFile& other);  ///< Shares other's open file.
    /// Shares other's open file, letting go of its own.
    MemoryMappedFile& operator=(const MemoryMappedFile& other);
    /// The last copy closes the file, which unmaps whatever is still mapped.
    ~MemoryMappedFile() override;

    quint64 size() const override;
    /// A new mapping of the range (of the one byte at offset when size is 0) on every call, or
    /// null when the range is outside the file or the mapping fails.
    unsigned char* get(quint64 offset, quint64 size) override;
    void release(unsigned char* data) override;  ///< Unmaps; ignores pointers get() did not return.

private:
    MappedFileHandle* _file;  // shared open file and its size
};

}  // namespace Orv
}  // namespace Vantrel
