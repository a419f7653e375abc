#include "inspect/inspect_p.h"

namespace Vantrel {
namespace Orv {

const NodeOutcome detail::kPassOutcomes[5] = {NodeOutcome::Ran, NodeOutcome::Failed,
                                              NodeOutcome::Disabled, NodeOutcome::NotReached,
                                              NodeOutcome::NotNeeded};

detail::OutcomeLook detail::outcomeLook(NodeOutcome outcome) {
    switch (outcome) {
        case NodeOutcome::Ran:
            return {"ran", "#8fd19e"};
        case NodeOutcome::Failed:
            return {"failed", "#f08c8c"};
        case NodeOutcome::Disabled:
            return {"switched off", "#b8b8b8"};
        case NodeOutcome::NotReached:
            return {"not reached", "#ffc56e"};
        case NodeOutcome::NotNeeded:
            return {"not needed", "#f4f4f4"};
        case NodeOutcome::NoPass:
            return {"no pass", "#f4f4f4"};
        case NodeOutcome::Unknown:
            break;
    }
    return {"unknown", "#f4f4f4"};
}

}  // namespace Orv
}  // namespace Vantrel
