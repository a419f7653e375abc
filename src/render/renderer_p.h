#pragma once

#include <Orv/Graph.h>
#include <Orv/RenderPass.h>
#include <Orv/Renderer.h>

#include "render/frameplan_p.h"
#include "render/steplinks_p.h"
#include "render/syncplan_p.h"
#include "render/transientmemory_p.h"

#include <QElapsedTimer>
#include <QHash>
#include <QPair>
#include <QSet>
#include <QVariant>
#include <QVector>

#include <utility>
#include <vector>

namespace Vantrel {
namespace Orv {
namespace detail {

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
    // (node, input) of each history input this frame fed its default, the value it would have
    // read not being real.
    std::vector<std::pair<int, int>> historyResets;
};

// What the latest frame kept for the outcome queries: what it decided for each step, as it
// decided it, and the passes that failed. Filled where a pass starts, is skipped and ends.
struct LatestFrame {
    enum Fate : char {
        kUndecided,  // the frame stopped before it
        kStarted,
        kSkipped,     // found switched off
        kNotReached,  // enabled when the frame that stopped before it ended
    };
    qint64 number = 0;        // frames rendered so far; 0 before the first
    std::vector<Fate> fates;  // by step
    std::vector<std::pair<int, unsigned int>> failures;  // (step, error code)

    void passStarted(int step) { fates[size_t(step)] = kStarted; }
    void passSkipped(int step) { fates[size_t(step)] = kSkipped; }
    // After a failure: the steps the frame never reached, by the flags as it ends.
    void settleUndecided(const FramePlan& plan, const QVector<bool>& enabled) {
        for (size_t s = 0; s < fates.size(); ++s) {
            if (fates[s] == kUndecided)
                fates[s] = enabled.at(plan.schedule()[s].passIndex) ? kNotReached : kSkipped;
        }
    }
    void passEnded(int step, unsigned int errorCode) {
        if (errorCode != 0) failures.emplace_back(step, errorCode);
    }
};

// A pass between its start and its end: the pass, its step, and its span in the frame's trace
// (-1 when the frame is not timed).
struct StartedPass {
    RenderPass* pass;
    int step;
    int span;
};

// What a frame with passes in flight works on, kept from frame to frame for its capacity.
struct OverlapScratch {
    std::vector<char> ended;   // by step
    std::vector<int> waiting;  // by step: predecessors not yet ended, for a step set aside
    std::vector<quint64> readyWords;
    std::vector<StartedPass> inFlight;
};

// What a history input reads: the value its producer left at the end of a frame, and whether
// the input's latest read of it was real.
struct HistorySlot {
    QVariant value;
    qint64 frame = 0;   // the frame that left it; 0 for none
    int producer = -1;  // pass index and output it came from
    int port = -1;
    quint64 epoch = 0;          // RendererData::historyEpoch then
    quint64 memoryVersion = 0;  // TransientMemory::planVersion then
    qint64 readFrame = 0;       // the frame that last fed the input
    bool validRead = false;     // whether that frame fed it this value
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
    bool cullBehindDisabled = false;
    // The enabled flags when disabled passes cut the plan there, else empty.
    QVector<bool> planCut() const { return cullBehindDisabled ? enabled : QVector<bool>(); }

    Renderer::WaitFunction wait;  // the host's, in place of the poll interval's sleep

    QSet<RenderPass*> owned;  // refuses a second addPass of the same object
    bool rendering = false;

    FramePlan plan;
    StepLinks links;  // follows the plan and the memory plan
    LatestFrame latest;
    OverlapScratch overlap;
    TransientMemory memory;
    SyncState sync;
    FramePlan::HistoryInputs historyInputs;
    QHash<QPair<int, int>, HistorySlot> history;  // by history input
    quint64 historyEpoch = 0;                     // counts resets and resizes
    int currentStep = -1;  // the step started most recently in the frame rendering

    // Timing, when on: the latest frames, oldest first from traceHead on.
    bool timing = false;
    int timingHistory = 100;
    QElapsedTimer clock;
    std::vector<FrameTrace> traces;
    size_t traceHead = 0;
    // Kept frame `k`, from the oldest (0) to the latest (traces.size() - 1).
    const FrameTrace& keptTrace(size_t k) const { return traces[(traceHead + k) % traces.size()]; }
    FrameTrace* currentTrace = nullptr;  // the frame being timed, or null
};

// The renderer's data, for code of the library that fills a renderer in one step (loading a
// document) rather than call by call.
struct RendererAccess {
    static RendererData& data(Renderer& renderer) { return *renderer.d; }
    static const RendererData& data(const Renderer& renderer) { return *renderer.d; }
};

}  // namespace detail
}  // namespace Orv
}  // namespace Vantrel
