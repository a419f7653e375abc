// The timeline of the latest frames: what timing keeps, and the trace it is written out as.
#include <Orv/Renderer.h>

#include "render/frame_p.h"
#include "text/textescape_p.h"

#include <QHash>

#include <algorithm>
#include <charconv>
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
    if (frames < 1 || frames > 100000) return false;
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

namespace {

// Appends JSON text without temporaries: the trace of 100 frames of a large graph holds
// hundreds of thousands of numbers.
class JsonText {
public:
    explicit JsonText(QByteArray* out) : _out(*out) {}
    JsonText& operator<<(const char* text) {
        _out.append(text);
        return *this;
    }
    JsonText& operator<<(const QByteArray& text) {
        _out.append(text);
        return *this;
    }
    JsonText& operator<<(qint64 value) {
        char digits[24];
        const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
        _out.append(digits, int(end - digits));
        return *this;
    }
    // Nanoseconds as microseconds with three decimals, the trace format's unit.
    JsonText& micros(qint64 ns) {
        if (ns < 0) {
            _out.append('-');
            ns = -ns;
        }
        *this << ns / 1000;
        const int rest = int(ns % 1000);
        const char decimals[] = {'.', char('0' + rest / 100), char('0' + rest / 10 % 10),
                                 char('0' + rest % 10)};
        _out.append(decimals, 4);
        return *this;
    }

private:
    QByteArray& _out;
};

}  // namespace

QByteArray Renderer::traceJson() const {
    size_t numSpans = 0;
    for (const detail::FrameTrace& trace : d->traces) numSpans += trace.spans.size();
    QByteArray json;
    json.reserve(int(std::min<size_t>(256 + (numSpans + d->traces.size()) * 160, 1 << 30)));
    JsonText out(&json);
    out << "{\"traceEvents\":[\n"
        << "{\"name\":\"process_name\",\"ph\":\"M\",\"pid\":1,\"tid\":0,"
           "\"args\":{\"name\":\"OrvCore renderer\"}},\n"
        << "{\"name\":\"thread_name\",\"ph\":\"M\",\"pid\":1,\"tid\":0,"
           "\"args\":{\"name\":\"frames\"}}";
    QHash<int, QByteArray> names;  // escaped node paths
    auto nameOf = [&](int node) -> const QByteArray& {
        auto it = names.find(node);
        if (it == names.end()) {
            const QString path = d->graph.isValidNode(node) ? d->graph.nodePath(node)
                                                            : QStringLiteral("node %1").arg(node);
            it = names.insert(node, detail::jsonEscaped(path));
        }
        return *it;
    };

    qint64 tracks = 0;
    std::vector<qint64> trackEnds;
    for (size_t k = 0; k < d->traces.size(); ++k) {
        const detail::FrameTrace& trace = d->traces[(d->traceHead + k) % d->traces.size()];
        out << ",\n{\"name\":\"frame " << trace.number
            << "\",\"ph\":\"X\",\"pid\":1,\"tid\":0,\"ts\":";
        out.micros(trace.start) << ",\"dur\":";
        out.micros(trace.end - trace.start) << ",\"args\":{\"frame\":" << trace.number << "}}";
        // Each pass goes on the first track that is free when it starts, so that passes that
        // overlap in time never share one.
        trackEnds.clear();
        for (const detail::PassSpan& span : trace.spans) {
            size_t track = 0;
            while (track < trackEnds.size() && trackEnds[track] > span.start) ++track;
            if (track == trackEnds.size()) trackEnds.push_back(span.end);
            trackEnds[track] = span.end;
            out << ",\n{\"name\":\"" << nameOf(span.node)
                << "\",\"ph\":\"X\",\"pid\":1,\"tid\":" << qint64(track + 1) << ",\"ts\":";
            out.micros(span.start) << ",\"dur\":";
            out.micros(span.end - span.start)
                << ",\"args\":{\"node\":" << qint64(span.node) << ",\"frame\":" << trace.number;
            if (span.errorCode != 0) out << ",\"errorCode\":" << qint64(span.errorCode);
            out << "}}";
        }
        tracks = std::max(tracks, qint64(trackEnds.size()));
    }
    for (qint64 track = 1; track <= tracks; ++track) {
        out << ",\n{\"name\":\"thread_name\",\"ph\":\"M\",\"pid\":1,\"tid\":" << track
            << ",\"args\":{\"name\":\"passes " << track << "\"}}";
    }
    out << "\n],\"displayTimeUnit\":\"ms\"}\n";
    return json;
}

}  // namespace Orv
}  // namespace Vantrel
