// Runs orv-demo as a user would, with small frames, and checks what it leaves behind.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace {

struct DemoRun {
    int exitCode = -1;
    QString out;
    QString err;
};

DemoRun runDemo(const QStringList& arguments) {
    QProcess process;
    process.start(QStringLiteral(ORV_DEMO_EXECUTABLE), arguments);
    DemoRun run;
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit)
        return run;
    run.exitCode = process.exitCode();
    run.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    run.err = QString::fromLocal8Bit(process.readAllStandardError());
    return run;
}

QString readText(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll()) : QString();
}

// A picture worth looking at has many colours and a real spread of brightness.
void expectNotBlank(const QImage& image) {
    QSet<QRgb> colours;
    double sum = 0.0;
    double sumSquares = 0.0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb c = image.pixel(x, y);
            colours.insert(c);
            const double luma = qGray(c) / 255.0;
            sum += luma;
            sumSquares += luma * luma;
        }
    }
    const double n = double(image.width()) * image.height();
    const double mean = sum / n;
    EXPECT_GT(colours.size(), 200);
    EXPECT_GT(mean, 0.1);
    EXPECT_LT(mean, 0.9);
    EXPECT_GT(sumSquares / n - mean * mean, 0.005) << "the picture is nearly flat";
}

// The row of `pass` in the timing table: its run count.
int runsOf(const QString& out, const QString& pass) {
    const QRegularExpression row(
        QStringLiteral("^  %1\\s+(\\d+)\\s").arg(QRegularExpression::escape(pass)),
        QRegularExpression::MultilineOption);
    const QRegularExpressionMatch match = row.match(out);
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}

class DemoSmokeTest : public ::testing::Test {
protected:
    QString path(const QString& name) const { return _dir.filePath(name); }
    QStringList small(const QStringList& more) const {
        return QStringList{QStringLiteral("--size"), QStringLiteral("96x54"),
                           QStringLiteral("--out"), _dir.path()} +
               more;
    }

    QTemporaryDir _dir;
};

TEST_F(DemoSmokeTest, WritesThePictureTheGraphAndTheTimings) {
    ASSERT_TRUE(_dir.isValid());
    const DemoRun run = runDemo(small({QStringLiteral("--frames"), QStringLiteral("8")}));
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.err.isEmpty()) << run.err.toStdString();

    const QImage frame(path(QStringLiteral("frame.png")));
    ASSERT_FALSE(frame.isNull());
    EXPECT_EQ(frame.size(), QSize(96, 54));
    expectNotBlank(frame);
    // Frames 0, 2, 4 and 6 along the way; the last one is frame.png itself.
    for (const char* name : {"frame-000.png", "frame-002.png", "frame-004.png", "frame-006.png"})
        EXPECT_EQ(QImage(path(QLatin1String(name))).size(), QSize(96, 54)) << name;
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("frame-007.png"))));

    const QString dot = readText(path(QStringLiteral("graph.dot")));
    EXPECT_TRUE(dot.startsWith(QStringLiteral("digraph \"Orv\" {\n")));
    for (const char* pass : {"scene", "vignette", "bloom", "composite", "tonemap", "stats"})
        EXPECT_TRUE(dot.contains(QStringLiteral("  \"%1\";\n").arg(QLatin1String(pass)))) << pass;
    EXPECT_TRUE(dot.contains(QStringLiteral("\"bloom\" -> \"composite\";")));
    EXPECT_FALSE(dot.contains(QStringLiteral("\"blur\""))) << "nested passes are not top-level";
    const bool haveDot = !QStandardPaths::findExecutable(QStringLiteral("dot")).isEmpty();
    EXPECT_EQ(readText(path(QStringLiteral("graph.svg"))).contains(QStringLiteral("<svg")),
              haveDot);

    // Every pass ran every frame, except the vignette, which is off on frames 8-15 only.
    for (const char* pass : {"scene", "vignette", "bloom/bright", "bloom/blur", "composite",
                             "tonemap", "stats", "whole frame"})
        EXPECT_EQ(runsOf(run.out, QLatin1String(pass)), 8) << pass;
    EXPECT_TRUE(run.out.contains(QStringLiteral("TIME DUMP      8 frames")));
    EXPECT_TRUE(run.out.contains(QStringLiteral("Luma of the last frame")));
}

TEST_F(DemoSmokeTest, ReportsAFailedFrameAndGoesOn) {
    ASSERT_TRUE(_dir.isValid());
    const DemoRun run = runDemo(small({QStringLiteral("--frames"), QStringLiteral("4"),
                                       QStringLiteral("--fail-at"), QStringLiteral("2")}));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains(QStringLiteral("frame 2 failed: scene (error 1)")))
        << run.err.toStdString();
    EXPECT_EQ(run.err.count(QStringLiteral("failed")), 1) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains(QStringLiteral("Rendered 4 frames")));
    EXPECT_TRUE(run.out.contains(QStringLiteral("1 failed")));
    // The failing scene still ran (and was timed); what depends on it skipped that frame.
    EXPECT_EQ(runsOf(run.out, QStringLiteral("scene")), 4);
    EXPECT_EQ(runsOf(run.out, QStringLiteral("composite")), 3);
    EXPECT_EQ(QImage(path(QStringLiteral("frame.png"))).size(), QSize(96, 54));
}

TEST_F(DemoSmokeTest, DisabledPassesAreSkippedAndTheirConsumersStillRun) {
    ASSERT_TRUE(_dir.isValid());
    const DemoRun run = runDemo(
        small({QStringLiteral("--frames"), QStringLiteral("3"), QStringLiteral("--disable"),
               QStringLiteral("bloom"), QStringLiteral("--disable"), QStringLiteral("vignette")}));
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(runsOf(run.out, QStringLiteral("bloom/bright")), 0);
    EXPECT_EQ(runsOf(run.out, QStringLiteral("bloom/blur")), 0);
    EXPECT_EQ(runsOf(run.out, QStringLiteral("vignette")), 0);
    EXPECT_EQ(runsOf(run.out, QStringLiteral("composite")), 3);
    expectNotBlank(QImage(path(QStringLiteral("frame.png"))));
}

TEST_F(DemoSmokeTest, RefusesBadCommandLinesBeforeWritingAnything) {
    ASSERT_TRUE(_dir.isValid());
    const QString out = path(QStringLiteral("never"));
    const QList<QStringList> bad = {
        {QStringLiteral("--frames"), QStringLiteral("0")},
        {QStringLiteral("--frames"), QStringLiteral("ten")},
        {QStringLiteral("--size"), QStringLiteral("640")},
        {QStringLiteral("--size"), QStringLiteral("8x8")},
        {QStringLiteral("--frames"), QStringLiteral("3"), QStringLiteral("--fail-at"),
         QStringLiteral("3")},
        {QStringLiteral("--disable"), QStringLiteral("nosuchpass")},
        {QStringLiteral("--disable"), QStringLiteral("scene")},
        {QStringLiteral("--frames")},
        {QStringLiteral("--colour")},
        {QStringLiteral("stray")},
    };
    for (const QStringList& arguments : bad) {
        const DemoRun run = runDemo(arguments + QStringList{QStringLiteral("--out"), out});
        const std::string what = arguments.join(QLatin1Char(' ')).toStdString();
        EXPECT_EQ(run.exitCode, 2) << what;
        EXPECT_TRUE(run.err.startsWith(QStringLiteral("orv-demo: "))) << what;
        EXPECT_TRUE(run.out.isEmpty()) << what;
    }
    EXPECT_FALSE(QDir(out).exists());

    const DemoRun help = runDemo({QStringLiteral("--help")});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.startsWith(QStringLiteral("Usage: orv-demo")));
    EXPECT_TRUE(help.out.contains(QStringLiteral("--fail-at")));
}

}  // namespace
