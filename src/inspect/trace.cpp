// The timeline of the latest frames: what timing keeps, and the trace it is written out as.
#include <Orv/Renderer.h>

#include "json/jsonwriter_p.h"
#include "render/frame_p.h"

#include <QHash>

#include <algorithm>
#if defined(__x86_64__) || defined(__i386__)
#include <x86intrin.h>
#endif

namespace Vantrel {
namespace Orv {

namespace {

// A pass's timestamps: the processor's time-stamp counter where there is one, which costs a
// few nanoseconds a reading against tens for the system clock; a frame turns them into
// nanoseconds on its own clock readings when it ends.
qint64 readTicks(const QElapsedTimer& clock) {
#if defined(__x86_64__) || defined(__i386__)
    Q_UNUSED(clock);
    return qint64(__rdtsc());
#else
    return clock.nsecsElapsed();
#endif
}

}  // namespace

// Takes the next entry of the ring of frame traces, emptied, for the frame that starts now.
void detail::beginFrameTrace(RendererData& d) {
    FrameTrace* trace = nullptr;
    if (d.traces.size() < size_t(d.timingHistory)) {
        d.traces.emplace_back();
        trace = &d.traces.back();
    } else {
        trace = &d.traces[d.traceHead];
        d.traceHead = (d.traceHead + 1) % d.traces.size();
        trace->spans.clear();
    }
    trace->number = d.latest.number;
    trace->start = d.clock.nsecsElapsed();
    trace->startTicks = readTicks(d.clock);
    trace->end = trace->start;
    d.currentTrace = trace;
}

// Ends the frame's trace: its spans' ticks become nanoseconds, scaled between the clock and
// tick readings at the frame's start and end.
void detail::endFrameTrace(RendererData& d) {
    FrameTrace& trace = *d.currentTrace;
    d.currentTrace = nullptr;
    trace.end = d.clock.nsecsElapsed();
    const qint64 endTicks = readTicks(d.clock);
    const double scale = endTicks > trace.startTicks
                             ? double(trace.end - trace.start) / double(endTicks - trace.startTicks)
                             : 0.0;
    auto toNs = [&](qint64 ticks) {
        return trace.start + qint64(double(ticks - trace.startTicks) * scale + 0.5);
    };
    for (PassSpan& span : trace.spans) {
        span.start = toNs(span.start);
        // Counters of different cores may differ by a little: a span never ends before it starts.
        span.end = std::max(span.start, span.end < 0 ? trace.end : toNs(span.end));
    }
}

int detail::beginPassSpan(RendererData& d, int node) {
    d.currentTrace->spans.push_back(PassSpan{readTicks(d.clock), -1, node, 0});
    return int(d.currentTrace->spans.size()) - 1;
}

void detail::endPassSpan(RendererData& d, int span, unsigned int errorCode) {
    PassSpan& timed = d.currentTrace->spans[size_t(span)];
    timed.end = readTicks(d.clock);
    timed.errorCode = errorCode;
}

void Renderer::setTimingEnabled(bool enabled) {
    d->timing = enabled;
}

bool Renderer::timingEnabled() const {
    return d->timing;
}

bool Renderer::setTimingHistory(int frames) {
    // The frame being rendered writes into the ring.
    if (frames < 1 || frames > 100000 || d->rendering) return false;
    // Keep the newest frames, oldest first from the start of the ring.
    std::rotate(d->traces.begin(), d->traces.begin() + long(d->traceHead), d->traces.end());
    if (d->traces.size() > size_t(frames))
        d->traces.erase(d->traces.begin(), d->traces.end() - frames);
    d->traceHead = 0;
    d->timingHistory = frames;
    return true;
}

int Renderer::timingHistory() const {
    return d->timingHistory;
}

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
        const detail::FrameTrace& trace = d->traces[(d->traceHead + k) % d->traces.size()];
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
