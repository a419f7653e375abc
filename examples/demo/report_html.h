#pragma once

#include <Orv/Renderer.h>

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QVector>

namespace OrvDemo {

// What the HTML report shows; the demo fills it in after the run.
struct HtmlReport {
    struct Pass {
        QString path;  // "bloom/blur"
        Vantrel::Orv::NodeOutcome outcome = Vantrel::Orv::NodeOutcome::Unknown;
        QString explanation;  // the renderer's own words for the outcome
        int runs = 0;
        double meanMs = 0.0;
        double latestMs = -1.0;  // -1 when the pass did not run in the last frame
    };

    QString title;        // the run in one line
    QString summary;      // frames, time and rate
    QByteArray framePng;  // the last frame; empty when there is none
    QByteArray graphSvg;  // the graph coloured by outcome, as Graphviz wrote it; may be empty
    QByteArray trace;     // the renderer's Chrome trace; its last frame becomes the timeline
    QVector<Pass> passes;
    QMap<unsigned int, unsigned int> frameTimes;  // bucket start in us to frame count
    unsigned int bucketUs = 500;
};

// One self-contained page: the picture as a data: URI, every chart inline SVG, no scripts and
// nothing fetched, so that it opens the same anywhere and in a headless browser.
QByteArray reportHtml(const HtmlReport& report);

// The complete events of the trace's latest frame, for the timeline; empty when the trace does
// not parse or holds no frame. Times are relative to the frame's start.
struct TraceSpan {
    QString name;
    int track = 0;  // 0 is the frame itself
    double startMs = 0.0;
    double durationMs = 0.0;
    bool failed = false;
};
QVector<TraceSpan> lastFrameSpans(const QByteArray& trace);

}  // namespace OrvDemo
