// What running orv-demo cannot show: the threaded work equals its single-threaded reference,
// images travel as shared handles, malformed tone curve files are refused, every pass input of
// the pipeline is wired (a misnamed one would silently stay on its default), and the memory plan
// leaves the picture as it was.
#include "accumulate.h"
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

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
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

// A pass that hands the renderer the image it was given, standing in for the scene.
class ImageSource : public Orv::RenderPassHelper {
public:
    explicit ImageSource(const FloatImage& image) {
        addOutput(QStringLiteral("bright"));
        setImage(image);
    }
    void setImage(const FloatImage& image) { _outputs[0].value = QVariant::fromValue(image); }
};

// An image of 4x3 pixels unless told otherwise, each grey `value(x, y)`.
template <typename F>
FloatImage greys(F value, int width = 4, int height = 3) {
    FloatImage image(width, height);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const float v = value(x, y);
            image.line(y)[x] = {v, v, v};
        }
    return image;
}

// The kernel is shared by both blurs, so it is checked on its own: symmetric, and normalised with
// clamped edges, so that a flat image narrower than the kernel stays flat.
TEST(BlurPassTest, WorkerThreadsMatchTheSerialBlurInsideARenderer) {
    const QVector<float> weights = gaussianWeights(5);
    ASSERT_EQ(weights.size(), 11);
    EXPECT_FLOAT_EQ(weights[0], weights[10]);
    const FloatImage flat = greys([](int, int) { return 1.0f; }, 9, 7);
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
    expectSameImage(renderScene(48, 27, 1.25, jitteredView(1.0, 3), &pool),
                    renderScene(48, 27, 1.25, jitteredView(1.0, 3)));
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
    // The accumulation's history is marked in code, for a description has no history inputs.
    const int accumulate = pipeline.findNode(QStringLiteral("accumulate"));
    EXPECT_TRUE(renderer.isHistoryInput(accumulate, 1));
    for (const Pipeline::Node& node : pipeline.nodes()) {
        for (int i = 0; renderer.renderPass(node.ref) && i < graph->numInputs(node.ref); ++i) {
            if (renderer.isHistoryInput(node.ref, i)) continue;
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
        // The accumulation reads the frame before in both: its kept image is not overwritten.
        EXPECT_EQ(renderer.historyValid(pipeline.findNode(QStringLiteral("accumulate")), 1),
                  frame > 0);
        pictures << pipeline.image();
    }
    if (memoryPlan) {
        const Orv::MemoryPlan plan = renderer.memoryPlan();
        EXPECT_TRUE(plan.error.isEmpty()) << plan.error.toStdString();
        EXPECT_GT(plan.totalSize, plan.heapSize);  // some images share bytes
        EXPECT_GE(renderer.memoryOffset(pipeline.findNode(QStringLiteral("scene")), 0), 0);
        // A resize is placed anew at the next frame.
        pipeline.setSize(192, 108);
        EXPECT_TRUE(renderer.render(nullptr));
        EXPECT_EQ(renderer.memoryPlan().totalSize, 4 * plan.totalSize);
    }
    return pictures;
}

// How far an image is from another: the root mean square of the channels' differences.
double rmsDifference(const FloatImage& a, const FloatImage& b) {
    double sum = 0.0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const Rgb p = a.constLine(y)[x], q = b.constLine(y)[x];
            sum += double(p.r - q.r) * (p.r - q.r) + double(p.g - q.g) * (p.g - q.g) +
                   double(p.b - q.b) * (p.b - q.b);
        }
    }
    return std::sqrt(sum / (3.0 * a.width() * a.height()));
}

// The mean of images of one size.
FloatImage average(const QVector<FloatImage>& images) {
    FloatImage mean(images[0].width(), images[0].height());
    for (const FloatImage& image : images)
        for (int y = 0; y < mean.height(); ++y)
            for (int x = 0; x < mean.width(); ++x)
                mean.line(y)[x] = mean.line(y)[x] + image.constLine(y)[x] * (1.0f / images.size());
    return mean;
}

// What the accumulation keeps: the average of the frames since its history started over, up to
// `frames` of them and then blended in at 1/frames, as long as each pixel's history lies within
// the range of this frame's values around it (a jittered edge); a history outside it (what moved
// away) is held to that range.
TEST(AccumulationTest, AveragesWithinEachPixelsNeighbourhoodAndHoldsWhatMovedAway) {
    Orv::Renderer renderer;
    const int root = Orv::Graph::kRootNodeRef;
    auto* source = new ImageSource(FloatImage());
    auto* pass = new AccumulatePass;
    const int input = renderer.addPass(QStringLiteral("source"), source, root);
    const int accumulate = renderer.addPass(QStringLiteral("accumulate"), pass, root);
    Orv::Graph* graph = renderer.getGraph();
    ASSERT_NE(graph->addEdge(input, 0, accumulate, 0), -1);
    ASSERT_NE(graph->addUpEdge(renderer.addOutput(QStringLiteral("color")), accumulate, 0), -1);
    ASSERT_TRUE(renderer.setHistoryInput(accumulate, 1, accumulate, 0));
    pass->setHistorySource(&renderer, accumulate);

    const auto checker = [](bool odd) {
        return greys([odd](int x, int y) { return float((x + y + odd) % 2); });
    };
    // Each frame's value at the pixels where the checker is white, and where it is black.
    const auto expectFrame = [&](const FloatImage& image, float white, float black, int frames) {
        source->setImage(image);
        ASSERT_TRUE(renderer.render(nullptr));
        const FloatImage out = renderer.output(0).value<FloatImage>();
        ASSERT_EQ(out.width(), 4);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 4; ++x)
                ASSERT_NEAR(out.constLine(y)[x].g, (x + y) % 2 ? white : black, 1e-6)
                    << "pixel " << x << "," << y << " after " << frames << " frames";
        EXPECT_EQ(pass->framesAveraged(), frames);
    };
    expectFrame(checker(false), 1.0f, 0.0f, 1);
    expectFrame(checker(true), 0.5f, 0.5f, 2);
    expectFrame(checker(false), 2.0f / 3, 1.0f / 3, 3);
    expectFrame(checker(true), 0.5f, 0.5f, 4);
    expectFrame(checker(false), 0.625f, 0.375f, 4);  // from here on 1/4 of the new frame
    // Everything moved: the history lies outside every pixel's range and is held to it.
    expectFrame(greys([](int, int) { return 5.0f; }), 5.0f, 5.0f, 4);
    renderer.resetHistory();
    expectFrame(checker(true), 0.0f, 1.0f, 1);
}

// The accumulation of the demo's still camera is nearer a finely sampled picture than any of the
// jittered frames it has seen. Where its history is not real (the first frame, a camera cut, a
// resize) its output is the frame as traced, pixel for pixel.
TEST(AccumulationTest, AStillCameraConvergesAndWhereHistoryIsNotRealTheFrameIsAsTraced) {
    QString error;
    Pipeline pipeline(curveFrom(ToneCurve::encode({0.0f, 1.0f}, 1.0f), &error));
    ASSERT_TRUE(pipeline.load(shippedPipeline(), &error)) << error.toStdString();
    pipeline.setSize(64, 36);
    Orv::Renderer& renderer = pipeline.renderer();
    const int scene = pipeline.findNode(QStringLiteral("scene"));
    const int accumulate = pipeline.findNode(QStringLiteral("accumulate"));
    const auto imageOf = [&renderer](int node) {
        return renderer.renderPass(node)->output(0).value<FloatImage>();
    };
    constexpr double kTime = 0.75;
    int frame = 0;
    QVector<FloatImage> traced;
    const auto render = [&] {
        pipeline.setFrame(frame, kTime);
        EXPECT_TRUE(renderer.render(nullptr));
        traced << imageOf(scene);
        ++frame;
        return renderer.historyValid(accumulate, 1);
    };
    const auto expectPlainFrame = [&] {
        SCOPED_TRACE(frame);
        expectSameImage(imageOf(accumulate), traced.last());
    };

    EXPECT_FALSE(render());
    expectPlainFrame();
    for (int k = 1; k < 4; ++k) EXPECT_TRUE(render());
    // Each frame samples its pixels elsewhere: the scene's input from the host reaches it.
    EXPECT_EQ(rmsDifference(traced[3], renderScene(64, 36, kTime, jitteredView(0.6, 3))), 0.0);
    EXPECT_GT(rmsDifference(traced[0], traced[1]), 0.001);
    // Nearer the picture sampled 16 times a pixel than the best of the frames it averaged (0.44
    // of its distance when written).
    const FloatImage accumulated = imageOf(accumulate);
    QVector<FloatImage> fine;
    for (int k = 0; k < 16; ++k) fine << renderScene(64, 36, kTime, jitteredView(0.6, k));
    const FloatImage reference = average(fine);
    double best = rmsDifference(traced[0], reference);
    for (const FloatImage& one : traced) best = std::min(best, rmsDifference(one, reference));
    EXPECT_LT(rmsDifference(accumulated, reference), 0.6 * best);

    // A cut: the host moves the camera, and the renderer's history is reset.
    pipeline.setCamera(2.5);
    EXPECT_FALSE(render());
    expectPlainFrame();
    EXPECT_GT(rmsDifference(traced.last(), accumulated), 0.01) << "another view";
    EXPECT_TRUE(render());
    pipeline.setCamera(2.5);  // the same view: no cut
    EXPECT_TRUE(render());
    pipeline.setSize(32, 18);
    EXPECT_FALSE(render());
    expectPlainFrame();
    EXPECT_TRUE(render());
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
