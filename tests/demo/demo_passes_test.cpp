// The demo's passes and helpers: image handles, blur kernels, the threaded blur inside a
// renderer, compositing fallbacks, statistics, the tone curve file, the command line and the
// wiring of the whole pipeline.
#include "bloom.h"
#include "composite.h"
#include "image.h"
#include "options.h"
#include "pipeline.h"
#include "scene.h"
#include "stats.h"
#include "tonemap.h"
#include "workerpool.h"

#include <Orv/Graph.h>
#include <Orv/Memory.h>
#include <Orv/Renderer.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>

using namespace OrvDemo;
namespace Orv = Vantrel::Orv;

namespace {

FloatImage impulseImage(int width, int height, int x, int y, Rgb value) {
    FloatImage image(width, height);
    image.line(y)[x] = value;
    return image;
}

Rgb total(const FloatImage& image) {
    Rgb sum;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) sum = sum + image.constLine(y)[x];
    return sum;
}

FloatImage serialBlur(const FloatImage& source, int radius) {
    const QVector<float> weights = gaussianWeights(radius);
    FloatImage between(source.width(), source.height());
    FloatImage result(source.width(), source.height());
    blurRowsHorizontally(source, between, weights, 0, source.height());
    blurRowsVertically(between, result, weights, 0, source.height());
    return result;
}

ToneCurve curveFrom(const QByteArray& bytes, QString* error) {
    auto* data = new unsigned char[bytes.size() > 0 ? bytes.size() : 1];
    std::memcpy(data, bytes.constData(), size_t(bytes.size()));
    Orv::RawMemory memory(data, quint64(bytes.size()));
    return ToneCurve::read(memory, error);
}

TEST(FloatImageTest, TravelsThroughQVariantWithoutCopyingPixels) {
    FloatImage image(4, 3);
    image.line(2)[3] = {1.0f, 2.0f, 3.0f};
    const QVariant value = QVariant::fromValue(image);
    const QVariant copy = value;
    const FloatImage back = copy.value<FloatImage>();
    EXPECT_TRUE(back.isSharedWith(image));
    EXPECT_EQ(back.constLine(2)[3].b, 3.0f);

    EXPECT_TRUE(FloatImage(0, 5).isNull());
    EXPECT_TRUE(QVariant().value<FloatImage>().isNull());
    EXPECT_EQ(FloatImage().sample(1.0f, 1.0f).r, 0.0f);
}

TEST(FloatImageTest, SamplesBilinearlyAndClampsAtTheEdges) {
    FloatImage image(2, 1);
    image.line(0)[0] = {0.0f, 0.0f, 0.0f};
    image.line(0)[1] = {4.0f, 4.0f, 4.0f};
    EXPECT_FLOAT_EQ(image.sample(1.0f, 0.5f).r, 2.0f);
    EXPECT_FLOAT_EQ(image.sample(-10.0f, 0.5f).r, 0.0f);
    EXPECT_FLOAT_EQ(image.sample(10.0f, 9.0f).r, 4.0f);
}

TEST(BlurKernelTest, KeepsFlatImagesFlatAndEnergyInPlace) {
    const QVector<float> weights = gaussianWeights(5);
    ASSERT_EQ(weights.size(), 11);
    float sum = 0.0f;
    for (float w : weights) sum += w;
    EXPECT_NEAR(sum, 1.0f, 1e-5f);
    EXPECT_FLOAT_EQ(weights[0], weights[10]);
    EXPECT_EQ(gaussianWeights(0), QVector<float>{1.0f});
    EXPECT_EQ(gaussianWeights(-3), QVector<float>{1.0f});

    FloatImage flat(9, 7);
    for (int y = 0; y < flat.height(); ++y)
        for (int x = 0; x < flat.width(); ++x) flat.line(y)[x] = {0.5f, 1.0f, 2.0f};
    const FloatImage blurredFlat = serialBlur(flat, 5);  // radius wider than the image
    for (int y = 0; y < flat.height(); ++y)
        for (int x = 0; x < flat.width(); ++x)
            ASSERT_NEAR(blurredFlat.constLine(y)[x].g, 1.0f, 1e-5f);

    // Far from the edges nothing is clamped away, so the impulse's energy stays whole and
    // spreads symmetrically.
    const FloatImage blurred = serialBlur(impulseImage(21, 21, 10, 10, {1.0f, 1.0f, 1.0f}), 4);
    EXPECT_NEAR(total(blurred).r, 1.0f, 1e-5f);
    EXPECT_FLOAT_EQ(blurred.constLine(10)[7].r, blurred.constLine(10)[13].r);
    EXPECT_FLOAT_EQ(blurred.constLine(7)[10].r, blurred.constLine(10)[7].r);
    EXPECT_GT(blurred.constLine(10)[10].r, blurred.constLine(10)[12].r);
}

TEST(BrightPassTest, KeepsOnlyWhatShinesAboveTheThresholdAtHalfSize) {
    FloatImage image(8, 6);
    image.line(1)[1] = {0.2f, 0.2f, 0.2f};
    image.line(4)[6] = {12.0f, 12.0f, 12.0f};
    const FloatImage bright = extractBright(image, 1.0f);
    ASSERT_EQ(bright.width(), 4);
    ASSERT_EQ(bright.height(), 3);
    EXPECT_EQ(bright.constLine(0)[0].r, 0.0f);  // dim: dropped
    EXPECT_GT(bright.constLine(2)[3].r, 0.0f);  // a quarter of 12, still above 1
    EXPECT_LT(bright.constLine(2)[3].r, 3.0f);  // but without the threshold's share
    EXPECT_EQ(extractBright(FloatImage(), 1.0f).isNull(), true);
}

// A pass that hands the renderer a fixed image, standing in for the scene.
class ImageSource : public Orv::RenderPassHelper {
public:
    explicit ImageSource(const FloatImage& image) {
        addOutput(QStringLiteral("bright"));
        _outputs[0].value = QVariant::fromValue(image);
    }
};

TEST(BlurPassTest, WorkerThreadsMatchTheSerialBlurInsideARenderer) {
    FloatImage source(37, 23);
    for (int y = 0; y < source.height(); ++y)
        for (int x = 0; x < source.width(); ++x)
            source.line(y)[x] = {float((x * 7 + y * 3) % 11), float(x % 5), float(y % 4)};

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

    const FloatImage expected = serialBlur(source, 3);
    renderer.setup(nullptr);
    for (int frame = 0; frame < 3; ++frame) {
        ASSERT_TRUE(renderer.render(nullptr));
        const FloatImage result = renderer.output(0).value<FloatImage>();
        ASSERT_EQ(result.width(), source.width());
        ASSERT_EQ(result.height(), source.height());
        for (int y = 0; y < result.height(); ++y)
            for (int x = 0; x < result.width(); ++x)
                ASSERT_FLOAT_EQ(result.constLine(y)[x].r, expected.constLine(y)[x].r)
                    << "frame " << frame << " at " << x << "," << y;
    }
    renderer.teardown(nullptr);
    EXPECT_EQ(renderer.getNumPasses(), 2);
}

TEST(WorkerPoolTest, RunsEveryTaskIncludingThosePostedByTasksBeforeItIsGone) {
    std::atomic<int> runs{0};
    {
        WorkerPool pool(3);
        EXPECT_EQ(pool.size(), 3);
        for (int i = 0; i < 20; ++i)
            pool.post([&pool, &runs] {
                runs.fetch_add(1);
                pool.post([&runs] { runs.fetch_add(1); });
            });
    }
    EXPECT_EQ(runs.load(), 40);
    EXPECT_EQ(WorkerPool(0).size(), 1);

    WorkerPool pool(2);
    QVector<int> hits(7);
    pool.runAndWait(hits.size(), [&hits](int i) { ++hits[i]; });  // each index has its own slot
    EXPECT_EQ(hits, QVector<int>(7, 1));
}

TEST(SceneTest, StripesOnWorkersGiveTheSerialPictureAndItMoves) {
    WorkerPool pool(3);
    const FloatImage serial = renderScene(48, 27, 1.25);
    const FloatImage pooled = renderScene(48, 27, 1.25, &pool);
    const FloatImage later = renderScene(48, 27, 2.0, &pool);
    ASSERT_EQ(pooled.width(), 48);
    ASSERT_EQ(pooled.height(), 27);
    int moved = 0;
    for (int y = 0; y < 27; ++y) {
        for (int x = 0; x < 48; ++x) {
            ASSERT_EQ(serial.constLine(y)[x].g, pooled.constLine(y)[x].g) << x << "," << y;
            moved += serial.constLine(y)[x].g != later.constLine(y)[x].g;
        }
    }
    EXPECT_GT(moved, 48 * 27 / 10) << "the animation barely changes the picture";
    EXPECT_TRUE(renderScene(0, 10, 0.0, &pool).isNull());
}

FloatImage filled(int width, int height, Rgb value) {
    FloatImage image(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) image.line(y)[x] = value;
    return image;
}

TEST(CompositePassTest, LeavesOutTheBloomAndTheVignetteWhenTheyAreMissing) {
    CompositePass composite;
    const FloatImage color = filled(6, 4, {0.5f, 0.25f, 1.0f});
    composite.setInput(0, QVariant::fromValue(color));
    for (int i = 1; i < composite.numInputs(); ++i)
        composite.setInput(i, composite.defaultValue(i));
    composite.start(nullptr);
    FloatImage result = composite.output(0).value<FloatImage>();
    ASSERT_EQ(result.width(), 6);
    EXPECT_FALSE(result.isSharedWith(color)) << "the input belongs to the scene pass";
    EXPECT_FLOAT_EQ(result.constLine(3)[5].b, 1.0f);

    // Half-size bloom is stretched over the picture; a mask of another size is ignored.
    composite.setInput(1, QVariant::fromValue(filled(3, 2, {1.0f, 1.0f, 1.0f})));
    composite.setInput(2, 0.5);
    composite.setInput(3, QVariant::fromValue(filled(5, 4, {0.0f, 0.0f, 0.0f})));
    composite.start(nullptr);
    result = composite.output(0).value<FloatImage>();
    EXPECT_FLOAT_EQ(result.constLine(0)[0].r, 1.0f);
    EXPECT_FLOAT_EQ(result.constLine(3)[5].g, 0.75f);

    composite.setInput(3, QVariant::fromValue(filled(6, 4, {0.5f, 0.5f, 0.5f})));
    composite.start(nullptr);
    EXPECT_FLOAT_EQ(composite.output(0).value<FloatImage>().constLine(2)[2].r, 0.5f);

    composite.setInput(0, QVariant::fromValue(FloatImage()));
    composite.start(nullptr);
    EXPECT_TRUE(composite.output(0).value<FloatImage>().isNull());
}

TEST(LuminanceStatsPassTest, CountsEveryPixelIntoItsBin) {
    LuminanceStatsPass stats;
    QImage image(4, 2, QImage::Format_RGB32);
    image.fill(Qt::black);
    image.setPixel(0, 0, qRgb(255, 255, 255));
    image.setPixel(1, 0, qRgb(255, 255, 255));
    stats.setInput(0, image);
    stats.start(nullptr);
    EXPECT_EQ(stats.histogram().first(), 6);
    EXPECT_EQ(stats.histogram().last(), 2);
    EXPECT_NEAR(stats.meanLuminance(), 0.25, 0.01);
    EXPECT_EQ(stats.framesMeasured(), 1);

    stats.setInput(0, QVariant());  // nothing to measure: empty figures, no frame counted
    stats.start(nullptr);
    EXPECT_EQ(stats.histogram().first(), 0);
    EXPECT_EQ(stats.framesMeasured(), 1);
}

TEST(OptionsTest, ReadsEveryOptionAndChecksItsRange) {
    auto parse = [](QStringList arguments, Options* options) {
        QString error;
        arguments.prepend(QStringLiteral("orv-demo"));
        const bool ok = parseOptions(arguments, options, &error);
        EXPECT_EQ(ok, error.isEmpty()) << error.toStdString();
        return ok;
    };
    Options defaults;
    ASSERT_TRUE(parse({}, &defaults));
    EXPECT_EQ(defaults.frames, 48);
    EXPECT_EQ(defaults.size, QSize(640, 360));
    EXPECT_EQ(defaults.outDir, QStringLiteral("out"));
    EXPECT_EQ(defaults.failAt, -1);

    Options options;
    ASSERT_TRUE(parse({"--frames", "5", "--size", "320X200", "--out", "x/y", "--disable", "blur",
                       "--disable", "vignette", "--fail-at", "4"},
                      &options));
    EXPECT_EQ(options.frames, 5);
    EXPECT_EQ(options.size, QSize(320, 200));
    EXPECT_EQ(options.outDir, QStringLiteral("x/y"));
    EXPECT_EQ(options.disabled, (QStringList{"blur", "vignette"}));
    EXPECT_EQ(options.failAt, 4);

    Options unused;
    EXPECT_FALSE(parse({"--frames", "5", "--fail-at", "5"}, &unused));  // frames count from 0
    EXPECT_FALSE(parse({"--size", "16x4097"}, &unused));
    EXPECT_TRUE(parse({"--size", "16x4096"}, &unused));
    EXPECT_FALSE(parse({"--size", "-20x30"}, &unused));
    EXPECT_FALSE(parse({"--out", ""}, &unused));
}

TEST(ToneCurveTest, ReadsWhatItEncodesAndMapsMonotonically) {
    const QVector<float> samples = {0.0f, 0.5f, 0.75f, 1.0f};
    QString error;
    const ToneCurve curve = curveFrom(ToneCurve::encode(samples, 9.0f), &error);
    ASSERT_FALSE(curve.isNull()) << error.toStdString();
    EXPECT_EQ(curve.maxInput(), 9.0f);
    EXPECT_FLOAT_EQ(curve.map(0.0f), 0.0f);
    EXPECT_FLOAT_EQ(curve.map(1.0f), 0.5f);  // sample 1 sits at 9 * (1/3)^2
    EXPECT_FLOAT_EQ(curve.map(9.0f), 1.0f);
    EXPECT_FLOAT_EQ(curve.map(100.0f), 1.0f);  // clamped above
    EXPECT_FLOAT_EQ(curve.map(-1.0f), 0.0f);   // and below
    float previous = 0.0f;
    for (float x = 0.0f; x < 10.0f; x += 0.01f) {
        ASSERT_GE(curve.map(x), previous) << x;
        previous = curve.map(x);
    }
    EXPECT_EQ(ToneCurve().map(1.0f), 0.0f);
}

TEST(ToneCurveTest, RefusesMalformedFilesWithAReason) {
    const QByteArray good = ToneCurve::encode({0.0f, 1.0f}, 4.0f);
    QByteArray badMagic = good;
    badMagic[0] = 'X';
    QByteArray badCount = good;
    badCount[8] = 1;  // one sample cannot make a curve
    QByteArray badRange = ToneCurve::encode({0.0f, 1.0f}, -1.0f);
    const QByteArray notNumbers =
        ToneCurve::encode({0.0f, std::numeric_limits<float>::quiet_NaN()}, 4.0f);

    for (const QByteArray& bytes : {good.left(10), good.left(good.size() - 1), good + "x", badMagic,
                                    badCount, badRange, notNumbers, QByteArray()}) {
        QString error;
        EXPECT_TRUE(curveFrom(bytes, &error).isNull()) << bytes.toHex().toStdString();
        EXPECT_FALSE(error.isEmpty());
    }
}

TEST(PipelineTest, FeedsEveryPassInputFromAParameterOrAnotherPass) {
    const ToneCurve curve = [] {
        QString error;
        return curveFrom(ToneCurve::encode({0.0f, 1.0f}, 1.0f), &error);
    }();
    Pipeline pipeline(curve);
    const Orv::Renderer& renderer = pipeline.renderer();
    const Orv::Graph* graph = pipeline.renderer().getGraph();

    // A name that matches nothing would leave an input on its default without a word.
    for (const Pipeline::Node& node : pipeline.nodes()) {
        if (!renderer.renderPass(node.ref)) continue;
        for (int i = 0; i < graph->numInputs(node.ref); ++i) {
            int n = node.ref;
            int port = i;
            const bool fed = graph->walkToSourceNode(n, port) || n == Orv::Graph::kRootNodeRef;
            EXPECT_TRUE(fed) << node.path.toStdString() << " input "
                             << graph->inputName(node.ref, i).toStdString();
        }
    }
    int n = Orv::Graph::kRootNodeRef;
    int port = renderer.findOutput(QStringLiteral("image"));
    ASSERT_TRUE(graph->walkDown(n, port));
    EXPECT_EQ(n, pipeline.findNode(QStringLiteral("tonemap")));

    EXPECT_EQ(pipeline.findNode(QStringLiteral("blur")),
              pipeline.findNode(QStringLiteral("bloom/blur")));
    EXPECT_EQ(pipeline.findNode(QStringLiteral("nothing")), -1);
    EXPECT_EQ(renderer.target(), pipeline.findNode(QStringLiteral("stats")));
}

}  // namespace
