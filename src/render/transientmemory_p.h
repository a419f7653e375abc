#pragma once

#include <Orv/MemoryPlan.h>
#include <Orv/Renderer.h>

#include "render/frameplan_p.h"

#include <QHash>
#include <QPair>

#include <functional>
#include <utility>
#include <vector>

namespace Vantrel {
namespace Orv {
namespace detail {

class RendererData;

// Every output of every step of a frame plan: when it is produced, who reads it, and whether it
// must outlive the frame. Built from the plan alone, so it stays readable after graph edits.
class OutputLifetimes {
public:
    void build(const FramePlan& plan);
    bool follows(const FramePlan& plan) const { return _built && _planBuild == plan.buildNumber(); }

    const std::vector<OutputLifetime>& all() const { return _lifetimes; }
    int firstOf(int step) const { return _firstOfStep[size_t(step)]; }  // its output 0
    int count(int step) const { return _firstOfStep[size_t(step) + 1] - firstOf(step); }
    // The steps reading lifetime l, ascending, from readerSteps()[firstReader(l)] up to
    // [firstReader(l + 1)].
    int firstReader(int l) const { return _firstReader[size_t(l)]; }
    const std::vector<int>& readerSteps() const { return _readerSteps; }
    // The lifetimes that step s reads, each once, likewise.
    int firstRead(int s) const { return _firstRead[size_t(s)]; }
    const std::vector<int>& readLifetimes() const { return _readLifetimes; }

private:
    bool _built = false;
    quint64 _planBuild = 0;
    std::vector<OutputLifetime> _lifetimes;
    std::vector<int> _firstOfStep;
    std::vector<int> _firstReader;
    std::vector<int> _readerSteps;
    std::vector<int> _firstRead;
    std::vector<int> _readLifetimes;
};

// What the host asked for about transient memory, and what follows from the frame plan.
struct TransientMemory {
    bool planning = false;
    QHash<QPair<int, int>, OutputMemory> table;  // (pass index, output)
    std::function<OutputMemory(int, int)> function;
    std::function<void(RenderPass*, int)> released;
    bool settingsChanged = false;  // since the memory plan was made

    OutputLifetimes lifetimes;
    MemoryPlan plan;                  // empty unless planning
    quint64 planBuild = 0;            // the frame plan build that `plan` follows, or 0 when none
    quint64 planVersion = 0;          // counts the times `plan` was made or dropped
    QVector<MemoryRequest> requests;  // what `plan` placed, by lifetime, then history places
    // By lifetime: the first of the two requests that place an output a history input reads
    // (the even frames' place, then the odd frames'), or -1.
    std::vector<int> historyPlaces;
    std::vector<std::pair<int, int>> takeovers;  // of `plan`; see takeovers()

    // Releases of the frame being rendered: its own copy of the function, and by lifetime the
    // steps still to end (its producer and its readers) and whether it was produced.
    std::function<void(RenderPass*, int)> releasing;
    std::vector<int> remaining;
    std::vector<char> produced;
};

// Where a placed request takes over bytes: (earlier request, request) for each request that
// last held some of its bytes before it, by request, the earlier ones ascending. Only the
// latest holder of a byte counts; the requests `skipped` marks hold none.
std::vector<std::pair<int, int>> takeovers(const QVector<MemoryRequest>& requests,
                                           const MemoryPlan& plan,
                                           const std::vector<char>& skipped);
// The lifetimes of the current frame plan, built when first asked for.
const OutputLifetimes& lifetimesOf(RendererData& d);
// Brings the memory plan (when the host asked for one) and the step links up to date with the
// frame plan: the links take the plan's own waits, and the memory plan's reuse waits besides.
void followPlan(RendererData& d);
// Release at last use around one frame's passes: the counts, each step that ends or is skipped
// (a disabled pass), and the outputs still held when the frame ends. Inert unless the host
// set a function.
void beginReleases(RendererData& d);
void releaseAfter(RendererData& d, int step, bool ran);
void endReleases(RendererData& d);

}  // namespace detail
}  // namespace Orv
}  // namespace Vantrel
