// Timing: the ring of frame traces that a timed frame fills, pass by pass, and its settings.
#include <Orv/Renderer.h>

#include "render/frame_p.h"

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
        trace->historyResets.clear();
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

}  // namespace Orv
}  // namespace Vantrel
