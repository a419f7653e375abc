// The kept frames' timeline as a Chrome trace: the latest frames, named by path, with passes
// that overlap on separate tracks.
#include <Orv/Renderer.h>

#include "renderer_fixture.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <map>

using namespace Vantrel::Orv;

using TraceTest = RendererFixture;

TEST_F(TraceTest, TheKeepsTheLatestFramesAndSeparatesOverlappingPasses) {
    EXPECT_FALSE(renderer.timingEnabled());
    EXPECT_EQ(QJsonDocument::fromJson(renderer.traceJson())["traceEvents"].toArray().size(), 2)
        << "only the metadata while nothing is timed";
    // A name JSON must escape, and two passes that are in flight together.
    add("A\"q\"\n\\é"), add("B"), add("C", 2, 1);
    chain("A\"q\"\n\\é C");
    link("B", "C", 0, 1);
    passes["A\"q\"\n\\é"]->unfinishedPolls = 2;
    ASSERT_TRUE(renderer.setMaxPassesInFlight(2));
    EXPECT_TRUE(render());
    EXPECT_EQ(renderer.latestPassTime(node("C")), -1) << "timing is off";

    renderer.setTimingEnabled(true);
    EXPECT_FALSE(renderer.setTimingHistory(0));
    ASSERT_TRUE(renderer.setTimingHistory(2));
    for (int frame = 0; frame < 3; ++frame) EXPECT_TRUE(render());
    EXPECT_GE(renderer.latestPassTime(node("C")), 0);

    QJsonParseError error;
    const QJsonDocument trace = QJsonDocument::fromJson(renderer.traceJson(), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
    std::map<int, std::vector<std::pair<double, double>>> tracks;  // tid -> spans
    std::map<int, bool> named;                                     // tid -> has a thread name
    QStringList frames, names;
    // Each frame comes before its passes, which must lie within it.
    QJsonValue frame;
    double frameStart = 0, frameEnd = 0;
    for (const QJsonValue value : trace["traceEvents"].toArray()) {
        const QJsonObject event = value.toObject();
        const int tid = event["tid"].toInt();
        if (event["ph"] == "M") {
            named[tid] = named[tid] || event["name"] == "thread_name";
            continue;
        }
        ASSERT_EQ(event["ph"], "X");
        const double start = event["ts"].toDouble(), end = start + event["dur"].toDouble();
        tracks[tid].emplace_back(start, end);
        if (tid == 0) {
            frames << event["name"].toString();
            frame = event["args"]["frame"], frameStart = start, frameEnd = end;
            continue;
        }
        names << event["name"].toString();
        EXPECT_EQ(event["args"]["frame"], frame);
        EXPECT_TRUE(start >= frameStart && end <= frameEnd + 0.001);
    }
    EXPECT_EQ(frames, QStringList({"frame 3", "frame 4"})) << "the two latest frames";
    EXPECT_EQ(names.count(graph()->nodePath(node("A\"q\"\n\\é"))), 2) << "named by path";
    EXPECT_EQ(tracks.size(), 3u) << "frames, and A and B on tracks of their own";
    for (auto& track : tracks) {
        EXPECT_TRUE(named[track.first]) << "track " << track.first << " has no name";
        std::sort(track.second.begin(), track.second.end());
        for (size_t k = 1; k < track.second.size(); ++k)
            EXPECT_LE(track.second[k - 1].second, track.second[k].first) << "track " << track.first;
    }
}
