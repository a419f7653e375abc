#include <Orv/RenderPass.h>

namespace Vantrel {
namespace Orv {

// Out of line so that the vtables and type information live in the library.
RenderCallbacks::~RenderCallbacks() = default;

RenderPass::~RenderPass() = default;

// A pass that does its work inside start() needs no polling.
bool RenderPass::isFinished() const {
    return true;
}

}  // namespace Orv
}  // namespace Vantrel
