#include "options.h"

#include <QCommandLineParser>
#include <QRegularExpression>

namespace OrvDemo {

namespace {

constexpr int kMaxFrames = 100000;
constexpr int kMinSide = 16;
constexpr int kMaxSide = 4096;
constexpr int kMaxInFlight = 64;
constexpr int kMaxPresentMs = 1000;

bool parseCount(const QString& text, int min, int max, int* value) {
    bool ok = false;
    const int parsed = text.toInt(&ok);
    if (!ok || parsed < min || parsed > max) return false;
    *value = parsed;
    return true;
}

}  // namespace

QString usageText() {
    return QStringLiteral(
        "Usage: orv-demo [options]\n"
        "Renders an animated scene through a graph of render passes and writes the last\n"
        "frame, a few earlier ones, the graph (plain and coloured by what each pass did in\n"
        "the last frame), a timeline (trace.json) and a page with all of it (report.html).\n"
        "\n"
        "Options:\n"
        "  --frames N      frames to render (default 48)\n"
        "  --size WxH      image size in pixels, 16 to 4096 a side (default 640x360)\n"
        "  --out DIR       output folder, made if missing (default out)\n"
        "  --disable PASS  switch a pass off for the whole run; repeatable. A group name\n"
        "                  (bloom) switches off every pass inside it\n"
        "  --fail-at N     make the scene pass report an error on frame N (from 0)\n"
        "  --in-flight N   passes in flight at once, 1 to 64 (default 4); 1 runs one pass\n"
        "                  at a time\n"
        "  --present-ms N  milliseconds the simulated display takes to show the previous\n"
        "                  frame, 0 to 1000 (default 8)\n"
        "  --poll          sleep 100 us between polls of unfinished passes instead of\n"
        "                  waiting for the worker threads to signal that work is done\n"
        "  --pipeline FILE load the render graph from FILE instead of Resources/pipeline.json\n"
        "  --save-pipeline FILE\n"
        "                  write the render graph as loaded (and --disable'd) to FILE\n"
        "  -h, --help      show this text\n"
        "\n"
        "Exit status: 0 when every frame rendered, 1 when a frame failed or an output\n"
        "could not be written, 2 for a bad command line.\n");
}

bool parseOptions(const QStringList& arguments, Options* options, QString* error) {
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption frames(QStringLiteral("frames"), QString(), QStringLiteral("N"));
    const QCommandLineOption size(QStringLiteral("size"), QString(), QStringLiteral("WxH"));
    const QCommandLineOption out(QStringLiteral("out"), QString(), QStringLiteral("DIR"));
    const QCommandLineOption disable(QStringLiteral("disable"), QString(), QStringLiteral("PASS"));
    const QCommandLineOption failAt(QStringLiteral("fail-at"), QString(), QStringLiteral("N"));
    const QCommandLineOption inFlight(QStringLiteral("in-flight"), QString(), QStringLiteral("N"));
    const QCommandLineOption presentMs(QStringLiteral("present-ms"), QString(),
                                       QStringLiteral("N"));
    const QCommandLineOption pipeline(QStringLiteral("pipeline"), QString(),
                                      QStringLiteral("FILE"));
    const QCommandLineOption savePipeline(QStringLiteral("save-pipeline"), QString(),
                                          QStringLiteral("FILE"));
    const QCommandLineOption poll(QStringLiteral("poll"), QString());
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QString());
    parser.addOptions({frames, size, out, disable, failAt, inFlight, presentMs, poll, pipeline,
                       savePipeline, help});

    if (!parser.parse(arguments)) {
        *error = parser.errorText();
        return false;
    }
    if (!parser.positionalArguments().isEmpty()) {
        *error = QStringLiteral("Unexpected argument '%1'.").arg(parser.positionalArguments()[0]);
        return false;
    }
    if (parser.isSet(help)) {
        options->help = true;
        return true;
    }
    if (parser.isSet(frames) &&
        !parseCount(parser.value(frames), 1, kMaxFrames, &options->frames)) {
        *error = QStringLiteral("--frames wants a whole number from 1 to %1, not '%2'.")
                     .arg(kMaxFrames)
                     .arg(parser.value(frames));
        return false;
    }
    if (parser.isSet(size)) {
        const QRegularExpression pattern(QStringLiteral("^(\\d+)[xX](\\d+)$"));
        const QRegularExpressionMatch match = pattern.match(parser.value(size));
        int width = 0;
        int height = 0;
        if (!match.hasMatch() || !parseCount(match.captured(1), kMinSide, kMaxSide, &width) ||
            !parseCount(match.captured(2), kMinSide, kMaxSide, &height)) {
            *error = QStringLiteral("--size wants WIDTHxHEIGHT, each from %1 to %2, not '%3'.")
                         .arg(kMinSide)
                         .arg(kMaxSide)
                         .arg(parser.value(size));
            return false;
        }
        options->size = QSize(width, height);
    }
    if (parser.isSet(out)) {
        options->outDir = parser.value(out);
        if (options->outDir.isEmpty()) {
            *error = QStringLiteral("--out wants a folder name.");
            return false;
        }
    }
    options->disabled = parser.values(disable);
    options->poll = parser.isSet(poll);
    options->pipeline = parser.value(pipeline);
    options->savePipeline = parser.value(savePipeline);
    if ((parser.isSet(pipeline) && options->pipeline.isEmpty()) ||
        (parser.isSet(savePipeline) && options->savePipeline.isEmpty())) {
        *error = QStringLiteral("--pipeline and --save-pipeline want a file name.");
        return false;
    }
    if (parser.isSet(failAt) &&
        !parseCount(parser.value(failAt), 0, options->frames - 1, &options->failAt)) {
        *error = QStringLiteral("--fail-at wants a frame from 0 to %1, not '%2'.")
                     .arg(options->frames - 1)
                     .arg(parser.value(failAt));
        return false;
    }
    if (parser.isSet(inFlight) &&
        !parseCount(parser.value(inFlight), 1, kMaxInFlight, &options->inFlight)) {
        *error = QStringLiteral("--in-flight wants a whole number from 1 to %1, not '%2'.")
                     .arg(kMaxInFlight)
                     .arg(parser.value(inFlight));
        return false;
    }
    if (parser.isSet(presentMs) &&
        !parseCount(parser.value(presentMs), 0, kMaxPresentMs, &options->presentMs)) {
        *error = QStringLiteral("--present-ms wants a whole number from 0 to %1, not '%2'.")
                     .arg(kMaxPresentMs)
                     .arg(parser.value(presentMs));
        return false;
    }
    return true;
}

}  // namespace OrvDemo
