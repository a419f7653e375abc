#pragma once

#include <Orv/Graph.h>
#include <Orv/RenderPass.h>

#include <QSet>
#include <QVariant>
#include <QVector>

namespace Vantrel {
namespace Orv {

class RendererData {
public:
    ~RendererData();

    bool isPassIndex(int value) const { return value >= 0 && value < passes.size(); }
    bool runsPass(int value) const { return isPassIndex(value) && enabled.at(value); }

    // Depth-first visit of `root` and everything upstream, producers first; runs the enabled
    // passes when `run` is set. False as soon as a pass fails.
    bool visitNode(int root, RenderCallbacks* callbacks, QVector<bool>& flags, bool run);
    bool runPass(int node, RenderCallbacks* callbacks);
    QVariant inputValue(RenderPass* pass, int node, int input) const;
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
    struct Visit {
        int node;
        int nextInput;
        int numInputs;
    };
    QVector<int> roots;
    QVector<bool> ran;
    QVector<Visit> stack;
};

}  // namespace Orv
}  // namespace Vantrel
