#pragma once

#include <Orv/Renderer.h>
#include <Orv/SyncPlan.h>

#include <QHash>
#include <QPair>
#include <QSet>
#include <QVector>

namespace Vantrel {
namespace Orv {
namespace detail {

class RendererData;

// What the host declared for the synchronisation plan, and the plan with what it was made from.
struct SyncState {
    bool planning = false;
    // By (pass index, port); a port without an entry has usage 0.
    QHash<QPair<int, int>, int> inputUsages;
    QHash<QPair<int, int>, int> outputUsages;
    Renderer::UsageFunction function;
    QSet<QPair<int, int>> doubleBuffered;  // (pass index, output)
    bool settingsChanged = false;          // since `plan` was made

    // By (pass index, output): the usage the latest planned frame that ran the pass left the
    // output in, where the next frame's history reads of it start from.
    QHash<QPair<int, int>, int> leftIn;
    bool followUp = false;  // the next frame's history reads start elsewhere: plan again

    SyncPlan plan;
    bool made = false;
    quint64 planBuild = 0;          // the frame plan build it follows
    quint64 memoryPlanVersion = 0;  // and the memory plan
    QVector<bool> enabled;          // and the enabled flags
};

// Brings the synchronisation plan up to date at a frame's start, when the host asked for one.
void followSyncPlan(RendererData& d);

}  // namespace detail
}  // namespace Orv
}  // namespace Vantrel
