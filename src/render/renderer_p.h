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

    // A node on the visit stack: the next input to follow, and where its inputs' feeds start on
    // the pending stack (in `feeds` once the node is done).
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
    // What one input reads, as compact as the run phase can use it: the output `port` of pass
    // `pass` while that pass is enabled, parameter `port` (kParameter), or its default (-1).
    struct Feed {
        static const int kParameter = -2;
        int pass;
        int port;
        RenderPass* producer;  // pass `pass` itself, so that a frame reads its feeds in order
    };
    // A pass of the schedule, producers first, with its inputs' feeds and its outputs' users.
    struct Scheduled {
        RenderPass* pass;
        int node;
        int passIndex;
        int numInputs;  // graph inputs, each with a feed from firstFeed on
        int firstFeed;
        int firstUsers;  // its OutputUsers entries, from firstUsers on
        int numUsers;
    };
    struct OutputUsers {
        int output;
        int users;  // above 0
    };
    // The pass output that a renderer output collects; passIndex -1 keeps the output's value.
    struct Collected {
        int passIndex;
        int port;
    };

    // The frame plan holds everything a frame derives from the graph and from the renderer's
    // set-up: the roots, the needed flags, the producer-first schedule, each input's feed, the
    // user counts and what the outputs collect. It is rebuilt only when the graph's revision or
    // the renderer's own has moved since; enabled flags, parameter values, defaults and pass
    // outputs change nothing in it and are read as each pass runs.
    bool planIsCurrent() const {
        return planBuilt && planGraphRevision == graph.revision() && planRevision == revision;
    }
    void buildPlan();
    // Depth-first visit of `root` and everything upstream: flags them needed and appends them,
    // producers first, to `order`.
    void markFrom(int root);
    void schedulePasses();
    Feed feedOf(const Source& source) const;
    // Runs the enabled passes of the schedule in order; false as soon as one fails.
    bool runScheduled(RenderCallbacks* callbacks);
    bool runPass(const Scheduled& scheduled, RenderCallbacks* callbacks);
    QVariant inputValue(RenderPass* pass, int input, const Feed& feed) const;
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

    quint64 revision = 0;  // the renderer's own edits that a plan depends on

    // The plan, kept from frame to frame; its vectors keep their capacity when rebuilt.
    bool planBuilt = false;
    quint64 planGraphRevision = 0;
    quint64 planRevision = 0;
    QVector<int> roots;
    std::vector<Visit> stack;
    std::vector<Feed> pending;
    std::vector<Visit> order;
    std::vector<Feed> feeds;
    std::vector<Scheduled> schedule;
    std::vector<OutputUsers> users;
    std::vector<Collected> collected;
};

}  // namespace Orv
}  // namespace Vantrel
