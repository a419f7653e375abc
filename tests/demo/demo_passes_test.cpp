// What running orv-demo cannot show: the threaded work equals its single-threaded reference,
// images travel as shared handles, malformed tone curve files are refused, every pass input of
// the pipeline is wired (a misnamed one would silently stay on its default), and the memory plan
// leaves the picture as it was.
#include "bloom.h"
#include "image.h"
#include "pipeline.h"
#include "scene.h"
#include "tonemap.h"
#include "workerpool.h"

#include <Orv/Graph.h>
#include <Orv/Memory.h>
#include <Orv/Renderer.h>
#include <Orv/Validator.h>

#include <QFile>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <limits>
#include <thread>

using namespace OrvDemo;
namespace Orv = Vantrel::Orv;

namespace {

FloatImage serialBlur(const FloatImage& source, int radius) {
    const QVector<float> weights = gaussianWeights(radius);
    FloatImage between(source.width(), source.height());
    FloatImage result(source.width(), source.height());
    blurRowsHorizontally(source, between, weights, 0, source.height());
    blurRowsVertically(between, result, weights, 0, source.height());
    return result;
}

// Compares every channel of every pixel, naming the first that differs.
void expectSameImage(const FloatImage& actual, const FloatImage& expected) {
    ASSERT_EQ(actual.width(), expected.width());
    ASSERT_EQ(actual.height(), expected.height());
    for (int y = 0; y < actual.height(); ++y) {
        for (int x = 0; x < actual.width(); ++x) {
            const Rgb a = actual.constLine(y)[x], e = expected.constLine(y)[x];
            ASSERT_TRUE(a.r == e.r && a.g == e.g && a.b == e.b) << "at " << x << "," << y;
        }
    }
}

ToneCurve curveFrom(const QByteArray& bytes, QString* error) {
    auto* data = new unsigned char[bytes.size() > 0 ? bytes.size() : 1];
    std::memcpy(data, bytes.constData(), size_t(bytes.size()));
    Orv::RawMemory memory(data, quint64(bytes.size()));
    return ToneCurve::read(memory, error);
}

QByteArray shippedPipeline() {
    QFile file(QStringLiteral(ORV_DEMO_PIPELINE));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A pass that hands the renderer a fixed image, standing in for the scene.
class ImageSource : public Orv::RenderPassHelper {
public:
    explicit ImageSource(const FloatImage& image) {
        addOutput(QStringLiteral("bright"));
        _outputs[0].value = QVariant::fromValue(image);
    }
};

// The kernel is shared by both blurs, so it is checked on its own: symmetric, and normalised with
// clamped edges, so that a flat image narrower than the kernel stays flat.
TEST(BlurPassTest, WorkerThreadsMatchTheSerialBlurInsideARenderer) {
    const QVector<float> weights = gaussianWeights(5);
    ASSERT_EQ(weights.size(), 11);
    EXPECT_FLOAT_EQ(weights[0], weights[10]);
    FloatImage flat(9, 7);
    for (int y = 0; y < flat.height(); ++y)
        for (int x = 0; x < flat.width(); ++x) flat.line(y)[x] = {1.0f, 1.0f, 1.0f};
    const FloatImage blurredFlat = serialBlur(flat, 5);
    for (int y = 0; y < flat.height(); ++y)
        for (int x = 0; x < flat.width(); ++x)
            ASSERT_NEAR(blurredFlat.constLine(y)[x].g, 1.0f, 1e-5f) << x << "," << y;

    FloatImage source(37, 23);
    for (int y = 0; y < source.height(); ++y)
        for (int x = 0; x < source.width(); ++x)
            source.line(y)[x] = {float((x * 7 + y * 3) % 11), float(x % 5), float(y % 4)};
    // Images travel between passes as shared handles, never copying their pixels.
    EXPECT_TRUE(QVariant::fromValue(source).value<FloatImage>().isSharedWith(source));
    Orv::Renderer renderer;
    renderer.addParameter(QStringLiteral("bloomRadius"), 3);
    renderer.addOutput(QStringLiteral("bloom"));
    const int root = Orv::Graph::kRootNodeRef;
    const int input = renderer.addPass(QStringLiteral("input"), new ImageSource(source), root);
    const int blur = renderer.addPass(QStringLiteral("blur"), new BlurPass, root);
    Orv::Graph* graph = renderer.getGraph();
    graph->connectByName(input, blur);
    graph->connectDownByName(blur);
    graph->connectUpByName(blur);
    renderer.setup(nullptr);
    for (int frame = 0; frame < 3; ++frame) {
        SCOPED_TRACE(frame);
        ASSERT_TRUE(renderer.render(nullptr));
        expectSameImage(renderer.output(0).value<FloatImage>(), serialBlur(source, 3));
    }
    renderer.teardown(nullptr);
}

TEST(SceneTest, StripesOnWorkersGiveTheSerialPicture) {
    WorkerPool pool(3);
    expectSameImage(renderScene(48, 27, 1.25, &pool), renderScene(48, 27, 1.25));
}

TEST(WorkerPoolTest, RunsEveryTaskIncludingThosePostedByTasksBeforeItIsGone) {
    std::atomic<int> runs{0};
    {
        WorkerPool pool(3);
        for (int i = 0; i < 20; ++i) {
            pool.post([&pool, &runs] {
                runs.fetch_add(1);
                pool.post([&runs] { runs.fetch_add(1); });
            });
        }
    }
    EXPECT_EQ(runs.load(), 40);
    WorkerPool pool(2);
    QVector<int> hits(7);
    pool.runAndWait(hits.size(), [&hits](int i) { ++hits[i]; });
    EXPECT_EQ(hits, QVector<int>(7, 1));
}

// A signal given before anyone waits is kept for the next wait, and one wait takes it; a waiting
// thread wakes when another signals.
TEST(WorkDoneTest, KeepsASignalThatNobodyWaitedForAndWakesAWaiter) {
    WorkDone done;
    done.notify();
    done.notify();
    done.wait();  // returns at once
    std::atomic<bool> woken{false};
    std::thread waiter([&] {
        done.wait();
        woken = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(woken) << "two signals before the first wait count as one";
    done.notify();
    waiter.join();
    EXPECT_TRUE(woken);
}

TEST(ToneCurveTest, RefusesMalformedFilesWithAReason) {
    const QByteArray good = ToneCurve::encode({0.0f, 0.5f, 1.0f}, 4.0f);
    QString error;
    EXPECT_FALSE(curveFrom(good, &error).isNull()) << error.toStdString();
    QByteArray badMagic = good;
    badMagic[0] = 'X';
    QByteArray badCount = good;
    badCount[8] = 1;  // one sample cannot make a curve
    const QByteArray badRange = ToneCurve::encode({0.0f, 1.0f}, -1.0f);
    const QByteArray nan = ToneCurve::encode({0.0f, std::numeric_limits<float>::quiet_NaN()}, 4.0f);
    for (const QByteArray& bytes : {good.left(10), good.left(good.size() - 1), good + "x", badMagic,
                                    badCount, badRange, nan, QByteArray()}) {
        error.clear();
        EXPECT_TRUE(curveFrom(bytes, &error).isNull()) << bytes.toHex().toStdString();
        EXPECT_FALSE(error.isEmpty());
    }
}

// The shipped file is what the demo would write: every pass type has a name and loads back.
TEST(PipelineTest, ShippedPipelineFeedsEveryPassInputAndSavesAsShipped) {
    QString error;
    Pipeline pipeline(curveFrom(ToneCurve::encode({0.0f, 1.0f}, 1.0f), &error));
    const QByteArray shipped = shippedPipeline();
    ASSERT_TRUE(pipeline.load(shipped, &error)) << error.toStdString();
    const Orv::Renderer& renderer = pipeline.renderer();
    const Orv::Graph* graph = renderer.getGraph();
    for (const Pipeline::Node& node : pipeline.nodes()) {
        for (int i = 0; renderer.renderPass(node.ref) && i < graph->numInputs(node.ref); ++i) {
            int n = node.ref, port = i;
            EXPECT_TRUE(graph->walkToSourceNode(n, port) || n == Orv::Graph::kRootNodeRef)
                << node.path.toStdString() << " input " << i;
        }
    }
    int n = Orv::Graph::kRootNodeRef, port = renderer.findOutput(QStringLiteral("image"));
    ASSERT_TRUE(graph->walkDown(n, port));
    EXPECT_EQ(n, pipeline.findNode(QStringLiteral("tonemap")));
    EXPECT_EQ(renderer.target(), pipeline.findNode(QStringLiteral("stats")));
    ASSERT_NE(pipeline.stats(), nullptr);

    // Nothing the validator calls wrong or wasted; notes alone would be fine.
    for (const Orv::Finding& finding : Orv::validate(renderer))
        EXPECT_EQ(finding.severity, Orv::Finding::Severity::Note)
            << finding.toString().toStdString();

    QByteArray saved;
    ASSERT_TRUE(pipeline.save(&saved, &error)) << error.toStdString();
    EXPECT_EQ(saved, shipped);
    EXPECT_FALSE(pipeline.load(shipped, &error));  // a pipeline loads once
    EXPECT_EQ(pipeline.createPass(QStringLiteral("nosuchpass")), nullptr);
}

// The pictures of three frames, with a vignette that is on, then off, then on again.
QVector<QImage> renderThreeFrames(bool memoryPlan, int inFlight) {
    QString error;
    Pipeline pipeline(curveFrom(ToneCurve::encode({0.0f, 0.5f, 1.0f}, 4.0f), &error));
    EXPECT_TRUE(pipeline.load(shippedPipeline(), &error)) << error.toStdString();
    pipeline.setSize(96, 54);
    pipeline.setMemoryPlan(memoryPlan);
    Orv::Renderer& renderer = pipeline.renderer();
    renderer.setMaxPassesInFlight(inFlight);
    QVector<QImage> pictures;
    for (int frame = 0; frame < 3; ++frame) {
        pipeline.setFrame(frame, frame / 30.0);
        pipeline.setEnabled(pipeline.vignetteNode(), frame != 1);
        EXPECT_TRUE(renderer.render(nullptr));
        pictures << pipeline.image();
    }
    if (memoryPlan) {
        const Orv::MemoryPlan plan = renderer.memoryPlan();
        EXPECT_TRUE(plan.error.isEmpty()) << plan.error.toStdString();
        EXPECT_GT(plan.totalSize, plan.heapSize);  // some images share bytes
        EXPECT_GE(plan.heapSize, plan.lowerBound);
        EXPECT_GE(renderer.memoryOffset(pipeline.findNode(QStringLiteral("scene")), 0), 0);
        // A resize is placed anew at the next frame.
        pipeline.setSize(192, 108);
        EXPECT_TRUE(renderer.render(nullptr));
        EXPECT_EQ(renderer.memoryPlan().totalSize, 4 * plan.totalSize);
    }
    return pictures;
}

// The intermediate images placed by the memory plan: the picture stays the same, pixel for
// pixel, one pass at a time and with passes in flight, while the images share memory.
TEST(PipelineTest, ThePictureIsPixelIdenticalWithAndWithoutTheMemoryPlan) {
    const QVector<QImage> plain = renderThreeFrames(false, 1);
    ASSERT_EQ(plain.size(), 3);
    for (const QImage& picture : plain) ASSERT_FALSE(picture.isNull());
    for (int inFlight : {1, 4}) {
        const QVector<QImage> planned = renderThreeFrames(true, inFlight);
        ASSERT_EQ(planned.size(), plain.size());
        for (int frame = 0; frame < plain.size(); ++frame)
            EXPECT_TRUE(planned[frame] == plain[frame]) << "frame " << frame << ", " << inFlight;
    }
}

}  // namespace
