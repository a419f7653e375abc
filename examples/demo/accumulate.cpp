#include "accumulate.h"

#include <Orv/Renderer.h>

#include <algorithm>

namespace OrvDemo {

namespace {

constexpr int kHistory = 1;  // the input that reads the frame before

// `kept` held within the range of this frame's colours around (x, y): where something moved,
// the history shows what is no longer there, and would trail behind it; where nothing moved, the
// average of the pixel's jittered samples usually lies within that range and is kept as it is.
Rgb clamped(Rgb kept, const FloatImage& color, int x, int y) {
    Rgb low = color.constLine(y)[x], high = low;
    for (int j = std::max(y - 1, 0); j <= std::min(y + 1, color.height() - 1); ++j) {
        const Rgb* row = color.constLine(j);
        for (int i = std::max(x - 1, 0); i <= std::min(x + 1, color.width() - 1); ++i) {
            low = {std::min(low.r, row[i].r), std::min(low.g, row[i].g), std::min(low.b, row[i].b)};
            high = {std::max(high.r, row[i].r), std::max(high.g, row[i].g),
                    std::max(high.b, row[i].b)};
        }
    }
    return {std::clamp(kept.r, low.r, high.r), std::clamp(kept.g, low.g, high.g),
            std::clamp(kept.b, low.b, high.b)};
}

}  // namespace

AccumulatePass::AccumulatePass() {
    addInput(QStringLiteral("color"), QVariant::fromValue(FloatImage()));
    addInput(QStringLiteral("history"), QVariant::fromValue(FloatImage()));
    addInput(QStringLiteral("frames"), 4);
    addOutput(QStringLiteral("color"));
}

void AccumulatePass::setHistorySource(const Vantrel::Orv::Renderer* renderer, int node) {
    _renderer = renderer;
    _node = node;
}

void AccumulatePass::start(Vantrel::Orv::RenderCallbacks*) {
    const FloatImage color = input<FloatImage>(0);
    const FloatImage history = input<FloatImage>(kHistory);
    const bool real = (!_renderer || _renderer->historyValid(_node, kHistory)) &&
                      !history.isNull() && history.width() == color.width() &&
                      history.height() == color.height();
    _frames = real ? std::min(_frames + 1, std::max(input<int>(2), 1)) : 1;

    // Always an image of its own: the kept output must not share the scene's bytes, which the
    // memory plan gives to another image later in the frame.
    FloatImage result = newImage(0, color.width(), color.height());
    const float weight = 1.0f / float(_frames);
    for (int y = 0; y < result.height(); ++y) {
        const Rgb* in = color.constLine(y);
        Rgb* out = result.line(y);
        if (_frames == 1) {
            std::copy(in, in + result.width(), out);
            continue;
        }
        const Rgb* before = history.constLine(y);
        for (int x = 0; x < result.width(); ++x)
            out[x] = clamped(before[x], color, x, y) * (1.0f - weight) + in[x] * weight;
    }
    setOutput(0, QVariant::fromValue(result));
}

}  // namespace OrvDemo
