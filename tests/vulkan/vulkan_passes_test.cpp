// The Vulkan example's passes: how a Vulkan error reaches the renderer, and, on a device, that
// the frame recorded with the synchronisation plan's barriers and submitted once renders what
// a submission per pass renders, with nothing for the validation layer to report, and that the
// accumulation across frames settles for a still camera and starts afresh at a cut.
#include "gpu.h"
#include "pipeline.h"

#include <Orv/Renderer.h>

#include <QSet>

#include <gtest/gtest.h>

#include <cmath>
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

// The mean absolute difference of two pictures' channels, from 0 to 255.
double meanDifference(const QImage& a, const QImage& b) {
    double sum = 0.0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) +
                   std::abs(qBlue(p) - qBlue(q));
        }
    return sum / (3.0 * a.width() * a.height());
}

// A device with the validation layer (synchronisation included), or none: the test skips.
std::unique_ptr<Gpu> validatedGpu(QString* error) {
    auto gpu = std::make_unique<Gpu>();
    if (!gpu->open(QString(), true, error)) return nullptr;
    return gpu;
}

// Sizes the pipeline's frames, puts its images in the memory plan if asked, and sets it up.
void setUp(Pipeline& pipeline, int width, int height, bool memoryPlan = false) {
    pipeline.setSize(width, height);
    if (memoryPlan) pipeline.setMemoryPlan(true);
    pipeline.renderer.setup(nullptr);
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
    for (bool perPass : {false, true})
        for (int inFlight : {1, 4}) {
            SCOPED_TRACE(inFlight);
            pipeline.setSubmitPerPass(perPass);
            pipeline.renderer.setMaxPassesInFlight(inFlight);
            QString error;
            EXPECT_FALSE(pipeline.render(0, QImage(), &error));
            EXPECT_EQ(error, "pass 'scene' failed: VK_ERROR_INITIALIZATION_FAILED");
            const int composite = pipeline.passes.at(4).second;
            EXPECT_EQ(pipeline.renderer.outcome(composite), Orv::NodeOutcome::NotReached);
            EXPECT_TRUE(pipeline.finish().isNull());
            EXPECT_EQ(pipeline.counts().submits, 0);
        }
}

// Frames 0 and 1 per pass, the stats pass reading frame 0 in frame 1, with the fences waited
// on; every wait is handed a fence in flight or the stats pass. Polling renders the same.
TEST(VulkanPassTest, HeavyWaitingOnFencesRendersWhatPollingRenders) {
    Gpu gpu;
    QString error;
    if (!gpu.open(QString(), false, &error)) GTEST_SKIP() << error.toStdString();

    Pipeline waiting(&gpu);
    Pipeline polling(&gpu);
    for (Pipeline* pipeline : {&waiting, &polling}) {
        pipeline->setSubmitPerPass(true);
        setUp(*pipeline, 64, 36);
    }
    waiting.renderer.setMaxPassesInFlight(4);
    int waits = 0;
    int emptyWaits = 0;
    ASSERT_TRUE(waiting.renderer.setWaitFunction([&](const QVector<Orv::RenderPass*>& inFlight) {
        ++waits;
        bool something = false;
        for (Orv::RenderPass* pass : inFlight) {
            const auto* gpuPass = dynamic_cast<GpuPass*>(pass);
            something |= (gpuPass && (gpuPass->fence() || gpuPass->recording())) ||
                         dynamic_cast<StatsPass*>(pass);
        }
        emptyWaits += something ? 0 : 1;
        waitForPasses(gpu, inFlight);
    }));
    ASSERT_TRUE(waiting.render(0, QImage(), &error)) << error.toStdString();
    const QImage first = waiting.image();
    ASSERT_TRUE(waiting.render(1, first, &error)) << error.toStdString();
    const QImage waited = waiting.image();
    EXPECT_GT(waits, 0);
    EXPECT_EQ(emptyWaits, 0);
    EXPECT_NEAR(waiting.renderer.output(1).toDouble(), meanLuma(first), 1e-9);
    EXPECT_EQ(waiting.counts().submits, 2 * 7);

    ASSERT_TRUE(polling.render(0, QImage(), &error)) << error.toStdString();
    ASSERT_TRUE(polling.render(1, first, &error)) << error.toStdString();

    ASSERT_EQ(waited.size(), QSize(64, 36));
    EXPECT_EQ(polling.image(), waited);
    QSet<QRgb> colours;
    for (int y = 0; y < waited.height(); ++y)
        for (int x = 0; x < waited.width(); ++x) colours.insert(waited.pixel(x, y));
    EXPECT_GT(colours.size(), 200);
    EXPECT_NE(first, waited) << "the scene moves from frame to frame";
    waiting.renderer.teardown(nullptr);
    polling.renderer.teardown(nullptr);
}

// The recorded frame, with the memory plan on and off, one pass at a time and four in flight
// (recording on workers), across a resize that makes larger heaps, a still camera and a cut:
// one submission and at most one wait a frame, pictures equal pixel for pixel to a submission
// per pass with images of their own, and not one message from the validation layer,
// synchronisation included. With the plan, the accumulation's copy of each frame is in its
// slot's heap at memoryOffset, and the one it reads in the other slot's at historyMemoryOffset.
TEST(VulkanPassTest, HeavyRecordedFrameIsSilentUnderSynchronisationValidation) {
    QString error;
    const std::unique_ptr<Gpu> gpu = validatedGpu(&error);
    if (!gpu) GTEST_SKIP() << error.toStdString();

    // Camera frames: moving, resized at the third, still at the fourth, a cut at the fifth.
    const QVector<int> camera{0, 1, 2, 2, 9, 10};
    const QVector<bool> resets{true, false, true, false, true, false};
    const int kFrames = camera.size();
    auto render = [&](bool perPass, bool memoryPlan, int inFlight) {
        Pipeline pipeline(gpu.get());
        pipeline.setSubmitPerPass(perPass);
        pipeline.setMemoryPlan(memoryPlan);
        pipeline.renderer.setMaxPassesInFlight(inFlight);
        pipeline.renderer.setup(nullptr);
        const auto* accumulate =
            dynamic_cast<const GpuPass*>(pipeline.renderer.renderPass(pipeline.accumulate));
        QVector<QImage> pictures;
        for (int frame = 0; frame < kFrames; ++frame) {
            SCOPED_TRACE(frame);
            if (frame == 0 || frame == 2)
                pipeline.setSize(frame < 2 ? 48 : 80, frame < 2 ? 27 : 45);
            QString error;
            EXPECT_TRUE(pipeline.render(camera[frame], QImage(), &error)) << error.toStdString();
            EXPECT_EQ(pipeline.historyReset(), resets[frame]);
            EXPECT_EQ(pipeline.heap.placedThisFrame(), memoryPlan ? 6 : 0);
            if (memoryPlan && !resets[frame]) {
                const int slot = pipeline.heap.slot();
                const Image& mine = accumulate->slotImage(slot, 0);
                const Image& before = accumulate->slotImage(1 - slot, 0);
                const qint64 at = pipeline.renderer.memoryOffset(pipeline.accumulate, 0);
                const qint64 beforeAt =
                    pipeline.renderer.historyMemoryOffset(pipeline.accumulate, 0);
                EXPECT_NE(at, beforeAt);
                EXPECT_EQ(qint64(mine.offset), at);
                EXPECT_EQ(qint64(before.offset), beforeAt);
                EXPECT_TRUE(mine.heap && before.heap && mine.heap != before.heap);
            }
            pictures << pipeline.finish();
        }
        const FrameCounts& counts = pipeline.counts();
        EXPECT_EQ(counts.frames, kFrames);
        EXPECT_EQ(counts.passes, 7 * kFrames);
        EXPECT_EQ(counts.submits, (perPass ? 7 : 1) * kFrames);
        EXPECT_EQ(counts.barrierBatches, counts.passes);
        if (memoryPlan) {
            const Orv::MemoryPlan plan = pipeline.renderer.memoryPlan();
            EXPECT_TRUE(plan.error.isEmpty()) << plan.error.toStdString();
            EXPECT_GE(pipeline.heap.size(), VkDeviceSize(plan.heapSize));
            EXPECT_GT(plan.totalSize, plan.heapSize) << "some images share bytes";
        }
        pipeline.renderer.teardown(nullptr);
        return pictures;
    };
    const QVector<QImage> reference = render(true, false, 1);
    ASSERT_EQ(reference.size(), kFrames);
    EXPECT_EQ(reference.last().size(), QSize(80, 45));
    for (bool memoryPlan : {true, false})
        for (int inFlight : {1, 4}) {
            SCOPED_TRACE(testing::Message()
                         << "memory plan " << memoryPlan << ", " << inFlight << " in flight");
            const QVector<QImage> recorded = render(false, memoryPlan, inFlight);
            ASSERT_EQ(recorded.size(), kFrames);
            for (int frame = 0; frame < kFrames; ++frame)
                EXPECT_TRUE(recorded[frame] == reference[frame]) << "frame " << frame;
        }
    EXPECT_EQ(gpu->validationMessages(), 0) << gpu->messageTexts().join('\n').toStdString();

    EXPECT_NE(reference[3], reference[2]) << "the still camera adds a sample";

    // Two frames on the device: the third frame waits for the first, once, and no earlier.
    Pipeline pipeline(gpu.get());
    setUp(pipeline, 48, 27);
    QVector<int> waits;
    for (int frame = 0; frame < 4; ++frame) {
        ASSERT_TRUE(pipeline.render(frame, pipeline.image(), &error)) << error.toStdString();
        waits << pipeline.counts().waits;
    }
    EXPECT_EQ(waits, (QVector<int>{0, 0, 1, 2}));
    const QImage bloomed = pipeline.finish();
    EXPECT_EQ(bloomed.size(), QSize(48, 27));

    // Without the bright pass there is no bloom: the composite passes the scene through, and
    // reads its image in the plan's layouts all the same.
    pipeline.renderer.setEnabled(pipeline.passes.at(2).second, false);
    // Frame 3 again, once in each slot, so that the pictures differ by the bloom alone.
    for (int slot = 0; slot < 2; ++slot)
        ASSERT_TRUE(pipeline.render(3, QImage(), &error)) << error.toStdString();
    const QImage plain = pipeline.finish();
    EXPECT_EQ(pipeline.counts().passes, 4 * 7 + 2 * 5);
    EXPECT_LT(meanLuma(plain), meanLuma(bloomed)) << "the bloom only adds light";
    EXPECT_EQ(gpu->validationMessages(), 0) << gpu->messageTexts().join('\n').toStdString();
    pipeline.renderer.teardown(nullptr);

    for (bool memoryPlan : {true, false}) {
        // A reader of the accumulation switched off and on again while its history stays real:
        // each frame's history read starts from the layout the frame before left the image in.
        Pipeline toggled(gpu.get());
        setUp(toggled, 48, 27, memoryPlan);
        int composite = -1;
        for (const auto& pass : toggled.passes)
            if (pass.first.endsWith(QStringLiteral("composite"))) composite = pass.second;
        ASSERT_GE(composite, 0);
        for (int frame = 0; frame < 6; ++frame) {
            toggled.renderer.setEnabled(composite, frame != 2 && frame != 3);
            ASSERT_TRUE(toggled.render(0, QImage(), &error)) << error.toStdString();
        }
        toggled.finish();
        toggled.renderer.teardown(nullptr);

        // A resize while the frame before, still on the device, reads the accumulation's copy
        // that the new frame's slot makes again at the new size.
        Pipeline resized(gpu.get());
        setUp(resized, 48, 27, memoryPlan);
        for (int frame = 0; frame < 4; ++frame) {
            if (frame == 2) resized.setSize(80, 45);
            ASSERT_TRUE(resized.render(frame, QImage(), &error)) << error.toStdString();
        }
        EXPECT_EQ(resized.finish().size(), QSize(80, 45));
        resized.renderer.teardown(nullptr);
    }
    EXPECT_EQ(gpu->validationMessages(), 0) << gpu->messageTexts().join('\n').toStdString();
}

// A still camera takes a new sample of each pixel a frame and averages it with the ones before,
// so its pictures settle, while the same samples alone keep changing as much; a cut starts again
// from the new frame alone, as a first frame does.
TEST(VulkanPassTest, HeavyAStillCameraAccumulatesAndACutStartsAfresh) {
    Gpu gpu;
    QString error;
    if (!gpu.open(QString(), false, &error)) GTEST_SKIP() << error.toStdString();

    Pipeline still(&gpu);
    Pipeline plain(&gpu);  // the same samples, each alone: the history reset before each
    for (Pipeline* pipeline : {&still, &plain}) setUp(*pipeline, 64, 36, true);
    QVector<QImage> accumulated;
    QVector<QImage> alone;
    for (int k = 0; k < 6; ++k) {
        SCOPED_TRACE(k);
        ASSERT_TRUE(still.render(5, QImage(), &error)) << error.toStdString();
        EXPECT_EQ(still.historyReset(), k == 0);
        plain.renderer.resetHistory();
        ASSERT_TRUE(plain.render(5, QImage(), &error)) << error.toStdString();
        EXPECT_TRUE(plain.historyReset());
        accumulated << still.finish();
        alone << plain.finish();
    }
    EXPECT_EQ(accumulated[0], alone[0]);
    for (int k = 2; k < 6; ++k) {
        SCOPED_TRACE(k);
        EXPECT_NE(accumulated[k], alone[k]);
        EXPECT_LT(meanDifference(accumulated[k], accumulated[k - 1]),
                  meanDifference(alone[k], alone[k - 1]));
    }
    EXPECT_LT(meanDifference(accumulated[5], accumulated[4]),
              meanDifference(accumulated[2], accumulated[1]));

    ASSERT_TRUE(still.render(40, QImage(), &error)) << error.toStdString();
    EXPECT_TRUE(still.historyReset());
    Pipeline first(&gpu);
    setUp(first, 64, 36);
    ASSERT_TRUE(first.render(40, QImage(), &error)) << error.toStdString();
    EXPECT_EQ(still.finish(), first.finish());
    for (Pipeline* pipeline : {&still, &plain, &first}) pipeline->renderer.teardown(nullptr);
}

// The check is live: without the barrier that makes the bright image visible to the blur, the
// synchronisation validation reports a hazard; without the history read, the layout is wrong.
TEST(VulkanPassTest, HeavyADroppedTransitionIsReportedAsAHazard) {
    QString error;
    const std::unique_ptr<Gpu> gpu = validatedGpu(&error);
    if (!gpu) GTEST_SKIP() << error.toStdString();
    gpu->setPrintMessages(false);

    Pipeline pipeline(gpu.get());
    setUp(pipeline, 48, 27, true);
    ASSERT_TRUE(pipeline.render(0, QImage(), &error)) << error.toStdString();
    pipeline.finish();
    ASSERT_EQ(gpu->validationMessages(), 0) << gpu->messageTexts().join('\n').toStdString();

    // A write read the same way, so that only the missing wait is wrong, not a layout.
    const Orv::SyncPlan plan = pipeline.renderer.syncPlan();
    const int blur = pipeline.passes.at(3).second;
    int dropped = -1;
    for (int i = 0; i < plan.transitions.size() && dropped < 0; ++i) {
        const Orv::Transition& t = plan.transitions[i];
        if (t.reason == Orv::Transition::Reason::ReadAfterWrite && plan.nodes[t.step] == blur)
            dropped = i;
    }
    ASSERT_GE(dropped, 0);
    EXPECT_EQ(plan.transitions[dropped].fromUsage, kStorageWrite);
    EXPECT_EQ(plan.transitions[dropped].toUsage, kStorageRead);
    pipeline.setDroppedTransition(dropped);
    ASSERT_TRUE(pipeline.render(1, QImage(), &error)) << error.toStdString();
    pipeline.finish();
    const QStringList messages = gpu->messageTexts();
    EXPECT_FALSE(messages.filter(QStringLiteral("SYNC-HAZARD-READ-AFTER-WRITE")).isEmpty())
        << messages.join('\n').toStdString();

    // The history read of the frame before's copy left out instead: the accumulation samples an
    // image still in the layout the frame before left it in.
    const int before = gpu->validationMessages();
    const Orv::SyncPlan historyPlan = pipeline.renderer.syncPlan();
    dropped = -1;
    for (int i = 0; i < historyPlan.transitions.size() && dropped < 0; ++i)
        if (historyPlan.transitions[i].reason == Orv::Transition::Reason::HistoryRead) dropped = i;
    ASSERT_GE(dropped, 0);
    pipeline.setDroppedTransition(dropped);
    ASSERT_TRUE(pipeline.render(2, QImage(), &error)) << error.toStdString();
    pipeline.finish();
    const QStringList late = gpu->messageTexts().mid(before);
    EXPECT_FALSE(late.filter(QStringLiteral("VK_IMAGE_LAYOUT_SHADER_READ_ONLY_OPTIMAL")).isEmpty())
        << late.join('\n').toStdString();
    pipeline.renderer.teardown(nullptr);
}
