// The Vulkan example's passes: how a Vulkan error reaches the renderer, and, on a device, that
// waiting on the fences renders what polling renders.
#include "gpu.h"
#include "pipeline.h"

#include <Orv/Renderer.h>

#include <QSet>

#include <gtest/gtest.h>

#include <memory>

using namespace OrvVulkan;
namespace Orv = Vantrel::Orv;

namespace {

double meanLuma(const QImage& image) {
    double sum = 0.0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            sum += (0.2126 * qRed(p) + 0.7152 * qGreen(p) + 0.0722 * qBlue(p)) / 255.0;
        }
    return sum / (double(image.width()) * double(image.height()));
}

}  // namespace

// Passes that were never set up have no command buffer: the first fails at start with the
// result it met, the frame stops there, and the result's name comes back from the error code.
TEST(VulkanPassTest, AVulkanErrorFailsThePassAndNamesItself) {
    for (VkResult result :
         {VK_ERROR_DEVICE_LOST, VK_ERROR_OUT_OF_DEVICE_MEMORY, VK_ERROR_UNKNOWN}) {
        EXPECT_GT(errorCodeOf(result), 0u);
        EXPECT_EQ(resultOf(errorCodeOf(result)), result);
    }
    EXPECT_STREQ(resultName(VK_ERROR_DEVICE_LOST), "VK_ERROR_DEVICE_LOST");
    EXPECT_STREQ(resultName(VkResult(-123456)), "an unknown VkResult");

    Gpu gpu;  // not opened: no device
    Pipeline pipeline(&gpu);
    for (int inFlight : {1, 4}) {
        SCOPED_TRACE(inFlight);
        pipeline.renderer.setMaxPassesInFlight(inFlight);
        QString error;
        EXPECT_FALSE(pipeline.render(0, QImage(), &error));
        EXPECT_EQ(error, "pass 'scene' failed: VK_ERROR_INITIALIZATION_FAILED");
        const int composite = pipeline.passes.at(3).second;
        EXPECT_EQ(pipeline.renderer.outcome(composite), Orv::NodeOutcome::NotReached);
        EXPECT_TRUE(pipeline.image().isNull());
    }
}

TEST(VulkanPassTest, HeavyWaitingOnFencesRendersWhatPollingRenders) {
    Gpu gpu;
    QString error;
    if (!gpu.open(QString(), false, &error)) GTEST_SKIP() << error.toStdString();

    // Frames 0 and 1, the stats pass reading frame 0 in frame 1, with the fences waited on;
    // every wait is handed a fence in flight or the stats pass.
    Pipeline waiting(&gpu);
    waiting.setSize(64, 36);
    waiting.renderer.setMaxPassesInFlight(4);
    int waits = 0;
    int emptyWaits = 0;
    ASSERT_TRUE(waiting.renderer.setWaitFunction([&](const QVector<Orv::RenderPass*>& inFlight) {
        ++waits;
        bool something = false;
        for (Orv::RenderPass* pass : inFlight) {
            const auto* gpuPass = dynamic_cast<GpuPass*>(pass);
            something |= (gpuPass && gpuPass->fence()) || dynamic_cast<StatsPass*>(pass);
        }
        emptyWaits += something ? 0 : 1;
        waitForPasses(gpu, inFlight);
    }));
    waiting.renderer.setup(nullptr);
    ASSERT_TRUE(waiting.render(0, QImage(), &error)) << error.toStdString();
    const QImage first = waiting.image();
    ASSERT_TRUE(waiting.render(1, first, &error)) << error.toStdString();
    const QImage waited = waiting.image();
    EXPECT_GT(waits, 0);
    EXPECT_EQ(emptyWaits, 0);
    EXPECT_NEAR(waiting.renderer.output(1).toDouble(), meanLuma(first), 1e-9);

    Pipeline polling(&gpu);
    polling.setSize(64, 36);
    polling.renderer.setup(nullptr);
    ASSERT_TRUE(polling.render(0, QImage(), &error)) << error.toStdString();
    ASSERT_TRUE(polling.render(1, first, &error)) << error.toStdString();

    ASSERT_EQ(waited.size(), QSize(64, 36));
    EXPECT_EQ(polling.image(), waited);
    QSet<QRgb> colours;
    for (int y = 0; y < waited.height(); ++y)
        for (int x = 0; x < waited.width(); ++x) colours.insert(waited.pixel(x, y));
    EXPECT_GT(colours.size(), 200);
    EXPECT_NE(first, waited) << "the scene moves from frame to frame";

    // A new size makes new buffers on the next frame.
    waiting.setSize(32, 18);
    ASSERT_TRUE(waiting.render(2, waited, &error)) << error.toStdString();
    EXPECT_EQ(waiting.image().size(), QSize(32, 18));
    waiting.renderer.teardown(nullptr);
    polling.renderer.teardown(nullptr);
}

// The scene, bright, blur and composite images in one heap: the picture is the same, pixel for
// pixel, one pass at a time and with passes in flight, and after a new size makes a larger heap.
// Checked by the validation layer where it is installed.
TEST(VulkanPassTest, HeavyImagesInOneHeapRenderWhatImagesOfTheirOwnRender) {
    auto gpu = std::make_unique<Gpu>();
    QString error;
    if (!gpu->open(QString(), true, &error)) {
        gpu = std::make_unique<Gpu>();
        if (!gpu->open(QString(), false, &error)) GTEST_SKIP() << error.toStdString();
    }

    auto render = [&gpu](bool memoryPlan, int inFlight) {
        Pipeline pipeline(gpu.get());
        pipeline.setMemoryPlan(memoryPlan);
        pipeline.renderer.setMaxPassesInFlight(inFlight);
        pipeline.renderer.setup(nullptr);
        QVector<QImage> pictures;
        for (int frame = 0; frame < 4; ++frame) {
            SCOPED_TRACE(frame);
            pipeline.setSize(frame < 2 ? 48 : 80, frame < 2 ? 27 : 45);
            QString error;
            EXPECT_TRUE(pipeline.render(frame, QImage(), &error)) << error.toStdString();
            pictures << pipeline.image();
            if (!memoryPlan) {
                EXPECT_EQ(pipeline.heap.placedThisFrame(), 0);
                continue;
            }
            const Orv::MemoryPlan plan = pipeline.renderer.memoryPlan();
            EXPECT_TRUE(plan.error.isEmpty()) << plan.error.toStdString();
            EXPECT_EQ(pipeline.heap.placedThisFrame(), 4);
            EXPECT_GE(pipeline.heap.size(), VkDeviceSize(plan.heapSize));
            EXPECT_GT(plan.totalSize, plan.heapSize) << "some images share bytes";
            EXPECT_GE(plan.heapSize, plan.lowerBound);
        }
        pipeline.renderer.teardown(nullptr);
        return pictures;
    };
    const QVector<QImage> own = render(false, 1);
    ASSERT_EQ(own.size(), 4);
    EXPECT_EQ(own[3].size(), QSize(80, 45));
    for (int inFlight : {1, 4}) {
        const QVector<QImage> shared = render(true, inFlight);
        ASSERT_EQ(shared.size(), own.size());
        for (int frame = 0; frame < own.size(); ++frame)
            EXPECT_TRUE(shared[frame] == own[frame]) << "frame " << frame << ", " << inFlight;
    }
    EXPECT_EQ(gpu->validationMessages(), 0);
}
