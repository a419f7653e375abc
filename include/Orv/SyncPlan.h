#pragma once

/// @file
/// The synchronisation one frame needs between the passes that write an output and the passes
/// that read it, derived from what the host declares each port does with its value.

#include <Orv/OrvCoreExport.h>

#include <QVector>

namespace Vantrel {
namespace Orv {

/// Which of a node's two sides a port is on.
enum class PortSide { Input, Output };

/// One change of an output's usage that a step needs before its pass runs. Usages are the
/// host's own small integers (its enum of storage write, sampled read, copy source...); a port
/// without a declaration has usage 0.
struct Transition {
    /// Why the step needs it.
    enum class Reason {
        /// The first read of the output after its write this frame: the write is made visible,
        /// whatever the two usages are.
        ReadAfterWrite,
        /// A later read in another usage than the output's current one.
        UsageChange,
        /// The step's output `takenBy` takes over bytes that this output held last: the
        /// output's latest access must end first. Only with the memory plan on.
        Reuse,
        /// The first read of the output's value of the frame before (a loop through container
        /// ports); waits for that frame.
        HistoryRead,
        /// The output's write, after the reads of its value of the frame before: the write
        /// waits for them (or, when the output is double-buffered, for the frame before's).
        WriteAfterHistoryRead,
    };
    static constexpr int kFrameBefore = -1;  ///< A waitStep in the frame before.

    int step = -1;          ///< The step it comes before.
    int node = -1;          ///< The resource's pass, by node.
    int output = -1;        ///< The resource's output of that pass.
    int producerStep = -1;  ///< The step that writes it (in the frame before, for a history read).
    int waitStep = kFrameBefore;  ///< The step whose access of the resource must end first.
    int fromUsage = 0;            ///< The usage the resource leaves.
    int toUsage = 0;              ///< The usage it enters.
    /// The usage the resource was written in: what a reuse's discard must also follow, since
    /// a read barrier in between does not order a later write after the first one for every
    /// device API.
    int writeUsage = 0;
    Reason reason = Reason::ReadAfterWrite;  ///< Why the step needs it.
    int takenBy = -1;  ///< For Reuse, the output of `step` that takes the bytes over; else -1.
    /// On the value of the frame before: a HistoryRead, or a UsageChange between history reads.
    /// For an output kept in two copies (double-buffered, or read by a history input) that is
    /// the other copy than the one this frame writes.
    bool frameBefore = false;
};

/// The transitions of a frame, step by step, each step's forming one batch (see
/// Renderer::setSyncPlanning for the rules).
struct SyncPlan {
    QVector<int> nodes;  ///< By step: the node whose pass it runs.
    /// By step, then in batch order: the reads of the step's inputs, in input order, then for
    /// each of its outputs in turn its Reuse transitions (by the holder's producer step and
    /// output) and its WriteAfterHistoryRead.
    QVector<Transition> transitions;
    /// The transitions before step s are transitions[firstOfStep[s]] up to
    /// transitions[firstOfStep[s + 1]]; one entry more than steps.
    QVector<int> firstOfStep;

    int numSteps() const { return nodes.size(); }  ///< Steps of the frame's schedule.
    /// The batch before `step`; empty for a step without one or out of range.
    ORVCORE_EXPORT QVector<Transition> transitionsBefore(int step) const;
    /// Steps with at least one transition.
    ORVCORE_EXPORT int numBatches() const;
};

/// A name for a reason, as "read after write", "usage change", "reuse", "history read" and
/// "write after history read".
ORVCORE_EXPORT const char* reasonName(Transition::Reason reason);

}  // namespace Orv
}  // namespace Vantrel
