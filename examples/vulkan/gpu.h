#pragma once

#include <vulkan/vulkan.h>

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <atomic>
#include <mutex>
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

// A buffer that images are copied into, with memory of its own; null until made.
struct Buffer {
    VkBuffer buffer = VK_NULL_HANDLE;
    VkDeviceMemory memory = VK_NULL_HANDLE;
    VkDeviceSize size = 0;
    void* mapped = nullptr;  // for host-visible buffers
};

// An image with its view, with memory of its own or placed in a shared heap; null until made.
struct Image {
    VkImage image = VK_NULL_HANDLE;
    VkImageView view = VK_NULL_HANDLE;
    VkDeviceMemory memory = VK_NULL_HANDLE;  // its own; null when placed in a heap
    VkFormat format = VK_FORMAT_UNDEFINED;
    int width = 0;
    int height = 0;
    quint64 heap = 0;         // the heap's generation when placed in one, else 0
    VkDeviceSize offset = 0;  // in that heap
};

// The formats of the example's images: linear colour, and the tone-mapped picture.
constexpr VkFormat kColorFormat = VK_FORMAT_R16G16B16A16_SFLOAT;
constexpr VkFormat kPictureFormat = VK_FORMAT_R8G8B8A8_UNORM;

// One compute device and what every pass shares on it: a queue, a descriptor pool, a linear
// sampler clamped to the edge, and one pipeline layout (a sampled image, a storage image to read,
// a colour and a picture storage image to write, and 16 bytes of push constants). Passes record
// on several threads; the device, the queue and the pools for sets are used from the renderer's.
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
    uint32_t queueFamily() const { return _family; }
    VkPipelineLayout pipelineLayout() const { return _pipelineLayout; }
    VkSampler sampler() const { return _sampler; }
    QString deviceName() const { return _deviceName; }
    // Nanoseconds a timestamp tick, 0 when the queue has no timestamps.
    double timestampPeriod() const { return _timestampPeriod; }
    // Messages of the validation layer so far (warnings and errors); each is also printed.
    int validationMessages() const { return _messages.load(); }
    QStringList messageTexts() const;
    // Whether printing each message to stderr; on by default.
    void setPrintMessages(bool print) { _print = print; }

    VkResult makePipeline(const uint32_t* code, size_t bytes, VkPipeline* pipeline);
    VkResult allocateSet(VkDescriptorSet* set);
    // Points the set's bindings at these views (sampled in `sampledLayout`); a null one is left
    // as it was.
    void bind(VkDescriptorSet set, VkImageView sampled, VkImageLayout sampledLayout,
              VkImageView source, VkImageView target, VkImageView picture);
    // What a storage image of that size asks of memory.
    VkResult requirements(VkFormat format, int width, int height, VkMemoryRequirements* needs);
    // An image with memory of its own, or bound at `offset` of `memory` when that is not null.
    VkResult makeImage(VkFormat format, int width, int height, VkDeviceMemory memory,
                       VkDeviceSize offset, Image* image);
    void release(Image* image);
    // Device-local where there is such memory; host-visible and mapped when `readBack`.
    VkResult makeBuffer(VkDeviceSize size, bool readBack, Buffer* buffer);
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
    uint32_t _family = 0;
    VkSampler _sampler = VK_NULL_HANDLE;
    double _timestampPeriod = 0.0;
    VkDescriptorPool _descriptorPool = VK_NULL_HANDLE;
    VkDescriptorSetLayout _setLayout = VK_NULL_HANDLE;
    VkPipelineLayout _pipelineLayout = VK_NULL_HANDLE;
    QString _deviceName;
    std::atomic<int> _messages{0};
    std::atomic<bool> _print{true};
    mutable std::mutex _textsLock;
    QStringList _texts;
};

}  // namespace OrvVulkan
