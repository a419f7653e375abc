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

// The track of each of the trace's spans, counted from 1: the first track free when the span
// starts, so that spans that overlap in time never share one.
std::vector<int> spanTracks(const FrameTrace& trace);

}  // namespace detail
}  // namespace Orv
}  // namespace Vantrel
