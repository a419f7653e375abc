// orv-demo: renders an animated scene on the CPU through an OrvCore Renderer and writes the
// pictures, the graph, the timings, a trace and a report page. Run with --help for the options.
#include "options.h"
#include "pipeline.h"
#include "report.h"
#include "tonemap.h"
#include "workerpool.h"

#include <Orv/OrvCore.h>
#include <Orv/Paths.h>
#include <Orv/RenderPassHelper.h>
#include <Orv/Report.h>
#include <Orv/Validator.h>

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>

#include <unistd.h>
#include <cstdio>

using namespace OrvDemo;
namespace Orv = Vantrel::Orv;

namespace {

constexpr double kFramesPerSecond = 24.0;
// Passes the picture cannot do without; switching them off would leave nothing to write.
const QStringList kRequiredPasses = {QStringLiteral("scene"), QStringLiteral("accumulate"),
                                     QStringLiteral("composite"), QStringLiteral("tonemap")};

int fail(const QString& message, int status) {
    std::fprintf(stderr, "orv-demo: %s\n", message.toLocal8Bit().constData());
    return status;
}

QByteArray local(const QString& text) {
    return text.toLocal8Bit();
}

// The vignette goes off on frames 16-23, 40-47, ... so that the composite's fallback to its
// default shows in the pictures, in the pass's run count and, in a run of the default 48
// frames, in the last frame's report.
bool vignetteWanted(int frame) {
    return (frame / 8) % 3 != 2;
}

// The camera holds still for a shot of 12 frames, then cuts to another view: within a shot
// the accumulation smooths the edges over the frames, and after a cut it starts over.
double cameraAngle(int frame) {
    return 0.6 + 1.3 * (frame / 12);
}

// Frames written along the way besides the last: the first, then every quarter of the run.
bool isSnapshot(int frame, int frames) {
    return frames >= 4 && frame % (frames / 4) == 0;
}

// The output folder: keeps the names of the files written and of those that could not be.
class OutputFolder {
public:
    explicit OutputFolder(const QString& path) : _path(QDir::cleanPath(path)) {}

    bool make() const { return QDir().mkpath(_path); }
    QString path() const { return _path; }
    QString filePath(const QString& name) const { return _path + QLatin1Char('/') + name; }

    void savePicture(const QImage& image, const QString& name) {
        record(name, image.save(filePath(name)));
    }
    void saveText(const QStringList& lines, const QString& name) {
        saveBytes(local(lines.join(QLatin1Char('\n')) + QLatin1Char('\n')), name);
    }
    void saveBytes(const QByteArray& bytes, const QString& name) {
        QFile file(filePath(name));
        record(name, file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
                         file.write(bytes) == bytes.size());
    }
    void record(const QString& name, bool written) {
        (written ? _written : _failed) << filePath(name);
    }

    const QStringList& written() const { return _written; }
    const QStringList& failed() const { return _failed; }

private:
    QString _path;
    QStringList _written;
    QStringList _failed;
};

// Lays DOT text out with Graphviz when it is installed; true when the SVG was written.
bool renderSvg(const QByteArray& dotText, const QString& svgPath) {
    const QString dot = QStandardPaths::findExecutable(QStringLiteral("dot"));
    if (dot.isEmpty() || dotText.isEmpty()) return false;
    QProcess process;
    process.start(dot, {QStringLiteral("-Tsvg"), QStringLiteral("-o"), svgPath});
    process.write(dotText);
    process.closeWriteChannel();
    return process.waitForFinished(20000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

// The top-level dump names the root, which stands for the renderer's outputs, with the empty
// string; the picture labels it.
QByteArray labelledDump(QStringList dotLines) {
    if (dotLines.isEmpty()) return QByteArray();
    dotLines.insert(dotLines.size() - 1, QStringLiteral("  \"\" [label=\"outputs\", shape=box];"));
    return local(dotLines.join(QLatin1Char('\n')) + QLatin1Char('\n'));
}

// Every pass of the latest frame that failed or did not run, in the renderer's words.
QStringList whyNotRun(const Pipeline& pipeline) {
    QStringList lines;
    const Orv::Renderer& renderer = pipeline.renderer();
    for (const Pipeline::Node& node : pipeline.nodes()) {
        const Orv::NodeOutcome outcome = renderer.outcome(node.ref);
        if (outcome != Orv::NodeOutcome::Ran && outcome != Orv::NodeOutcome::NoPass)
            lines << renderer.explain(node.ref);
    }
    return lines;
}

QByteArray pngOf(const QImage& image) {
    QByteArray png;
    QBuffer buffer(&png);
    if (image.isNull() || !buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG"))
        return QByteArray();
    return png;
}

QStringList failedPasses(const Pipeline& pipeline) {
    QStringList names;
    for (const Pipeline::Node& node : pipeline.nodes()) {
        const Orv::RenderPass* pass = pipeline.renderer().renderPass(node.ref);
        if (pass && pass->errorCode() != 0)
            names << QStringLiteral("%1 (error %2)").arg(node.path).arg(pass->errorCode());
    }
    return names;
}

// Switches off the named passes (and groups) for the whole run; false with the reason for a
// name that is unknown or whose pass the picture needs.
bool disablePasses(Pipeline& pipeline, const QStringList& names, QVector<int>* disabled,
                   QString* error) {
    for (const QString& name : names) {
        const int node = pipeline.findNode(name);
        if (node < 0) {
            QStringList known;
            for (const Pipeline::Node& n : pipeline.nodes()) known << n.path;
            *error = QStringLiteral("no pass named '%1' (there are: %2).")
                         .arg(name, known.join(QStringLiteral(", ")));
            return false;
        }
        if (kRequiredPasses.contains(pipeline.renderer().getGraph()->nodeName(node))) {
            *error = QStringLiteral("the picture cannot be made without '%1'.").arg(name);
            return false;
        }
        pipeline.setEnabled(node, false);
        disabled->append(node);
    }
    return true;
}

// Writes what the latest frame did, for the eye: the whole graph coloured by outcome (DOT, and
// SVG when Graphviz is there), the renderer's trace and the library's report page, for which
// `report` already holds the run's title, summary and picture. True when the SVG was written.
bool writeLastFrame(const Pipeline& pipeline, Orv::ReportContents* report, OutputFolder* out) {
    const Orv::Renderer& renderer = pipeline.renderer();
    const QByteArray frameDot = Orv::frameAsDot(renderer);
    out->saveBytes(frameDot, QStringLiteral("frame-graph.dot"));
    const QString svgPath = out->filePath(QStringLiteral("frame-graph.svg"));
    const bool svg = renderSvg(frameDot, svgPath);
    if (svg) {
        QFile file(svgPath);
        out->record(QStringLiteral("frame-graph.svg"), file.open(QIODevice::ReadOnly));
        report->graphSvg = file.readAll();
    }
    out->saveBytes(renderer.traceJson(), QStringLiteral("trace.json"));
    out->saveBytes(Orv::reportHtml(renderer, *report), QStringLiteral("report.html"));
    return svg;
}

// Renders the last frame again, alternately with one pass in flight and with `inFlight`, and
// says what each took; empty when there is nothing to compare. Run after the figures above
// are printed, so that its frames do not count in them.
QString compareInFlight(Pipeline& pipeline, int inFlight, int presentMs) {
    if (inFlight <= 1) return QString();
    constexpr int kTimes = 6;
    Orv::Renderer& renderer = pipeline.renderer();
    Orv::RenderCallbacks callbacks;
    double total[2] = {0.0, 0.0};
    for (int k = 0; k < 2 * kTimes; ++k) {
        const int which = k % 2;
        renderer.setMaxPassesInFlight(which ? inFlight : 1);
        pipeline.setPrevious(pipeline.image(), presentMs);
        QElapsedTimer timer;
        timer.start();
        renderer.render(&callbacks);
        total[which] += timer.nsecsElapsed() / 1e6;
    }
    renderer.setMaxPassesInFlight(inFlight);
    const double one = total[0] / kTimes;
    const double many = total[1] / kTimes;
    return QStringLiteral(
               "Passes in flight (the last frame %1 more times each way, alternating): "
               "1 in flight %2 ms, %3 in flight %4 ms (%5x)")
        .arg(kTimes)
        .arg(one, 0, 'f', 1)
        .arg(inFlight)
        .arg(many, 0, 'f', 1)
        .arg(one / qMax(many, 1e-9), 0, 'f', 2);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    installMessageRouting();

    Options options;
    QString error;
    if (!parseOptions(QCoreApplication::arguments(), &options, &error))
        return fail(error + QStringLiteral("\nTry 'orv-demo --help'."), 2);
    if (options.help) {
        std::fputs(local(usageText()).constData(), stdout);
        return 0;
    }

    // The tone curve ships in Resources/ next to the executable.
    const QString curvePath = Orv::resourcesPath() + QStringLiteral("/filmic.curve");
    Orv::MemoryMappedFile curveFile(curvePath);
    if (curveFile.size() == 0) return fail(QStringLiteral("cannot read %1").arg(curvePath), 1);
    const ToneCurve curve = ToneCurve::read(curveFile, &error);
    if (curve.isNull()) return fail(QStringLiteral("%1: %2").arg(curvePath, error), 1);

    // The render graph is data: Resources/pipeline.json unless another description is named.
    const QString pipelinePath = options.pipeline.isEmpty()
                                     ? Orv::resourcesPath() + QStringLiteral("/pipeline.json")
                                     : options.pipeline;
    QFile pipelineFile(pipelinePath);
    if (!pipelineFile.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("cannot read %1").arg(pipelinePath), 1);
    Pipeline pipeline(curve);
    if (!pipeline.load(pipelineFile.readAll(), &error))
        return fail(QStringLiteral("%1: %2").arg(pipelinePath, error), 1);
    pipeline.setSize(options.size.width(), options.size.height());
    pipeline.setMemoryPlan(true);
    pipeline.setFailAt(options.failAt);
    QVector<int> disabled;
    if (!disablePasses(pipeline, options.disabled, &disabled, &error))
        return fail(QStringLiteral("--disable: ") + error, 2);

    if (!options.savePipeline.isEmpty()) {
        QByteArray description;
        QFile saved(options.savePipeline);
        if (!pipeline.save(&description, &error))
            return fail(QStringLiteral("cannot describe the pipeline: %1").arg(error), 1);
        if (!saved.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            saved.write(description) != description.size())
            return fail(QStringLiteral("cannot write %1").arg(options.savePipeline), 1);
    }

    OutputFolder out(options.outDir);
    if (!out.make()) return fail(QStringLiteral("cannot make folder %1").arg(out.path()), 1);

    std::printf("orv-demo: %d frames of %dx%d through %d passes, %d worker threads\n",
                options.frames, options.size.width(), options.size.height(),
                int(pipeline.nodes().size()) - 1, qMax(QThread::idealThreadCount(), 2));
    // What the library finds questionable about the graph, before any frame runs.
    for (const Orv::Finding& finding : Orv::validate(pipeline.renderer()))
        std::printf("  %s\n", local(finding.toString()).constData());
    std::fflush(stdout);

    Orv::Renderer& renderer = pipeline.renderer();
    Orv::RenderCallbacks callbacks;
    Orv::HistogramFrameTimes frameTimes;
    ProgressLine progress(options.frames, isatty(fileno(stdout)) != 0);
    int failedFrames = 0;

    renderer.setMaxPassesInFlight(options.inFlight);
    // Every pass of the demo that finishes off this thread signals WorkDone.
    if (!options.poll)
        renderer.setWaitFunction(
            [](const QVector<Orv::RenderPass*>&) { WorkDone::shared().wait(); });
    renderer.setTimingEnabled(true);
    // The report's frame-time histogram covers the frames the renderer keeps: all of them.
    renderer.setTimingHistory(options.frames);
    renderer.setup(&callbacks);
    for (int frame = 0; frame < options.frames; ++frame) {
        pipeline.setFrame(frame, frame / kFramesPerSecond);
        pipeline.setCamera(cameraAngle(frame));
        pipeline.setPrevious(pipeline.image(), options.presentMs);
        if (!disabled.contains(pipeline.vignetteNode()))
            pipeline.setEnabled(pipeline.vignetteNode(), vignetteWanted(frame));

        if (!renderer.render(&callbacks)) {
            ++failedFrames;
            progress.clear();
            std::fprintf(
                stderr, "orv-demo: frame %d failed: %s; the picture keeps the last good one\n",
                frame, local(failedPasses(pipeline).join(QStringLiteral(", "))).constData());
        }
        frameTimes.addFrameTimeUS(unsigned(renderer.frameTimer().latest() * 1000.0));

        const QImage image = pipeline.image();
        if (isSnapshot(frame, options.frames) && frame != options.frames - 1 && !image.isNull())
            out.savePicture(image,
                            QStringLiteral("frame-%1.png").arg(frame, 3, 10, QLatin1Char('0')));
        progress.update(frame + 1);
    }
    progress.clear();
    const double seconds = progress.elapsedSeconds();

    // Only a run whose every frame failed has nothing to show, and it exits with 1 anyway.
    const QImage last = pipeline.image();
    if (last.isNull())
        std::fprintf(stderr, "orv-demo: no frame was rendered, so there is no picture\n");
    else
        out.savePicture(last, QStringLiteral("frame.png"));

    QStringList dotLines;
    {
        MessageCapture capture;
        Orv::dumpAsGraphviz(renderer.getGraph());
        dotLines = capture.lines();
    }
    out.saveText(dotLines, QStringLiteral("graph.dot"));
    bool svg = renderSvg(labelledDump(dotLines), out.filePath(QStringLiteral("graph.svg")));
    if (svg) out.record(QStringLiteral("graph.svg"), true);

    const QString rendered =
        QStringLiteral("Rendered %1 frame%2 in %3 s (%4 fps)%5")
            .arg(options.frames)
            .arg(options.frames == 1 ? "" : "s")
            .arg(seconds, 0, 'f', 2)
            .arg(options.frames / qMax(seconds, 1e-9), 0, 'f', 1)
            .arg(failedFrames ? QStringLiteral(", %1 failed").arg(failedFrames) : QString());
    // Taken before compareInFlight renders more frames.
    Orv::ReportContents report;
    report.title = QStringLiteral("orv-demo report");
    report.summary = QStringLiteral("%1x%2 pixels through %3 passes, up to %4 in flight. %5")
                         .arg(options.size.width())
                         .arg(options.size.height())
                         .arg(pipeline.nodes().size() - 1)
                         .arg(options.inFlight)
                         .arg(rendered);
    report.picture = pngOf(last);
    const bool frameSvg = writeLastFrame(pipeline, &report, &out);
    const QStringList notRun = whyNotRun(pipeline);

    std::printf("%s\n", local(rendered).constData());
    const Orv::MemoryPlan memory = renderer.memoryPlan();
    std::printf(
        "intermediates: %.1f MB held for the whole frame, %.1f MB with the memory plan "
        "(lower bound %.1f MB)\n",
        double(memory.totalSize) / 1e6, double(memory.heapSize) / 1e6,
        double(memory.lowerBound) / 1e6);
    std::printf("Wrote %s%s\n\n", local(out.written().join(QStringLiteral(", "))).constData(),
                svg && frameSvg ? "" : " (install Graphviz for the SVG pictures)");
    if (!notRun.isEmpty()) {
        std::printf("Passes that failed or did not run in the last frame, and why:\n");
        for (const QString& line : notRun) std::printf("  %s\n", local(line).constData());
        std::printf("\n");
    }
    printPassTimes(pipeline);
    std::printf("\nFrame-time histogram (whole frames, 500 us buckets; < marks the peak):\n");
    std::fflush(stdout);
    frameTimes.dump();
    std::fflush(stdout);
    std::printf("\n");
    printLuminance(pipeline);
    const QString overlap = compareInFlight(pipeline, options.inFlight, options.presentMs);
    if (!overlap.isEmpty()) std::printf("\n%s\n", local(overlap).constData());
    renderer.teardown(&callbacks);

    if (!out.failed().isEmpty())
        return fail(
            QStringLiteral("could not write %1").arg(out.failed().join(QStringLiteral(", "))), 1);
    return failedFrames ? 1 : 0;
}
