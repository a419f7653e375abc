#pragma once

#include <Orv/Graph.h>
#include <Orv/RenderPass.h>

#include <QSet>
#include <QVariant>
#include <QVector>

#include <vector>

namespace Vantrel {
namespace Orv {

class RendererData {
public:
    ~RendererData();

    bool isPassIndex(int value) const { return value >= 0 && value < passes.size(); }
    bool runsPass(int value) const { return isPassIndex(value) && enabled.at(value); }

    // A node on the visit stack (the next input to follow, where its inputs' walks start on the
    // pending stack) or in the schedule (where they start in `sources`).
    struct Visit {
        int node;
        int nextInput;
        int numInputs;
        int firstSource;
    };
    // Where walkToSourceNode left the cursor for one input.
    struct Source {
        int node;
        int port;
        bool produced;
    };

    // Depth-first visit of `root` and everything upstream: flags them needed and appends them to
    // the schedule, producers first.
    void markFrom(int root);
    // Runs the enabled passes of the schedule in order; false as soon as one fails.
    bool runScheduled(RenderCallbacks* callbacks);
    bool runPass(const Visit& visit, int passIndex, RenderCallbacks* callbacks);
    QVariant inputValue(RenderPass* pass, int input, const Source& source) const;
    int countOutputUsers(int node, int output) const;
    bool isNeeded(int node) const { return node >= 0 && node < needed.size() && needed.at(node); }

    QVector<QVariant> parameters;
    QVector<QVariant> outputs;
    QVector<RenderPass*> passes;
    Graph graph;
    QVector<bool> enabled;
    int target = -1;
    QVector<bool> needed;
    int passesRun = 0;

    QSet<RenderPass*> owned;  // refuses a second addPass of the same object
    bool rendering = false;

    // Scratch space reused from frame to frame, so that a frame allocates nothing once warm.
    QVector<int> roots;
    std::vector<Visit> stack;
    std::vector<Source> pending;
    std::vector<Visit> schedule;
    std::vector<Source> sources;
};

}  // namespace Orv
}  // namespace Vantrel
