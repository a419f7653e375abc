// How a frame waits for passes in flight: the poll interval's sleep, or the host's wait.
#include <Orv/Renderer.h>

#include "render/frame_p.h"

#include <QThread>

#include <utility>

namespace Vantrel {
namespace Orv {

void detail::waitForPasses(RendererData& d, const StartedPass* inFlight, int count) {
    if (!d.wait) {
        QThread::usleep(100);
        return;
    }
    // Refilled each time, keeping its capacity, so that waiting allocates nothing after the
    // first frames.
    d.waitingFor.resize(count);
    for (int k = 0; k < count; ++k) d.waitingFor[k] = inFlight[k].pass;
    d.wait(d.waitingFor);
}

bool Renderer::setWaitFunction(WaitFunction wait) {
    // The function may be running: replacing it would destroy it under its own feet.
    if (d->rendering) return false;
    d->wait = std::move(wait);
    return true;
}

bool Renderer::hasWaitFunction() const {
    return bool(d->wait);
}

}  // namespace Orv
}  // namespace Vantrel
