#include "gpu.h"

#include <QStringList>

#include <cstdio>
#include <cstring>

namespace OrvVulkan {

namespace {

const char* const kValidationLayer = "VK_LAYER_KHRONOS_validation";

VKAPI_ATTR VkBool32 VKAPI_CALL onMessage(VkDebugUtilsMessageSeverityFlagBitsEXT,
                                         VkDebugUtilsMessageTypeFlagsEXT,
                                         const VkDebugUtilsMessengerCallbackDataEXT* data,
                                         void* user) {
    Gpu::countMessage(static_cast<Gpu*>(user), data->pMessage);
    return VK_FALSE;
}

bool layerHasExtension(const char* layer, const char* name) {
    uint32_t count = 0;
    vkEnumerateInstanceExtensionProperties(layer, &count, nullptr);
    std::vector<VkExtensionProperties> extensions(count);
    vkEnumerateInstanceExtensionProperties(layer, &count, extensions.data());
    for (const VkExtensionProperties& extension : extensions)
        if (std::strcmp(extension.extensionName, name) == 0) return true;
    return false;
}

bool hasLayer(const char* name) {
    uint32_t count = 0;
    vkEnumerateInstanceLayerProperties(&count, nullptr);
    std::vector<VkLayerProperties> layers(count);
    vkEnumerateInstanceLayerProperties(&count, layers.data());
    for (const VkLayerProperties& layer : layers)
        if (std::strcmp(layer.layerName, name) == 0) return true;
    return false;
}

int computeFamily(VkPhysicalDevice device) {
    uint32_t count = 0;
    vkGetPhysicalDeviceQueueFamilyProperties(device, &count, nullptr);
    std::vector<VkQueueFamilyProperties> families(count);
    vkGetPhysicalDeviceQueueFamilyProperties(device, &count, families.data());
    for (uint32_t f = 0; f < count; ++f)
        if (families[f].queueFlags & VK_QUEUE_COMPUTE_BIT) return int(f);
    return -1;
}

}  // namespace

const char* resultName(VkResult result) {
    switch (result) {
#define ORV_RESULT(name) \
    case name:           \
        return #name;
        ORV_RESULT(VK_SUCCESS)
        ORV_RESULT(VK_NOT_READY)
        ORV_RESULT(VK_TIMEOUT)
        ORV_RESULT(VK_INCOMPLETE)
        ORV_RESULT(VK_ERROR_OUT_OF_HOST_MEMORY)
        ORV_RESULT(VK_ERROR_OUT_OF_DEVICE_MEMORY)
        ORV_RESULT(VK_ERROR_INITIALIZATION_FAILED)
        ORV_RESULT(VK_ERROR_DEVICE_LOST)
        ORV_RESULT(VK_ERROR_MEMORY_MAP_FAILED)
        ORV_RESULT(VK_ERROR_LAYER_NOT_PRESENT)
        ORV_RESULT(VK_ERROR_EXTENSION_NOT_PRESENT)
        ORV_RESULT(VK_ERROR_FEATURE_NOT_PRESENT)
        ORV_RESULT(VK_ERROR_INCOMPATIBLE_DRIVER)
        ORV_RESULT(VK_ERROR_TOO_MANY_OBJECTS)
        ORV_RESULT(VK_ERROR_FORMAT_NOT_SUPPORTED)
        ORV_RESULT(VK_ERROR_FRAGMENTED_POOL)
        ORV_RESULT(VK_ERROR_OUT_OF_POOL_MEMORY)
        ORV_RESULT(VK_ERROR_INVALID_SHADER_NV)
        ORV_RESULT(VK_ERROR_UNKNOWN)
#undef ORV_RESULT
        default:
            return "an unknown VkResult";
    }
}

void Gpu::countMessage(Gpu* gpu, const char* text) {
    ++gpu->_messages;
    {
        std::lock_guard<std::mutex> lock(gpu->_textsLock);
        gpu->_texts << QString::fromUtf8(text);
    }
    if (gpu->_print) std::fprintf(stderr, "validation: %s\n", text);
}

QStringList Gpu::messageTexts() const {
    std::lock_guard<std::mutex> lock(_textsLock);
    return _texts;
}

bool Gpu::open(const QString& deviceName, bool validation, QString* error) {
    auto fail = [error](const QString& what, VkResult result) {
        *error = QStringLiteral("%1: %2").arg(what, QLatin1String(resultName(result)));
        return false;
    };
    if (validation && !hasLayer(kValidationLayer)) {
        *error = QStringLiteral("the validation layer %1 is not installed").arg(kValidationLayer);
        return false;
    }
    auto app = make<VkApplicationInfo>(VK_STRUCTURE_TYPE_APPLICATION_INFO);
    app.pApplicationName = "orv-vulkan";
    app.apiVersion = VK_API_VERSION_1_1;
    // Messages while the instance itself is made and destroyed are counted too.
    auto messages = make<VkDebugUtilsMessengerCreateInfoEXT>(
        VK_STRUCTURE_TYPE_DEBUG_UTILS_MESSENGER_CREATE_INFO_EXT);
    messages.messageSeverity = VK_DEBUG_UTILS_MESSAGE_SEVERITY_WARNING_BIT_EXT |
                               VK_DEBUG_UTILS_MESSAGE_SEVERITY_ERROR_BIT_EXT;
    messages.messageType = VK_DEBUG_UTILS_MESSAGE_TYPE_GENERAL_BIT_EXT |
                           VK_DEBUG_UTILS_MESSAGE_TYPE_VALIDATION_BIT_EXT |
                           VK_DEBUG_UTILS_MESSAGE_TYPE_PERFORMANCE_BIT_EXT;
    messages.pfnUserCallback = onMessage;
    messages.pUserData = this;
    // Besides the standard checks, hazards between the passes' accesses of each image.
    const VkValidationFeatureEnableEXT features[] = {
        VK_VALIDATION_FEATURE_ENABLE_SYNCHRONIZATION_VALIDATION_EXT};
    auto enabled = make<VkValidationFeaturesEXT>(VK_STRUCTURE_TYPE_VALIDATION_FEATURES_EXT);
    enabled.enabledValidationFeatureCount = 1;
    enabled.pEnabledValidationFeatures = features;
    messages.pNext = &enabled;
    const char* extensions[] = {VK_EXT_DEBUG_UTILS_EXTENSION_NAME,
                                VK_EXT_VALIDATION_FEATURES_EXTENSION_NAME};
    if (validation &&
        !layerHasExtension(kValidationLayer, VK_EXT_VALIDATION_FEATURES_EXTENSION_NAME)) {
        *error = QStringLiteral("the validation layer cannot validate synchronisation");
        return false;
    }
    auto instance = make<VkInstanceCreateInfo>(VK_STRUCTURE_TYPE_INSTANCE_CREATE_INFO);
    instance.pApplicationInfo = &app;
    if (validation) {
        instance.pNext = &messages;
        instance.enabledLayerCount = 1;
        instance.ppEnabledLayerNames = &kValidationLayer;
        instance.enabledExtensionCount = 2;
        instance.ppEnabledExtensionNames = extensions;
    }
    VkResult result = vkCreateInstance(&instance, nullptr, &_instance);
    if (result != VK_SUCCESS) return fail(QStringLiteral("cannot start Vulkan"), result);
    if (validation) {
        auto create = reinterpret_cast<PFN_vkCreateDebugUtilsMessengerEXT>(
            vkGetInstanceProcAddr(_instance, "vkCreateDebugUtilsMessengerEXT"));
        if (!create)
            return fail(QStringLiteral("no debug messenger"), VK_ERROR_EXTENSION_NOT_PRESENT);
        messages.pNext = nullptr;
        result = create(_instance, &messages, nullptr, &_messenger);
        if (result != VK_SUCCESS) return fail(QStringLiteral("no debug messenger"), result);
    }

    uint32_t count = 0;
    vkEnumeratePhysicalDevices(_instance, &count, nullptr);
    std::vector<VkPhysicalDevice> devices(count);
    vkEnumeratePhysicalDevices(_instance, &count, devices.data());
    int family = -1;
    QStringList seen;
    for (VkPhysicalDevice device : devices) {
        VkPhysicalDeviceProperties properties;
        vkGetPhysicalDeviceProperties(device, &properties);
        const QString name = QString::fromUtf8(properties.deviceName);
        seen << name;
        family = computeFamily(device);
        if (family < 0 || !name.contains(deviceName, Qt::CaseInsensitive)) continue;
        _physical = device;
        _deviceName = name;
        uint32_t familyCount = 0;
        vkGetPhysicalDeviceQueueFamilyProperties(device, &familyCount, nullptr);
        std::vector<VkQueueFamilyProperties> families(familyCount);
        vkGetPhysicalDeviceQueueFamilyProperties(device, &familyCount, families.data());
        if (families[size_t(family)].timestampValidBits > 0)
            _timestampPeriod = double(properties.limits.timestampPeriod);
        break;
    }
    if (!_physical) {
        *error =
            QStringLiteral("no device with a compute queue%1 (found: %2)")
                .arg(deviceName.isEmpty() ? QString()
                                          : QStringLiteral(" named '%1'").arg(deviceName),
                     seen.isEmpty() ? QStringLiteral("none") : seen.join(QStringLiteral(", ")));
        return false;
    }

    const float priority = 1.0f;
    auto queue = make<VkDeviceQueueCreateInfo>(VK_STRUCTURE_TYPE_DEVICE_QUEUE_CREATE_INFO);
    queue.queueFamilyIndex = uint32_t(family);
    queue.queueCount = 1;
    queue.pQueuePriorities = &priority;
    auto device = make<VkDeviceCreateInfo>(VK_STRUCTURE_TYPE_DEVICE_CREATE_INFO);
    device.queueCreateInfoCount = 1;
    device.pQueueCreateInfos = &queue;
    result = vkCreateDevice(_physical, &device, nullptr, &_device);
    if (result != VK_SUCCESS) return fail(QStringLiteral("cannot open ") + _deviceName, result);
    vkGetDeviceQueue(_device, uint32_t(family), 0, &_queue);
    _family = uint32_t(family);

    auto sampler = make<VkSamplerCreateInfo>(VK_STRUCTURE_TYPE_SAMPLER_CREATE_INFO);
    sampler.magFilter = VK_FILTER_LINEAR;
    sampler.minFilter = VK_FILTER_LINEAR;
    sampler.mipmapMode = VK_SAMPLER_MIPMAP_MODE_NEAREST;
    sampler.addressModeU = VK_SAMPLER_ADDRESS_MODE_CLAMP_TO_EDGE;
    sampler.addressModeV = VK_SAMPLER_ADDRESS_MODE_CLAMP_TO_EDGE;
    sampler.addressModeW = VK_SAMPLER_ADDRESS_MODE_CLAMP_TO_EDGE;
    result = vkCreateSampler(_device, &sampler, nullptr, &_sampler);
    if (result != VK_SUCCESS) return fail(QStringLiteral("no sampler"), result);

    // Sets for up to 8 passes, two frame slots, two sets each.
    constexpr uint32_t kSets = 32;
    const VkDescriptorPoolSize sizes[2] = {{VK_DESCRIPTOR_TYPE_COMBINED_IMAGE_SAMPLER, kSets},
                                           {VK_DESCRIPTOR_TYPE_STORAGE_IMAGE, 3 * kSets}};
    auto descriptors =
        make<VkDescriptorPoolCreateInfo>(VK_STRUCTURE_TYPE_DESCRIPTOR_POOL_CREATE_INFO);
    descriptors.maxSets = kSets;
    descriptors.poolSizeCount = 2;
    descriptors.pPoolSizes = sizes;
    result = vkCreateDescriptorPool(_device, &descriptors, nullptr, &_descriptorPool);
    if (result != VK_SUCCESS) return fail(QStringLiteral("no descriptor pool"), result);

    VkDescriptorSetLayoutBinding bindings[4];
    bindings[0] = {0, VK_DESCRIPTOR_TYPE_COMBINED_IMAGE_SAMPLER, 1, VK_SHADER_STAGE_COMPUTE_BIT,
                   &_sampler};
    for (uint32_t b = 1; b < 4; ++b)
        bindings[b] = {b, VK_DESCRIPTOR_TYPE_STORAGE_IMAGE, 1, VK_SHADER_STAGE_COMPUTE_BIT,
                       nullptr};
    auto setLayout =
        make<VkDescriptorSetLayoutCreateInfo>(VK_STRUCTURE_TYPE_DESCRIPTOR_SET_LAYOUT_CREATE_INFO);
    setLayout.bindingCount = 4;
    setLayout.pBindings = bindings;
    result = vkCreateDescriptorSetLayout(_device, &setLayout, nullptr, &_setLayout);
    if (result != VK_SUCCESS) return fail(QStringLiteral("no descriptor set layout"), result);
    const VkPushConstantRange pushed{VK_SHADER_STAGE_COMPUTE_BIT, 0, 16};
    auto layout = make<VkPipelineLayoutCreateInfo>(VK_STRUCTURE_TYPE_PIPELINE_LAYOUT_CREATE_INFO);
    layout.setLayoutCount = 1;
    layout.pSetLayouts = &_setLayout;
    layout.pushConstantRangeCount = 1;
    layout.pPushConstantRanges = &pushed;
    result = vkCreatePipelineLayout(_device, &layout, nullptr, &_pipelineLayout);
    if (result != VK_SUCCESS) return fail(QStringLiteral("no pipeline layout"), result);
    return true;
}

Gpu::~Gpu() {
    if (_device) {
        vkDeviceWaitIdle(_device);
        vkDestroyPipelineLayout(_device, _pipelineLayout, nullptr);
        vkDestroyDescriptorSetLayout(_device, _setLayout, nullptr);
        vkDestroyDescriptorPool(_device, _descriptorPool, nullptr);
        vkDestroySampler(_device, _sampler, nullptr);
        vkDestroyDevice(_device, nullptr);
    }
    if (_messenger) {
        auto destroy = reinterpret_cast<PFN_vkDestroyDebugUtilsMessengerEXT>(
            vkGetInstanceProcAddr(_instance, "vkDestroyDebugUtilsMessengerEXT"));
        if (destroy) destroy(_instance, _messenger, nullptr);
    }
    if (_instance) vkDestroyInstance(_instance, nullptr);
}

VkResult Gpu::makePipeline(const uint32_t* code, size_t bytes, VkPipeline* pipeline) {
    auto module = make<VkShaderModuleCreateInfo>(VK_STRUCTURE_TYPE_SHADER_MODULE_CREATE_INFO);
    module.codeSize = bytes;
    module.pCode = code;
    VkShaderModule shader = VK_NULL_HANDLE;
    VkResult result = vkCreateShaderModule(_device, &module, nullptr, &shader);
    if (result != VK_SUCCESS) return result;
    auto info = make<VkComputePipelineCreateInfo>(VK_STRUCTURE_TYPE_COMPUTE_PIPELINE_CREATE_INFO);
    info.stage =
        make<VkPipelineShaderStageCreateInfo>(VK_STRUCTURE_TYPE_PIPELINE_SHADER_STAGE_CREATE_INFO);
    info.stage.stage = VK_SHADER_STAGE_COMPUTE_BIT;
    info.stage.module = shader;
    info.stage.pName = "main";
    info.layout = _pipelineLayout;
    result = vkCreateComputePipelines(_device, VK_NULL_HANDLE, 1, &info, nullptr, pipeline);
    vkDestroyShaderModule(_device, shader, nullptr);
    return result;
}

VkResult Gpu::allocateSet(VkDescriptorSet* set) {
    auto info = make<VkDescriptorSetAllocateInfo>(VK_STRUCTURE_TYPE_DESCRIPTOR_SET_ALLOCATE_INFO);
    info.descriptorPool = _descriptorPool;
    info.descriptorSetCount = 1;
    info.pSetLayouts = &_setLayout;
    return vkAllocateDescriptorSets(_device, &info, set);
}

void Gpu::bind(VkDescriptorSet set, VkImageView sampled, VkImageLayout sampledLayout,
               VkImageView source, VkImageView target, VkImageView picture) {
    const VkImageView views[4] = {sampled, source, target, picture};
    VkDescriptorImageInfo infos[4];
    VkWriteDescriptorSet writes[4];
    uint32_t count = 0;
    for (uint32_t k = 0; k < 4; ++k) {
        if (!views[k]) continue;
        infos[count] = {VK_NULL_HANDLE, views[k], k == 0 ? sampledLayout : VK_IMAGE_LAYOUT_GENERAL};
        writes[count] = make<VkWriteDescriptorSet>(VK_STRUCTURE_TYPE_WRITE_DESCRIPTOR_SET);
        writes[count].dstSet = set;
        writes[count].dstBinding = k;
        writes[count].descriptorCount = 1;
        writes[count].descriptorType =
            k == 0 ? VK_DESCRIPTOR_TYPE_COMBINED_IMAGE_SAMPLER : VK_DESCRIPTOR_TYPE_STORAGE_IMAGE;
        writes[count].pImageInfo = &infos[count];
        ++count;
    }
    vkUpdateDescriptorSets(_device, count, writes, 0, nullptr);
}

namespace {

// Every image can be written as storage, sampled, read as storage and copied from, so that
// any image can take over any other's bytes.
VkImageCreateInfo storageImage(VkFormat format, int width, int height) {
    auto info = make<VkImageCreateInfo>(VK_STRUCTURE_TYPE_IMAGE_CREATE_INFO);
    info.imageType = VK_IMAGE_TYPE_2D;
    info.format = format;
    info.extent = {uint32_t(width), uint32_t(height), 1};
    info.mipLevels = 1;
    info.arrayLayers = 1;
    info.samples = VK_SAMPLE_COUNT_1_BIT;
    info.tiling = VK_IMAGE_TILING_OPTIMAL;
    info.usage =
        VK_IMAGE_USAGE_STORAGE_BIT | VK_IMAGE_USAGE_SAMPLED_BIT | VK_IMAGE_USAGE_TRANSFER_SRC_BIT;
    info.sharingMode = VK_SHARING_MODE_EXCLUSIVE;
    info.initialLayout = VK_IMAGE_LAYOUT_UNDEFINED;
    return info;
}

}  // namespace

VkResult Gpu::requirements(VkFormat format, int width, int height, VkMemoryRequirements* needs) {
    // Vulkan 1.1 answers only for an image that exists, so ask one that is never bound.
    const VkImageCreateInfo info = storageImage(format, width, height);
    VkImage probe = VK_NULL_HANDLE;
    const VkResult result = vkCreateImage(_device, &info, nullptr, &probe);
    if (result != VK_SUCCESS) return result;
    vkGetImageMemoryRequirements(_device, probe, needs);
    vkDestroyImage(_device, probe, nullptr);
    return VK_SUCCESS;
}

VkResult Gpu::makeImage(VkFormat format, int width, int height, VkDeviceMemory memory,
                        VkDeviceSize offset, Image* image) {
    const VkImageCreateInfo info = storageImage(format, width, height);
    VkResult result = vkCreateImage(_device, &info, nullptr, &image->image);
    if (result != VK_SUCCESS) return result;
    image->format = format;
    image->width = width;
    image->height = height;
    image->offset = offset;
    if (!memory) {
        VkMemoryRequirements needs;
        vkGetImageMemoryRequirements(_device, image->image, &needs);
        result = allocate(needs, false, &image->memory);
        memory = image->memory;
        offset = 0;
    }
    if (result == VK_SUCCESS) result = vkBindImageMemory(_device, image->image, memory, offset);
    auto view = make<VkImageViewCreateInfo>(VK_STRUCTURE_TYPE_IMAGE_VIEW_CREATE_INFO);
    view.image = image->image;
    view.viewType = VK_IMAGE_VIEW_TYPE_2D;
    view.format = format;
    view.subresourceRange = {VK_IMAGE_ASPECT_COLOR_BIT, 0, 1, 0, 1};
    if (result == VK_SUCCESS) result = vkCreateImageView(_device, &view, nullptr, &image->view);
    return result;
}

void Gpu::release(Image* image) {
    if (image->view) vkDestroyImageView(_device, image->view, nullptr);
    if (image->image) vkDestroyImage(_device, image->image, nullptr);
    if (image->memory) vkFreeMemory(_device, image->memory, nullptr);
    *image = Image();
}

VkResult Gpu::allocate(const VkMemoryRequirements& needs, bool readBack, VkDeviceMemory* memory,
                       uint32_t* type) {
    VkPhysicalDeviceMemoryProperties properties;
    vkGetPhysicalDeviceMemoryProperties(_physical, &properties);
    const VkMemoryPropertyFlags wanted =
        readBack ? VK_MEMORY_PROPERTY_HOST_VISIBLE_BIT | VK_MEMORY_PROPERTY_HOST_COHERENT_BIT
                 : VK_MEMORY_PROPERTY_DEVICE_LOCAL_BIT;
    int chosen = -1;
    for (uint32_t t = 0; t < properties.memoryTypeCount && chosen < 0; ++t) {
        if ((needs.memoryTypeBits & (1u << t)) &&
            (properties.memoryTypes[t].propertyFlags & wanted) == wanted)
            chosen = int(t);
    }
    // Without device-local memory any type will do; a read-back needs what it asked for.
    for (uint32_t t = 0; t < properties.memoryTypeCount && chosen < 0 && !readBack; ++t)
        if (needs.memoryTypeBits & (1u << t)) chosen = int(t);
    if (chosen < 0) return VK_ERROR_OUT_OF_DEVICE_MEMORY;
    if (type) *type = uint32_t(chosen);
    auto info = make<VkMemoryAllocateInfo>(VK_STRUCTURE_TYPE_MEMORY_ALLOCATE_INFO);
    info.allocationSize = needs.size;
    info.memoryTypeIndex = uint32_t(chosen);
    return vkAllocateMemory(_device, &info, nullptr, memory);
}

VkResult Gpu::makeBuffer(VkDeviceSize size, bool readBack, Buffer* buffer) {
    auto info = make<VkBufferCreateInfo>(VK_STRUCTURE_TYPE_BUFFER_CREATE_INFO);
    info.size = size;
    info.usage = VK_BUFFER_USAGE_TRANSFER_DST_BIT;
    info.sharingMode = VK_SHARING_MODE_EXCLUSIVE;
    VkResult result = vkCreateBuffer(_device, &info, nullptr, &buffer->buffer);
    if (result != VK_SUCCESS) return result;
    buffer->size = size;
    VkMemoryRequirements needs;
    vkGetBufferMemoryRequirements(_device, buffer->buffer, &needs);
    result = allocate(needs, readBack, &buffer->memory);
    if (result == VK_SUCCESS)
        result = vkBindBufferMemory(_device, buffer->buffer, buffer->memory, 0);
    if (result == VK_SUCCESS && readBack)
        result = vkMapMemory(_device, buffer->memory, 0, VK_WHOLE_SIZE, 0, &buffer->mapped);
    return result;
}

void Gpu::release(Buffer* buffer) {
    if (buffer->buffer) vkDestroyBuffer(_device, buffer->buffer, nullptr);
    if (buffer->memory) vkFreeMemory(_device, buffer->memory, nullptr);  // unmaps as well
    *buffer = Buffer();
}

}  // namespace OrvVulkan
