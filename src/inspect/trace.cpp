// The kept frames' timeline as a Chrome trace, for chrome://tracing or Perfetto.
#include <Orv/Renderer.h>

#include "inspect/inspect_p.h"
#include "json/jsonwriter_p.h"
#include "render/renderer_p.h"

#include <QHash>

#include <algorithm>

namespace Vantrel {
namespace Orv {

std::vector<int> detail::spanTracks(const FrameTrace& trace) {
    std::vector<int> tracks;
    tracks.reserve(trace.spans.size());
    std::vector<qint64> trackEnds;
    for (const PassSpan& span : trace.spans) {
        size_t track = 0;
        while (track < trackEnds.size() && trackEnds[track] > span.start) ++track;
        if (track == trackEnds.size()) trackEnds.push_back(span.end);
        trackEnds[track] = span.end;
        tracks.push_back(int(track) + 1);
    }
    return tracks;
}

QByteArray Renderer::traceJson() const {
    using Layout = detail::JsonWriter::Layout;
    size_t numSpans = 0;
    for (const detail::FrameTrace& trace : d->traces) numSpans += trace.spans.size();
    detail::JsonWriter out(
        int(std::min<size_t>(256 + (numSpans + d->traces.size()) * 160, 1 << 30)));
    // One event a line; the metadata names the process and its tracks.
    const auto metadata = [&out](const char* kind, qint64 track, const QString& name) {
        out.beginObject(Layout::Line);
        out.key("name").string(kind);
        out.key("ph").string("M");
        out.key("pid").integer(1);
        out.key("tid").integer(track);
        out.key("args");
        out.beginObject();
        out.key("name").string(name);
        out.end();
        out.end();
    };
    // A complete event; the caller adds its args and closes both objects.
    const auto event = [&out](const QString& name, qint64 track, qint64 start, qint64 end) {
        out.beginObject(Layout::Line);
        out.key("name").string(name);
        out.key("ph").string("X");
        out.key("pid").integer(1);
        out.key("tid").integer(track);
        // Nanoseconds as microseconds with three decimals, the trace format's unit.
        out.key("ts").thousandths(start);
        out.key("dur").thousandths(end - start);
        out.key("args");
        out.beginObject();
    };
    out.beginObject();
    out.key("traceEvents");
    out.beginArray();
    metadata("process_name", 0, QStringLiteral("OrvCore renderer"));
    metadata("thread_name", 0, QStringLiteral("frames"));
    QHash<int, QString> names;  // node paths
    auto nameOf = [&](int node) -> const QString& {
        auto it = names.find(node);
        if (it == names.end()) {
            const QString path = d->graph.isValidNode(node) ? d->graph.nodePath(node)
                                                            : QStringLiteral("node %1").arg(node);
            it = names.insert(node, path);
        }
        return *it;
    };

    int tracks = 0;
    for (size_t k = 0; k < d->traces.size(); ++k) {
        const detail::FrameTrace& trace = d->keptTrace(k);
        event(QStringLiteral("frame %1").arg(trace.number), 0, trace.start, trace.end);
        out.key("frame").integer(trace.number);
        out.end();
        out.end();
        const std::vector<int> spanTrack = detail::spanTracks(trace);
        for (size_t s = 0; s < trace.spans.size(); ++s) {
            const detail::PassSpan& span = trace.spans[s];
            tracks = std::max(tracks, spanTrack[s]);
            event(nameOf(span.node), spanTrack[s], span.start, span.end);
            out.key("node").integer(span.node);
            out.key("frame").integer(trace.number);
            if (span.errorCode != 0) {
                out.key("errorCode").integer(span.errorCode);
            }
            out.end();
            out.end();
        }
    }
    for (int track = 1; track <= tracks; ++track)
        metadata("thread_name", track, QStringLiteral("passes %1").arg(track));
    out.end();
    out.key("displayTimeUnit").string("ms");
    out.end();
    return out.take();
}

}  // namespace Orv
}  // namespace Vantrel
