#pragma once

#include "gpu.h"
#include "heap.h"
#include "passes.h"

#include <Orv/Renderer.h>

#include <QImage>
#include <QPair>
#include <QString>
#include <QVector>

namespace OrvVulkan {

// The demo's graph: scene -> bloom [bright -> blur] -> composite -> tonemap -> output "image";
// stats (the previous frame, on the CPU) -> output "luma". Parameters: time, width, height,
// exposure, bloomThreshold, bloomRadius, bloomStrength. `gpu` must outlive it.
struct Pipeline {
    // Before the renderer, so that the passes' buffers go before the memory they are bound to.
    TransientHeap heap;
    Vantrel::Orv::Renderer renderer;
    StatsPass* stats = nullptr;
    QVector<QPair<QString, int>> passes;  // path and node

    explicit Pipeline(Gpu* gpu);
    int add(const QString& path, Vantrel::Orv::RenderPass* pass, int parent);
    // The frame's size in pixels (the width and height parameters).
    void setSize(int width, int height);
    // With the memory plan on, the transient images share one VkDeviceMemory (see TransientHeap).
    void setMemoryPlan(bool enabled);
    // Renders frame `frame`, the stats pass reading `previous`; false when a pass failed, with
    // which and the Vulkan error in `error`.
    bool render(int frame, const QImage& previous, QString* error);
    QImage image() const { return renderer.output(0).value<QImage>(); }

private:
    int _width = 640;
    int _height = 360;
};

// Instead of the renderer's 100 us sleep: blocks until one of the fences in flight signals.
// With a CPU pass in flight as well, wakes at least every 100 us to poll it; with only the CPU
// pass, waits for it.
void waitForPasses(const Gpu& gpu, const QVector<Vantrel::Orv::RenderPass*>& inFlight);

}  // namespace OrvVulkan
