// Runs orv-demo as a user would, with small frames, and checks what it leaves behind.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace {

class DemoSmokeTest : public ::testing::Test {
protected:
    // Runs the demo with 96x54 frames into the temporary folder, unless `arguments` say
    // otherwise; false when it did not exit by itself.
    bool run(const QString& arguments) {
        QProcess process;
        process.start(QStringLiteral(ORV_DEMO_EXECUTABLE),
                      QStringList{"--size", "96x54", "--out", _dir.path()} +
                          arguments.split(' ', Qt::SkipEmptyParts));
        if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit)
            return false;
        exitCode = process.exitCode();
        out = QString::fromLocal8Bit(process.readAllStandardOutput());
        err = QString::fromLocal8Bit(process.readAllStandardError());
        return true;
    }
    QString path(const QString& name) const { return _dir.filePath(name); }
    // A file of the run's folder, empty when it cannot be read; `bytes` written in its place.
    QByteArray contents(const QString& name) const {
        QFile file(path(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    bool write(const QString& name, const QByteArray& bytes) const {
        QFile file(path(name));
        return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
               file.write(bytes) == bytes.size();
    }
    // The run count of `pass` in the timing table.
    int runsOf(const QString& pass) const {
        const QRegularExpression row("^  " + QRegularExpression::escape(pass) + "\\s+(\\d+)\\s",
                                     QRegularExpression::MultilineOption);
        const QRegularExpressionMatch match = row.match(out);
        return match.hasMatch() ? match.captured(1).toInt() : -1;
    }
    // A picture worth looking at has many colours and a real spread of brightness.
    static void expectNotBlank(const QImage& image) {
        ASSERT_EQ(image.size(), QSize(96, 54));
        QSet<QRgb> colours;
        double sum = 0.0, sumSquares = 0.0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                colours.insert(image.pixel(x, y));
                const double luma = qGray(image.pixel(x, y)) / 255.0;
                sum += luma, sumSquares += luma * luma;
            }
        }
        const double n = 96.0 * 54.0, mean = sum / n;
        EXPECT_GT(colours.size(), 200);
        EXPECT_TRUE(mean > 0.1 && mean < 0.9) << mean;
        EXPECT_GT(sumSquares / n - mean * mean, 0.005) << "the picture is nearly flat";
    }

    QTemporaryDir _dir;
    int exitCode = -1;
    QString out, err;
};

TEST_F(DemoSmokeTest, WritesThePictureTheGraphAndTheTimings) {
    ASSERT_TRUE(_dir.isValid() && run("--frames 8"));
    ASSERT_EQ(exitCode, 0) << err.toStdString();
    EXPECT_TRUE(err.isEmpty()) << err.toStdString();
    expectNotBlank(QImage(path("frame.png")));
    // Frames 0, 2, 4 and 6 along the way; the last one is frame.png itself.
    for (const char* name : {"frame-000.png", "frame-002.png", "frame-004.png", "frame-006.png"})
        EXPECT_EQ(QImage(path(name)).size(), QSize(96, 54)) << name;
    EXPECT_FALSE(QFile::exists(path("frame-007.png")));

    const QString dot = QString::fromUtf8(contents("graph.dot"));
    for (const char* pass : {"scene", "vignette", "bloom", "composite", "tonemap", "stats"})
        EXPECT_TRUE(dot.contains(QString("  \"%1\";\n").arg(pass))) << pass;
    EXPECT_TRUE(dot.contains("\"bloom\" -> \"composite\";"));
    EXPECT_FALSE(dot.contains("\"blur\"")) << "nested passes are not top-level";
    const bool haveDot = !QStandardPaths::findExecutable("dot").isEmpty();
    EXPECT_EQ(QFile::exists(path("graph.svg")), haveDot);

    // Every pass ran every frame, except the vignette, which is off on frames 8-15 only.
    for (const char* pass : {"scene", "accumulate", "vignette", "bloom/bright", "bloom/blur",
                             "composite", "tonemap", "stats", "present", "whole frame"})
        EXPECT_EQ(runsOf(pass), 8) << pass;
    EXPECT_TRUE(out.contains("TIME DUMP      8 frames"));
    EXPECT_TRUE(out.contains("Luma of the last frame"));
    // By default four passes may be in flight, and the demo compares that with one.
    const QRegularExpression compared(": 1 in flight [0-9.]+ ms, 4 in flight [0-9.]+ ms \\(");
    EXPECT_TRUE(compared.match(out).hasMatch()) << out.toStdString();
    ASSERT_TRUE(run("--frames 2 --in-flight 1"));
    EXPECT_EQ(exitCode, 0);
    EXPECT_FALSE(out.contains("in flight")) << "nothing to compare with one pass at a time";

    // Sleeping between polls instead of waiting for the workers' signal renders the same
    // pictures (a pass that never signalled would have hung the runs above).
    const QImage waited(path("frame.png"));
    ASSERT_TRUE(run("--frames 2 --in-flight 1 --poll"));
    EXPECT_EQ(exitCode, 0);
    EXPECT_EQ(QImage(path("frame.png")), waited);
}

// The trace holds the run's frames (not the comparison's that follow), and with passes in flight
// more than one track of passes. (How the trace lays frames and passes out, the renderer's own
// test checks.)
TEST_F(DemoSmokeTest, WritesATraceAColouredGraphAndASelfContainedReport) {
    for (const char* inFlight : {"4", "1"}) {
        SCOPED_TRACE(inFlight);
        ASSERT_TRUE(_dir.isValid() && run(QString("--frames 20 --in-flight ") + inFlight));
        ASSERT_EQ(exitCode, 0) << err.toStdString();
        QSet<int> tracks;
        int frames = 0;
        for (const QJsonValue& event :
             QJsonDocument::fromJson(contents("trace.json"))["traceEvents"].toArray()) {
            if (event["ph"] != "X") continue;
            tracks << event["tid"].toInt();
            frames += event["tid"].toInt() == 0;
        }
        EXPECT_EQ(frames, 20);
        if (QString(inFlight) == "4")
            EXPECT_GE(tracks.size(), 3) << "the present pass overlaps the scene";
        else
            EXPECT_EQ(tracks.size(), 2) << "one pass at a time needs one track";
    }

    // Frame 19 has the vignette off, so the composite took its default, in words and in colour.
    EXPECT_TRUE(
        out.contains("Passes that failed or did not run in the last frame, and why:\n  'vignette' "
                     "is needed but switched off"))
        << out.toStdString();
    const QByteArray dot = contents("frame-graph.dot");
    EXPECT_TRUE(dot.contains("tooltip=\"vignette: switched off\"") &&
                dot.contains("tooltip=\"composite: ran"))
        << "disabled and ran";
    EXPECT_EQ(QFile::exists(path("frame-graph.svg")),
              !QStandardPaths::findExecutable("dot").isEmpty());

    // The picture travels inside the page.
    const QString report = QString::fromUtf8(contents("report.html"));
    const QRegularExpression dataUri("src=\"data:image/png;base64,([A-Za-z0-9+/=]+)\"");
    const QRegularExpressionMatch picture = dataUri.match(report);
    ASSERT_TRUE(picture.hasMatch());
    const QImage embedded =
        QImage::fromData(QByteArray::fromBase64(picture.captured(1).toLatin1()));
    EXPECT_EQ(embedded.convertToFormat(QImage::Format_RGB32),
              QImage(path("frame.png")).convertToFormat(QImage::Format_RGB32));
    for (const char* pass : {"scene", "vignette", "bloom/blur", "composite", "present"})
        EXPECT_TRUE(report.contains(QString(">%1<").arg(pass))) << pass;
    EXPECT_GE(report.count("<svg"), 3) << "timeline, graph and histogram";
    // The accumulation started over on the first frame and at the camera's cut after 12; the
    // page counts frames from 1.
    const QRegularExpression reset(
        "<li data-frame=\"(\\d+)\"><span class=\"mark\">reset</span>"
        "<b>[^<]*</b> <code data-input=\"accumulate.history\">");
    QStringList resets;
    for (auto match = reset.globalMatch(report); match.hasNext();)
        resets << match.next().captured(1);
    EXPECT_EQ(resets, QStringList({"1", "13"})) << report.toStdString();
    // Hover texts name nodes by path, never by the DOT ids Graphviz titles its shapes with.
    if (QFile::exists(path("frame-graph.svg"))) {
        EXPECT_TRUE(report.contains("xlink:title=\"bloom/blur: ran")) << "a tooltip";
        EXPECT_FALSE(report.contains("cluster_n") || report.contains("n0_in"));
    }
}

// The failing scene still ran (and was timed); what depends on it skipped that frame. A disabled
// bloom never runs, and the composite goes on without it.
TEST_F(DemoSmokeTest, ReportsAFailedFrameAndGoesOnWithoutDisabledPasses) {
    ASSERT_TRUE(_dir.isValid() && run("--frames 4 --fail-at 2 --disable bloom"));
    EXPECT_EQ(exitCode, 1);
    EXPECT_TRUE(err.contains("frame 2 failed: scene (error 1)")) << err.toStdString();
    EXPECT_EQ(err.count("failed"), 1) << err.toStdString();
    EXPECT_TRUE(out.contains("Rendered 4 frames") && out.contains("1 failed"));
    EXPECT_EQ(runsOf("scene"), 4);
    EXPECT_EQ(runsOf("composite"), 3);
    EXPECT_EQ(runsOf("bloom/bright") + runsOf("bloom/blur"), 0);
    expectNotBlank(QImage(path("frame.png")));
}

// The pipeline is data: the demo saves it, and still renders from a copy without the vignette,
// the composite falling back to its default mask. A description that does not load is refused.
TEST_F(DemoSmokeTest, RendersFromAPipelineDescriptionWithoutTheVignette) {
    ASSERT_TRUE(_dir.isValid() && run("--frames 1 --save-pipeline " + path("pipeline.json")));
    ASSERT_EQ(exitCode, 0) << err.toStdString();
    QJsonObject description = QJsonDocument::fromJson(contents("pipeline.json")).object();
    QJsonObject graph = description["graph"].toObject();
    QJsonObject root = graph["root"].toObject();
    QJsonArray children, edges;
    for (const QJsonValue& child : root["children"].toArray())
        if (child["name"] != "vignette") children.append(child);
    for (const QJsonValue& edge : graph["edges"].toArray())
        if (edge["from"][0] != "vignette" && edge["to"][0] != "vignette") edges.append(edge);
    ASSERT_EQ(children.size() + 1, root["children"].toArray().size());
    root["children"] = children;
    graph["root"] = root;
    graph["edges"] = edges;
    description["graph"] = graph;
    const QString edited = path("no-vignette.json");
    ASSERT_TRUE(write("no-vignette.json", QJsonDocument(description).toJson()));

    ASSERT_TRUE(run("--frames 2 --pipeline " + edited));
    ASSERT_EQ(exitCode, 0) << err.toStdString();
    EXPECT_EQ(runsOf("vignette"), -1);
    EXPECT_EQ(runsOf("composite"), 2);
    EXPECT_TRUE(out.contains("note: composite input 'vignette': Nothing feeds this input"))
        << out.toStdString();
    expectNotBlank(QImage(path("frame.png")));

    ASSERT_TRUE(write("no-vignette.json", R"({"format": "orv-renderer", "version": 7})"));
    ASSERT_TRUE(run("--pipeline " + edited));
    EXPECT_EQ(exitCode, 1);
    EXPECT_TRUE(err.contains("no-vignette.json: /version: unsupported version 7"))
        << err.toStdString();
}

TEST_F(DemoSmokeTest, RefusesBadCommandLinesBeforeWritingAnything) {
    const QString never = path("never");
    for (const char* arguments :
         {"--frames 0", "--frames ten", "--size 640", "--size 8x8", "--size 16x4097",
          "--frames 3 --fail-at 3", "--disable nosuchpass", "--disable scene", "--frames",
          "--colour", "stray", "--in-flight 0", "--in-flight 65", "--present-ms -1"}) {
        SCOPED_TRACE(arguments);
        ASSERT_TRUE(run("--out " + never + ' ' + arguments));
        EXPECT_EQ(exitCode, 2);
        EXPECT_TRUE(err.startsWith("orv-demo: ")) << err.toStdString();
        EXPECT_TRUE(out.isEmpty());
    }
    EXPECT_FALSE(QDir(never).exists());
    ASSERT_TRUE(run("--help"));
    EXPECT_EQ(exitCode, 0);
    EXPECT_TRUE(out.startsWith("Usage: orv-demo") && out.contains("--fail-at") &&
                out.contains("--in-flight"));
}

}  // namespace
