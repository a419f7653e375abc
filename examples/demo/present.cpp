#include "present.h"

#include <QImage>

#include <algorithm>
#include <chrono>
#include <thread>

namespace OrvDemo {

PresentPass::PresentPass() {
    addInput(QStringLiteral("presentMs"), 8);
    addOutput(QStringLiteral("presented"));
    setOutput(0, 0);
}

void PresentPass::start(Vantrel::Orv::RenderCallbacks*) {
    _shown.reset();
    const QImage picture = _picture;
    if (picture.isNull()) return;  // nothing rendered yet
    auto shown = std::make_shared<std::atomic<bool>>(false);
    _shown = shown;
    const auto scanOut = std::chrono::milliseconds(std::clamp(input<int>(0), 0, 1000));
    _display.post([shown, picture, scanOut] {
        Q_UNUSED(picture);  // held by the display while it scans it out
        std::this_thread::sleep_for(scanOut);
        shown->store(true, std::memory_order_release);
        WorkDone::shared().notify();
    });
}

bool PresentPass::isFinished() const {
    return !_shown || _shown->load(std::memory_order_acquire);
}

void PresentPass::endFrame(Vantrel::Orv::RenderCallbacks* callbacks) {
    if (_shown) setOutput(0, ++_presented);
    _shown.reset();
    DemoPass::endFrame(callbacks);
}

}  // namespace OrvDemo
