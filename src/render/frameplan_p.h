#pragma once

#include <Orv/Graph.h>
#include <Orv/RenderPass.h>

#include <QHash>
#include <QPair>
#include <QVector>

#include <utility>
#include <vector>

namespace Vantrel {
namespace Orv {
namespace detail {

// Lists, for each of `count` items, where its links lead, in the order `forEachLink` gives
// them: (*targets)[(*first)[i]] up to (*targets)[(*first)[i + 1]]. `forEachLink(add)` calls
// add(from, to) once per link, the same way both times it is called.
template <typename ForEachLink>
void listBySource(int count, ForEachLink forEachLink, std::vector<int>* first,
                  std::vector<int>* targets) {
    first->assign(size_t(count) + 1, 0);
    forEachLink([first](int from, int) { ++(*first)[size_t(from) + 1]; });
    for (size_t i = 0; i < size_t(count); ++i) (*first)[i + 1] += (*first)[i];
    targets->resize(size_t(first->back()));
    std::vector<int> fill(first->begin(), first->end() - 1);
    forEachLink([&](int from, int to) { (*targets)[size_t(fill[size_t(from)]++)] = to; });
}

// Everything a frame derives from the graph and the renderer's set-up, built once and reused
// until either changes: the roots, the needed flags, the producer-first schedule with each
// input's feed and the step it reads, each output's user count, and what each renderer output
// collects. Enabled flags, parameter values, defaults and pass outputs are not part of it; a
// frame reads them as each pass runs.
//
// The schedule holds every needed pass once. A pass comes after every pass upstream of it;
// among the passes whose upstream passes are all scheduled, the one added first comes next.
class FramePlan {
public:
    // Where one input's value comes from.
    struct Feed {
        static constexpr int kDefault = -1;    // the pass's default value
        static constexpr int kParameter = -2;  // renderer parameter `port`
        int pass;                              // else: output `port` of this pass, while enabled
        int port;
        RenderPass* producer;  // pass `pass`, so that a frame reads feeds without a look-up
        bool history;          // a history input: the value the producer left the frame before
    };
    // One pass of the schedule. Its graph inputs' feeds are feeds()[firstFeed...], its outputs
    // with users users()[firstUsers...].
    struct Step {
        RenderPass* pass;
        int node;
        int passIndex;
        int numInputs;
        int numOutputs;  // of its node
        int firstFeed;
        int firstUsers;
        int numUsers;
    };
    // Which step writes the value a pass feed reads, as one pass at a time runs the schedule:
    // the latest earlier step of the producing pass; or, when there is none (a loop through
    // container ports), the pass's last step, whose value of the frame before is read.
    // `nextWriter` is the producing pass's first step after the reader, which overwrites what
    // the reader reads; -1 when there is none. Both steps -1 for a parameter or a default.
    // A history input reads a copy the frame keeps: it reads the frame before, from the last
    // step, and nothing overwrites it.
    struct FeedStep {
        int writer;
        int nextWriter;
        bool frameBefore;
    };
    struct OutputUsers {
        int output;
        int users;  // above 0
    };
    // The pass output that a renderer output takes after a frame; passIndex -1 keeps its value.
    struct Collected {
        int passIndex;
        int port;
    };

    // Why a needed node is needed: the consumer whose input `input` first reached it, or, with
    // consumer -1, a root: input o >= 0 for renderer output o, kTarget, or kUnculled when
    // culling is off.
    struct Reach {
        static constexpr int kTarget = -1;
        static constexpr int kUnculled = -2;
        int consumer;
        int input;
    };

    // Whether the plan was built from this state: the graph's revision, the target, the
    // number of passes and culling (parameters and outputs are added only with a graph edit).
    // `cutAtDisabled`: the enabled flags by pass index when disabled passes do not make their
    // producers needed, else empty; the plan then depends on them too.
    // The history inputs: (pass index, input) to the (pass index, output) it reads.
    using HistoryInputs = QHash<QPair<int, int>, QPair<int, int>>;
    // `history`: the history inputs.
    bool isCurrent(const Graph& graph, int target, int numPasses, bool culling,
                   const QVector<bool>& cutAtDisabled = QVector<bool>(),
                   const HistoryInputs& history = {}) const;
    // Rebuilds the plan. Without roots the needed flags of the latest plan that had some stay.
    // Without culling every pass node is a root. A history input makes its producer needed
    // but does not make its pass wait for it.
    void build(const Graph& graph, int target, const QVector<RenderPass*>& passes,
               int numParameters, int numOutputs, bool culling,
               const QVector<bool>& cutAtDisabled = QVector<bool>(),
               const HistoryInputs& history = {});

    // Counts the builds, so that what is derived from the plan knows when to follow.
    quint64 buildNumber() const { return _buildNumber; }

    bool hasRoots() const { return !_roots.empty(); }
    int target() const { return _target; }
    const std::vector<Step>& schedule() const { return _schedule; }
    const std::vector<Feed>& feeds() const { return _feeds; }
    const std::vector<FeedStep>& feedSteps() const { return _feedSteps; }  // by feed
    // The pass's last step, whose values it holds after the frame; -1 when it has none.
    int lastStepOf(int passIndex) const {
        return passIndex >= 0 && size_t(passIndex) < _lastStepOfPass.size()
                   ? _lastStepOfPass[size_t(passIndex)]
                   : -1;
    }
    const std::vector<OutputUsers>& users() const { return _users; }
    const std::vector<Collected>& collected() const { return _collected; }
    int tableSize() const { return _tableSize; }  // the node table the plan was built from
    int stepOf(int node) const {                  // position in the schedule, or -1
        return node >= 0 && size_t(node) < _stepOfNode.size() ? _stepOfNode[size_t(node)] : -1;
    }
    Reach reachOf(int node) const {  // {-1, kTarget} for a node that is not needed
        return isNeeded(node) ? _reach[size_t(node)] : Reach{-1, Reach::kTarget};
    }
    bool isNeeded(int node) const { return node >= 0 && node < _needed.size() && _needed.at(node); }

private:
    // A node on the visit stack: the next input to follow, and where its inputs' feeds wait on
    // the pending stack (they move to _feeds when the node is done).
    struct Visit {
        int node;
        int nextInput;
        int numInputs;
        int firstFeed;
    };
    // A needed node in the order the depth-first visit finished it, with its feeds.
    struct Finished {
        int node;
        int passIndex;  // -1 for a node without a pass
        int numInputs;
        int firstFeed;
    };

    void findRoots();
    void visitFrom(int root, Reach reach);
    void orderPasses();
    void findFeedSteps();
    // Follows an input to where its value comes from. `producer` becomes the node whose output
    // feeds it, through containers (a node without a pass included), or -1. A history input
    // is fed by the output it was given, whatever edge leads to it.
    Feed trace(int node, int input, int& producer) const;
    bool isPassIndex(int value) const { return value >= 0 && value < _passes->size(); }
    // The inputs the visit follows: none for a disabled pass when the plan cuts there.
    int inputsToFollow(int node) const;
    int countOutputUsers(int node, int output) const;

    // Inputs of the current build.
    const Graph* _graph = nullptr;
    const QVector<RenderPass*>* _passes = nullptr;
    int _numParameters = 0;
    int _numOutputs = 0;

    // What the plan was built from.
    bool _built = false;
    quint64 _buildNumber = 0;
    quint64 _graphRevision = 0;
    int _target = -1;
    int _numPasses = 0;

    bool _culling = true;
    QVector<bool> _cutAtDisabled;
    HistoryInputs _history;
    std::vector<int> _nodeOfPass;  // by pass index: its first node, for the history inputs
    int _tableSize = 0;

    std::vector<int> _roots;        // may repeat a node; the visit flags take each once
    std::vector<int> _rootReasons;  // by root: Reach::input of a root
    std::vector<Reach> _reach;      // by node, for the needed ones
    std::vector<int> _stepOfNode;
    QVector<bool> _needed;
    std::vector<Step> _schedule;
    std::vector<Feed> _feeds;
    std::vector<FeedStep> _feedSteps;
    std::vector<int> _lastStepOfPass;  // by pass index
    std::vector<OutputUsers> _users;
    std::vector<Collected> _collected;

    // Scratch of build(), kept for its capacity.
    std::vector<Visit> _stack;
    std::vector<Feed> _pending;
    std::vector<Finished> _finished;
    std::vector<int> _finishedIndex;  // by node ref: position in _finished, -1 while visited
    std::vector<int> _waitsFor;       // by position in _finished: producers not yet scheduled
    std::vector<int> _firstConsumer;  // by position in _finished, into _consumers (CSR)
    std::vector<int> _consumers;
    std::vector<std::pair<int, int>> _dependencies;        // (producer, consumer) positions
    std::vector<std::pair<int, Reach>> _historyProducers;  // visited after the roots
};

}  // namespace detail
}  // namespace Orv
}  // namespace Vantrel
