#pragma once

#include <vulkan/vulkan.h>

#include <QString>
#include <QtGlobal>

#include <atomic>
#include <vector>

namespace OrvVulkan {

// The name of a Vulkan result ("VK_ERROR_DEVICE_LOST").
const char* resultName(VkResult result);

// A pass's error code for a Vulkan error, and back: errors are negative, codes positive.
inline unsigned int errorCodeOf(VkResult result) {
    return unsigned(-int(result));
}
inline VkResult resultOf(unsigned int code) {
    return VkResult(-int(code));
}

// A Vulkan structure of that type, zeroed.
template <typename T>
T make(VkStructureType type) {
    T value{};
    value.sType = type;
    return value;
}

// A storage buffer, with memory of its own or placed in a shared heap; null until made.
struct Buffer {
    VkBuffer buffer = VK_NULL_HANDLE;
    VkDeviceMemory memory = VK_NULL_HANDLE;  // its own; null when placed in a heap
    VkDeviceSize size = 0;
    void* mapped = nullptr;   // for host-visible buffers
    quint64 heap = 0;         // the heap's generation when placed in one, else 0
    VkDeviceSize offset = 0;  // in that heap
};

// One compute device and what every pass shares on it: a queue, a command pool, a descriptor
// pool, and one pipeline layout (three storage buffers: two sources and a target, and 16 bytes
// of push constants). Used from one thread.
class Gpu {
public:
    Gpu() = default;
    ~Gpu();
    Gpu(const Gpu&) = delete;
    Gpu& operator=(const Gpu&) = delete;

    // Opens the first device with a compute queue whose name contains `deviceName` (any when
    // empty), with the Khronos validation layer when asked; false with the reason otherwise.
    bool open(const QString& deviceName, bool validation, QString* error);

    VkDevice device() const { return _device; }
    VkQueue queue() const { return _queue; }
    VkCommandPool commandPool() const { return _commandPool; }
    VkPipelineLayout pipelineLayout() const { return _pipelineLayout; }
    QString deviceName() const { return _deviceName; }
    // Messages of the validation layer so far (warnings and errors); each is also printed.
    int validationMessages() const { return _messages.load(); }

    VkResult makePipeline(const uint32_t* code, size_t bytes, VkPipeline* pipeline);
    VkResult allocateSet(VkDescriptorSet* set);
    // Points the set's three bindings at these buffers; a null one is left as it was.
    void bind(VkDescriptorSet set, VkBuffer a, VkBuffer b, VkBuffer target);
    // Device-local where there is such memory; host-visible and mapped when `readBack`.
    VkResult makeBuffer(VkDeviceSize size, bool readBack, Buffer* buffer);
    // A buffer bound at `offset` of memory it does not own.
    VkResult makeBufferAt(VkDeviceSize size, VkDeviceMemory memory, VkDeviceSize offset,
                          Buffer* buffer);
    // What a storage buffer of `size` bytes asks of memory.
    VkResult requirements(VkDeviceSize size, VkMemoryRequirements* needs);
    // Memory that meets `needs`, as makeBuffer chooses it; `type` gets its memory type.
    VkResult allocate(const VkMemoryRequirements& needs, bool readBack, VkDeviceMemory* memory,
                      uint32_t* type = nullptr);
    void release(Buffer* buffer);

    static void countMessage(Gpu* gpu, const char* text);

private:
    VkInstance _instance = VK_NULL_HANDLE;
    VkDebugUtilsMessengerEXT _messenger = VK_NULL_HANDLE;
    VkPhysicalDevice _physical = VK_NULL_HANDLE;
    VkDevice _device = VK_NULL_HANDLE;
    VkQueue _queue = VK_NULL_HANDLE;
    VkCommandPool _commandPool = VK_NULL_HANDLE;
    VkDescriptorPool _descriptorPool = VK_NULL_HANDLE;
    VkDescriptorSetLayout _setLayout = VK_NULL_HANDLE;
    VkPipelineLayout _pipelineLayout = VK_NULL_HANDLE;
    QString _deviceName;
    std::atomic<int> _messages{0};
};

}  // namespace OrvVulkan
