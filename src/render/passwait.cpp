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
    QVector<RenderPass*> passes(count);
    for (int k = 0; k < count; ++k) passes[k] = inFlight[k].pass;
    d.wait(passes);
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
