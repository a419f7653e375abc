#pragma once

#include <Orv/Graph.h>
#include <Orv/RenderPass.h>
#include <Orv/Renderer.h>

#include "render/frameplan_p.h"

#include <QElapsedTimer>
#include <QSet>
#include <QVariant>
#include <QVector>

#include <utility>
#if defined(__x86_64__) || defined(__i386__)
#include <x86intrin.h>
#endif
#include <vector>

namespace Vantrel {
namespace Orv {
namespace detail {

// A pass's timestamps: the processor's time-stamp counter where there is one, which costs a
// few nanoseconds a reading against tens for the system clock; a frame turns them into
// nanoseconds on its own clock readings when it ends.
inline qint64 readTicks(const QElapsedTimer& clock) {
#if defined(__x86_64__) || defined(__i386__)
    Q_UNUSED(clock);
    return qint64(__rdtsc());
#else
    return clock.nsecsElapsed();
#endif
}

// One pass run, in nanoseconds on the renderer's clock (ticks while its frame runs): from just
// before its beginFrame to just after its endFrame returned.
struct PassSpan {
    qint64 start;
    qint64 end;
    int node;
    unsigned int errorCode;
};

// One frame's timing: its own span and its passes' spans, in the order they started.
struct FrameTrace {
    qint64 number = 0;
    qint64 start = 0;
    qint64 end = 0;
    qint64 startTicks = 0;  // read with `start`, to turn the spans' ticks into nanoseconds
    std::vector<PassSpan> spans;
};

// What the latest frame kept for the outcome queries: how far the schedule got (one pass at a
// time) or which steps started (with passes in flight), the passes that failed, and the
// enabled flags it ran with.
struct LatestFrame {
    qint64 number = 0;  // frames rendered so far; 0 before the first
    bool overlapped = false;
    int reached = 0;            // one at a time: steps before this one were reached
    std::vector<char> started;  // in flight: by step
    std::vector<std::pair<int, unsigned int>> failures;  // (step, error code)
    QVector<bool> enabled;
};

// The rounds of a frame with passes in flight in which every pass finished at its first poll
// and none failed: the steps in the order they started, cut into rounds (started together,
// then polled together). Every such frame with the same plan, limit and enabled flags takes
// the same rounds.
struct PromptRounds {
    int limit = 0;  // 0 while none are kept
    QVector<bool> enabled;
    std::vector<int> order;
    std::vector<int> ends;  // by round: one past its last position in `order`
};

// What a frame with passes in flight works on, kept from frame to frame for its capacity.
struct OverlapScratch {
    struct Running {
        int step;
        int span;  // in the frame's trace, or -1
    };
    std::vector<int> waiting;  // by step: producers not yet ended
    std::vector<quint64> readyWords;
    std::vector<Running> inFlight;
    std::vector<int> recordedOrder;  // this frame's rounds as it takes them, as in PromptRounds
    std::vector<int> recordedEnds;
    PromptRounds prompt;  // the latest prompt frame's, until the plan is rebuilt
};

// The registry: what the host set up, the frame plan derived from it, and what the latest
// frames left for inspection.
class RendererData {
public:
    RendererData() { clock.start(); }
    ~RendererData();

    bool isPassIndex(int value) const { return value >= 0 && value < passes.size(); }

    QVector<QVariant> parameters;
    QVector<QVariant> outputs;
    QVector<RenderPass*> passes;
    Graph graph;
    QVector<bool> enabled;
    int target = -1;
    int passesRun = 0;
    int maxPassesInFlight = 1;
    bool culling = true;

    QSet<RenderPass*> owned;  // refuses a second addPass of the same object
    bool rendering = false;

    FramePlan plan;
    LatestFrame latest;
    OverlapScratch overlap;

    // Timing, when on: the latest frames, oldest first from traceHead on.
    bool timing = false;
    int timingHistory = 100;
    QElapsedTimer clock;
    std::vector<FrameTrace> traces;
    size_t traceHead = 0;
    FrameTrace* currentTrace = nullptr;  // the frame being timed, or null
};

// The renderer's data, for code of the library that fills a renderer in one step (loading a
// document) rather than call by call.
struct RendererAccess {
    static RendererData& data(Renderer& renderer) { return *renderer.d; }
};

}  // namespace detail
}  // namespace Orv
}  // namespace Vantrel
