#pragma once

#include <Orv/Renderer.h>

#include "render/renderer_p.h"

#include <vector>

namespace Vantrel {
namespace Orv {
namespace detail {

// How inspection shows an outcome, the same in explain, frameAsDot and the report: its word and
// its colour, light enough to hold dark text.
struct OutcomeLook {
    const char* word;
    const char* colour;
};
OutcomeLook outcomeLook(NodeOutcome outcome);
// A pass's outcomes in the order that legends list them.
extern const NodeOutcome kPassOutcomes[5];

// How inspection shows a transition, the same in the report and frameAsDot: a colour for its
// reason, light enough to hold dark text and to stand out on the lifetime bars, and one line on
// why its step needs it, naming nodes by path ("reuse: blur.out0 takes over the bytes of
// bright.out0; waits for step 3; usage 2 → 4").
const char* reasonColour(Transition::Reason reason);
// The reasons in the order that legends list them.
extern const Transition::Reason kReasons[5];
QString transitionWhy(const Graph& graph, const SyncPlan& plan, const Transition& transition);

// The track of each of the trace's spans, counted from 1: the first track free when the span
// starts, so that spans that overlap in time never share one.
std::vector<int> spanTracks(const FrameTrace& trace);

}  // namespace detail
}  // namespace Orv
}  // namespace Vantrel
