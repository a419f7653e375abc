#pragma once

#include "render/frameplan_p.h"

#include <QtGlobal>

#include <utility>
#include <vector>

namespace Vantrel {
namespace Orv {
namespace detail {

// What each step of a frame plan waits for when passes are in flight, and which later steps
// wait for it. A step waits for:
// - the steps that wrote what it reads this frame (not a later producer, whose value of the
//   frame before it reads, just as one pass at a time runs them);
// - the earlier step of its own pass, which must end before the pass starts again;
// - the readers of its pass's output that come before it, which must be fed before it
//   overwrites what they read;
// - the extra pairs it was linked with (the memory plan's: the readers of the bytes its
//   outputs take over).
// Only earlier steps count, as one pass at a time runs them in schedule order anyway.
class StepLinks {
public:
    // Links the plan's steps, and each (earlier step, step) pair of `extra` besides.
    void build(const FramePlan& plan, const std::vector<std::pair<int, int>>& extra);
    // Whether the links were built from this build of the plan.
    bool follows(const FramePlan& plan) const { return _built && _planBuild == plan.buildNumber(); }

    // The earlier steps that step s waits for: predecessors()[firstPredecessor(s)] up to
    // [firstPredecessor(s + 1)].
    int firstPredecessor(int s) const { return _firstPredecessor[size_t(s)]; }
    const int* predecessors() const { return _predecessors.data(); }
    // The later steps waiting for step s: successors()[firstSuccessor(s)] up to
    // [firstSuccessor(s + 1)].
    int firstSuccessor(int s) const { return _firstSuccessor[size_t(s)]; }
    const int* successors() const { return _successors.data(); }

private:
    bool _built = false;
    quint64 _planBuild = 0;
    std::vector<int> _firstPredecessor;
    std::vector<int> _predecessors;
    std::vector<int> _firstSuccessor;
    std::vector<int> _successors;

    // Scratch of build(), kept for its capacity.
    std::vector<std::pair<int, int>> _links;  // (predecessor, successor), by successor
    std::vector<int> _firstLater;             // by step, into _laterOf (CSR)
    std::vector<int> _laterOf;                // predecessors known before the step's turn
    std::vector<int> _linkedTo;               // by step: the latest step that waits for it
};

}  // namespace detail
}  // namespace Orv
}  // namespace Vantrel
