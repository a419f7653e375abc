// orv-vulkan: the demo's pipeline on Vulkan compute, headless. Each pass records a command
// buffer that begins with the barriers the renderer's synchronisation plan gives its step, and
// the host submits the frame's command buffers at once with one fence, two frames on the device
// at a time. The transient images share one VkDeviceMemory per frame, laid out by the
// renderer's memory plan. A temporal pass accumulates the scene across frames through a history
// input, its two copies placed by the plan; the camera cuts now and then, which resets the
// history. A CPU pass (statistics over an earlier frame) is in flight beside the GPU passes. Then
// the same frames with a submission and a fence per pass, for comparison. Writes the last frame as
// a PNG.
#include "gpu.h"
#include "pipeline.h"

#include <Orv/Renderer.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>

namespace Orv = Vantrel::Orv;
using namespace OrvVulkan;

namespace {

// The camera moves on by a frame each frame, and every kShot frames cuts kCut frames ahead.
constexpr int kShot = 6;
constexpr int kCut = 48;

struct Options {
    int frames = 8;
    int width = 640;
    int height = 360;
    int inFlight = 4;
    QString outDir = QStringLiteral("out");
    QString device;
    bool validation = false;
    bool poll = false;
    bool memoryPlan = true;
    bool perPass = false;
};

const char* const kUsage =
    "Usage: orv-vulkan [options]\n"
    "Renders the demo's pipeline with Vulkan compute shaders and writes the last frame as\n"
    "DIR/vulkan-frame.png.\n"
    "\n"
    "  --frames N      frames to render, 1 to 1000 (default 8)\n"
    "  --size WxH      image size, 16 to 4096 a side (default 640x360)\n"
    "  --out DIR       output folder, made if missing (default out)\n"
    "  --device NAME   the first device whose name contains NAME (default: the first with\n"
    "                  a compute queue)\n"
    "  --validation    with the Khronos validation layer; any message fails the run\n"
    "  --in-flight N   passes in flight at once, 1 to 64 (default 4)\n"
    "  --poll          sleep 100 us between polls instead of waiting in vkWaitForFences\n"
    "  --no-memory-plan  each transient image in memory of its own instead of one heap\n"
    "  --submit-per-pass  each pass submits alone with a fence after a blanket barrier (the\n"
    "                  frames rendered; the comparison runs both ways)\n"
    "\n"
    "Exit status: 0 when every frame rendered, 1 when a frame failed or the picture could\n"
    "not be written, 2 for a bad command line, 3 for validation messages, 4 when Vulkan, a\n"
    "device or the validation layer is missing.\n";

bool parseCount(const QString& text, int low, int high, int* value) {
    bool ok = false;
    const int v = text.toInt(&ok);
    if (!ok || v < low || v > high) return false;
    *value = v;
    return true;
}

bool parse(const QStringList& arguments, Options* options, QString* error) {
    QCommandLineParser parser;
    const QCommandLineOption frames(QStringLiteral("frames"), QString(), QStringLiteral("N"));
    const QCommandLineOption size(QStringLiteral("size"), QString(), QStringLiteral("WxH"));
    const QCommandLineOption out(QStringLiteral("out"), QString(), QStringLiteral("DIR"));
    const QCommandLineOption device(QStringLiteral("device"), QString(), QStringLiteral("NAME"));
    const QCommandLineOption validation(QStringLiteral("validation"), QString());
    const QCommandLineOption inFlight(QStringLiteral("in-flight"), QString(), QStringLiteral("N"));
    const QCommandLineOption poll(QStringLiteral("poll"), QString());
    const QCommandLineOption noMemoryPlan(QStringLiteral("no-memory-plan"), QString());
    const QCommandLineOption perPass(QStringLiteral("submit-per-pass"), QString());
    parser.addOptions(
        {frames, size, out, device, validation, inFlight, poll, noMemoryPlan, perPass});
    if (!parser.parse(arguments)) {
        *error = parser.errorText();
        return false;
    }
    if (!parser.positionalArguments().isEmpty()) {
        *error = QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments()[0]);
        return false;
    }
    if (parser.isSet(frames) && !parseCount(parser.value(frames), 1, 1000, &options->frames)) {
        *error = QStringLiteral("--frames wants 1 to 1000, not '%1'").arg(parser.value(frames));
        return false;
    }
    if (parser.isSet(size)) {
        const QStringList sides = parser.value(size).split(QLatin1Char('x'));
        if (sides.size() != 2 || !parseCount(sides[0], 16, 4096, &options->width) ||
            !parseCount(sides[1], 16, 4096, &options->height)) {
            *error = QStringLiteral("--size wants WxH, each 16 to 4096, not '%1'")
                         .arg(parser.value(size));
            return false;
        }
    }
    if (parser.isSet(inFlight) && !parseCount(parser.value(inFlight), 1, 64, &options->inFlight)) {
        *error = QStringLiteral("--in-flight wants 1 to 64, not '%1'").arg(parser.value(inFlight));
        return false;
    }
    if (parser.isSet(out)) options->outDir = parser.value(out);
    if (options->outDir.isEmpty()) {
        *error = QStringLiteral("--out wants a folder");
        return false;
    }
    options->device = parser.value(device);
    options->validation = parser.isSet(validation);
    options->poll = parser.isSet(poll);
    options->memoryPlan = !parser.isSet(noMemoryPlan);
    options->perPass = parser.isSet(perPass);
    return true;
}

void printMemory(const Orv::Renderer& renderer) {
    if (!renderer.memoryPlanning()) {
        std::printf("Transient images: each in memory of its own (--no-memory-plan)\n");
        return;
    }
    const Orv::MemoryPlan plan = renderer.memoryPlan();
    if (!plan.error.isEmpty()) {
        std::printf("Transient images: no memory plan: %s\n", qPrintable(plan.error));
        return;
    }
    std::printf(
        "Transient images: %.1f MB one each, %.1f MB in one heap (lower bound %.1f MB), "
        "%.0f %% saved\n",
        double(plan.totalSize) / 1e6, double(plan.heapSize) / 1e6, double(plan.lowerBound) / 1e6,
        plan.totalSize > 0 ? 100.0 * double(plan.totalSize - plan.heapSize) / plan.totalSize : 0.0);
}

// What one way of submitting cost the frames measured, summed, and each frame's time.
struct Measured {
    FrameCounts counts;
    std::vector<double> frameMs;

    double perFrame(int count) const { return double(count) / std::max(counts.frames, 1); }
};

// Renders `frames` frames one way, after two to warm up, and adds them to `measured`.
bool measure(Pipeline& pipeline, bool perPass, int frames, Measured* measured, QString* error) {
    pipeline.setSubmitPerPass(perPass);
    QImage previous;
    for (int frame = 0; frame < 2 + frames; ++frame) {
        if (frame == 2) pipeline.resetCounts();
        QElapsedTimer timer;
        timer.start();
        if (!pipeline.render(frame, previous, error)) return false;
        previous = pipeline.image();
        if (frame >= 2) measured->frameMs.push_back(timer.nsecsElapsed() / 1e6);
    }
    pipeline.finish();
    const FrameCounts& counts = pipeline.counts();
    FrameCounts& sum = measured->counts;
    sum.frames += counts.frames;
    sum.passes += counts.passes;
    sum.submits += counts.submits;
    sum.waits += counts.waits;
    sum.barrierBatches += counts.barrierBatches;
    sum.imageBarriers += counts.imageBarriers;
    sum.gaps.insert(sum.gaps.end(), counts.gaps.begin(), counts.gaps.end());
    return true;
}

int run(const Options& options) {
    Gpu gpu;
    QString error;
    if (!gpu.open(options.device, options.validation, &error)) {
        std::fprintf(stderr, "orv-vulkan: %s\n", qPrintable(error));
        return 4;
    }
    std::printf("orv-vulkan: %d frames of %dx%d on %s, %d in flight, %s%s\n", options.frames,
                options.width, options.height, qPrintable(gpu.deviceName()), options.inFlight,
                options.poll ? "polling every 100 us" : "waiting in vkWaitForFences",
                options.validation ? ", validation on" : "");
    std::fflush(stdout);

    int status = 0;
    {
        Pipeline pipeline(&gpu);
        Orv::Renderer& renderer = pipeline.renderer;
        pipeline.setSize(options.width, options.height);
        pipeline.setMemoryPlan(options.memoryPlan);
        pipeline.setSubmitPerPass(options.perPass);
        renderer.setMaxPassesInFlight(options.inFlight);
        if (!options.poll)
            renderer.setWaitFunction([&gpu](const QVector<Orv::RenderPass*>& inFlight) {
                waitForPasses(gpu, inFlight);
            });
        renderer.setup(nullptr);

        QElapsedTimer timer;
        timer.start();
        QImage previous;
        double lumaOfPrevious = 0.0;
        QStringList resets;
        for (int frame = 0; frame < options.frames && status == 0; ++frame) {
            if (!pipeline.render(frame + kCut * (frame / kShot), previous, &error)) {
                std::fprintf(stderr, "orv-vulkan: frame %d: %s\n", frame, qPrintable(error));
                status = 1;
            }
            if (pipeline.historyReset()) resets << QString::number(frame);
            lumaOfPrevious = renderer.output(1).toDouble();
            previous = pipeline.image();
        }
        previous = pipeline.finish();
        const double seconds = timer.nsecsElapsed() / 1e9;
        if (status == 0) {
            std::printf("Rendered %d frames in %.2f s (%.1f fps)\n", options.frames, seconds,
                        options.frames / seconds);
            const QString path = QDir(options.outDir).filePath(QStringLiteral("vulkan-frame.png"));
            if (!QDir().mkpath(options.outDir) || !previous.save(path)) {
                std::fprintf(stderr, "orv-vulkan: cannot write %s\n", qPrintable(path));
                status = 1;
            } else {
                std::printf("Wrote %s\n", qPrintable(path));
            }
            std::printf("Mean luma of an earlier frame (stats pass, on the CPU): %.2f\n",
                        lumaOfPrevious);
            std::printf(
                "Accumulation: history reset on frames %s (the first, and a camera cut "
                "every %d frames)\n",
                qPrintable(resets.join(QStringLiteral(", "))), kShot);
            printMemory(renderer);
        }

        // The last frame again, alternately one pass at a time and with the passes in flight,
        // so that the stats pass either waits its turn or overlaps the GPU passes.
        if (status == 0 && options.inFlight > 1) {
            constexpr int kTimes = 4;
            double total[2] = {0.0, 0.0};
            for (int k = 0; k < 2 * kTimes && status == 0; ++k) {
                renderer.setMaxPassesInFlight(k % 2 ? options.inFlight : 1);
                QElapsedTimer frameTimer;
                frameTimer.start();
                const int last = options.frames - 1;
                if (!pipeline.render(last + kCut * (last / kShot), previous, &error)) status = 1;
                total[k % 2] += frameTimer.nsecsElapsed() / 1e6 / kTimes;
            }
            std::printf(
                "Passes in flight (the last frame %d more times each way, alternating): 1 in "
                "flight %.1f ms, %d in flight %.1f ms (%.2fx)\n",
                kTimes, total[0], options.inFlight, total[1], total[0] / std::max(total[1], 1e-9));
        }
        // The frame recorded and submitted once, beside a submission and a fence per pass, in
        // alternate rounds so that both see the same machine.
        Measured batched;
        Measured perPass;
        const int measuredFrames = std::max(options.frames, 4);
        for (int round = 0; round < 3 && status == 0; ++round) {
            if (!measure(pipeline, false, measuredFrames, &batched, &error) ||
                !measure(pipeline, true, measuredFrames, &perPass, &error)) {
                std::fprintf(stderr, "orv-vulkan: %s\n", qPrintable(error));
                status = 1;
            }
        }
        pipeline.setSubmitPerPass(options.perPass);
        if (status == 0) {
            const FrameCounts& b = batched.counts;
            const FrameCounts& p = perPass.counts;
            std::printf(
                "GPU frame: %g passes, %g submit, %g wait, %g barrier batches (%g image "
                "barriers); median gap between passes %.0f us, frame %.1f ms (per-pass submits: "
                "%g submits, %g waits, %g blanket barriers (%g image barriers); median gap "
                "%.0f us, frame %.1f ms)\n",
                batched.perFrame(b.passes), batched.perFrame(b.submits), batched.perFrame(b.waits),
                batched.perFrame(b.barrierBatches), batched.perFrame(b.imageBarriers),
                median(b.gaps), median(batched.frameMs), perPass.perFrame(p.submits),
                perPass.perFrame(p.waits), perPass.perFrame(p.barrierBatches),
                perPass.perFrame(p.imageBarriers), median(p.gaps), median(perPass.frameMs));
        }
        renderer.teardown(nullptr);
    }
    if (options.validation) {
        std::printf("Validation messages: %d\n", gpu.validationMessages());
        if (gpu.validationMessages() > 0 && status == 0) status = 3;
    }
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    Options options;
    QString error;
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.contains(QStringLiteral("--help")) || arguments.contains(QStringLiteral("-h"))) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (!parse(arguments, &options, &error)) {
        std::fprintf(stderr, "orv-vulkan: %s\n%s", qPrintable(error), kUsage);
        return 2;
    }
    return run(options);
}
