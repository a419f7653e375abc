#pragma once

#include <Orv/Graph.h>
#include <Orv/RenderPass.h>

#include "frameplan.h"

#include <QSet>
#include <QVariant>
#include <QVector>

namespace Vantrel {
namespace Orv {

// The registry: what the host set up, plus the frame plan derived from it.
class RendererData {
public:
    ~RendererData();

    bool isPassIndex(int value) const { return value >= 0 && value < passes.size(); }

    QVector<QVariant> parameters;
    QVector<QVariant> outputs;
    QVector<RenderPass*> passes;
    Graph graph;
    QVector<bool> enabled;
    int target = -1;
    int maxPassesInFlight = 1;
    int passesRun = 0;

    QSet<RenderPass*> owned;  // refuses a second addPass of the same object
    bool rendering = false;

    FramePlan plan;
};

}  // namespace Orv
}  // namespace Vantrel
