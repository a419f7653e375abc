// orv-demo: renders an animated scene on the CPU through an OrvCore Renderer and writes the
// pictures, the graph and the timings. Run with --help for the options.
#include "options.h"
#include "pipeline.h"
#include "report.h"
#include "tonemap.h"

#include <Orv/OrvCore.h>
#include <Orv/Paths.h>

#include <QCoreApplication>
#include <QDir>
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
const QStringList kRequiredPasses = {QStringLiteral("scene"), QStringLiteral("composite"),
                                     QStringLiteral("tonemap")};

int fail(const QString& message, int status) {
    std::fprintf(stderr, "orv-demo: %s\n", message.toLocal8Bit().constData());
    return status;
}

QByteArray local(const QString& text) {
    return text.toLocal8Bit();
}

// The vignette goes off on frames 8-15, 32-39, ... so that the composite's fallback to its
// default shows in the pictures and in the pass's run count.
bool vignetteWanted(int frame) {
    return (frame / 8) % 3 != 1;
}

// Frames written along the way besides the last: the first, then every quarter of the run.
bool isSnapshot(int frame, int frames) {
    return frames >= 4 && frame % (frames / 4) == 0;
}

bool writeText(const QString& path, const QStringList& lines) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    const QByteArray text = local(lines.join(QLatin1Char('\n')) + QLatin1Char('\n'));
    return file.write(text) == text.size();
}

// Lays the graph out with Graphviz when it is installed; true when the SVG was written. The
// dump names the root, which stands for the renderer's outputs, with the empty string; the
// picture labels it.
bool renderSvg(QStringList dotLines, const QString& svgPath) {
    const QString dot = QStandardPaths::findExecutable(QStringLiteral("dot"));
    if (dot.isEmpty() || dotLines.isEmpty()) return false;
    dotLines.insert(dotLines.size() - 1, QStringLiteral("  \"\" [label=\"outputs\", shape=box];"));
    QProcess process;
    process.start(dot, {QStringLiteral("-Tsvg"), QStringLiteral("-o"), svgPath});
    process.write(local(dotLines.join(QLatin1Char('\n')) + QLatin1Char('\n')));
    process.closeWriteChannel();
    return process.waitForFinished(20000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
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

    Pipeline pipeline(curve);
    pipeline.setSize(options.size.width(), options.size.height());
    pipeline.setFailAt(options.failAt);
    QVector<int> disabled;
    for (const QString& name : options.disabled) {
        const int node = pipeline.findNode(name);
        if (node < 0) {
            QStringList known;
            for (const Pipeline::Node& n : pipeline.nodes()) known << n.path;
            return fail(QStringLiteral("--disable: no pass named '%1' (there are: %2).")
                            .arg(name, known.join(QStringLiteral(", "))),
                        2);
        }
        if (kRequiredPasses.contains(pipeline.renderer().getGraph()->nodeName(node)))
            return fail(
                QStringLiteral("--disable: the picture cannot be made without '%1'.").arg(name), 2);
        pipeline.setEnabled(node, false);
        disabled << node;
    }

    const QString outDir = QDir::cleanPath(options.outDir);
    if (!QDir().mkpath(outDir)) return fail(QStringLiteral("cannot make folder %1").arg(outDir), 1);
    auto outPath = [&outDir](const QString& name) { return outDir + QLatin1Char('/') + name; };

    std::printf("orv-demo: %d frames of %dx%d through %d passes, blur on %d worker threads\n",
                options.frames, options.size.width(), options.size.height(),
                int(pipeline.nodes().size()) - 1, qMax(QThread::idealThreadCount(), 2));
    std::fflush(stdout);

    Orv::Renderer& renderer = pipeline.renderer();
    Orv::RenderCallbacks callbacks;
    Orv::HistogramFrameTimes frameTimes;
    ProgressLine progress(options.frames, isatty(fileno(stdout)) != 0);
    int failedFrames = 0;
    bool written = true;

    renderer.setup(&callbacks);
    for (int frame = 0; frame < options.frames; ++frame) {
        pipeline.setFrame(frame, frame / kFramesPerSecond);
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

        if (isSnapshot(frame, options.frames) && frame != options.frames - 1)
            written &= pipeline.image().save(
                outPath(QStringLiteral("frame-%1.png").arg(frame, 3, 10, QLatin1Char('0'))));
        progress.update(frame + 1);
    }
    renderer.teardown(&callbacks);
    progress.clear();
    const double seconds = progress.elapsedSeconds();

    const QImage last = pipeline.image();
    written &= !last.isNull() && last.save(outPath(QStringLiteral("frame.png")));

    QStringList dotLines;
    {
        MessageCapture capture;
        Orv::dumpAsGraphviz(renderer.getGraph());
        dotLines = capture.lines();
    }
    const bool dotWritten = writeText(outPath(QStringLiteral("graph.dot")), dotLines);
    written &= dotWritten;
    const bool svgWritten = renderSvg(dotLines, outPath(QStringLiteral("graph.svg")));

    std::printf(
        "Rendered %d frames in %.2f s (%.1f fps)%s\n", options.frames, seconds,
        options.frames / qMax(seconds, 1e-9),
        failedFrames ? local(QStringLiteral(", %1 failed").arg(failedFrames)).constData() : "");
    std::printf(
        "Wrote %s (last frame), earlier frames as frame-NNN.png, %s%s\n\n",
        local(outPath(QStringLiteral("frame.png"))).constData(),
        local(outPath(QStringLiteral("graph.dot"))).constData(),
        svgWritten
            ? local(QStringLiteral(" and ") + outPath(QStringLiteral("graph.svg"))).constData()
            : " (install Graphviz's dot for graph.svg)");
    printPassTimes(pipeline);
    std::printf("\nFrame-time histogram (whole frames, 500 us buckets; < marks the peak):\n");
    std::fflush(stdout);
    frameTimes.dump();
    std::fflush(stdout);
    std::printf("\n");
    printLuminance(pipeline);

    if (!written) return fail(QStringLiteral("could not write every file to %1").arg(outDir), 1);
    return failedFrames ? 1 : 0;
}
