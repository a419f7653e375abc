#include "composite.h"

#include <cmath>

namespace OrvDemo {

VignettePass::VignettePass() {
    addInput(QStringLiteral("width"), 640);
    addInput(QStringLiteral("height"), 360);
    addOutput(QStringLiteral("vignette"));
}

void VignettePass::start(Vantrel::Orv::RenderCallbacks*) {
    const int width = input<int>(0);
    const int height = input<int>(1);
    if (_mask.isNull() || _mask.width() != width || _mask.height() != height) {
        _mask = FloatImage(width, height);
        const float cx = 0.5f * float(width);
        const float cy = 0.5f * float(height);
        const float reach = std::sqrt(cx * cx + cy * cy);
        for (int y = 0; y < _mask.height(); ++y) {
            Rgb* row = _mask.line(y);
            for (int x = 0; x < _mask.width(); ++x) {
                const float dx = (float(x) + 0.5f - cx) / reach;
                const float dy = (float(y) + 0.5f - cy) / reach;
                const float falloff = 1.0f - 0.65f * std::pow(dx * dx + dy * dy, 1.3f);
                row[x] = {falloff, falloff, falloff};
            }
        }
    }
    setOutput(0, QVariant::fromValue(_mask));
}

CompositePass::CompositePass() {
    addInput(QStringLiteral("color"), QVariant::fromValue(FloatImage()));
    addInput(QStringLiteral("bloom"), QVariant::fromValue(FloatImage()));
    addInput(QStringLiteral("bloomStrength"), 0.6);
    addInput(QStringLiteral("vignette"), QVariant::fromValue(FloatImage()));
    addOutput(QStringLiteral("color"));
}

void CompositePass::start(Vantrel::Orv::RenderCallbacks*) {
    const FloatImage color = input<FloatImage>(0);
    const FloatImage bloom = input<FloatImage>(1);
    const float strength = float(input<double>(2));
    FloatImage vignette = input<FloatImage>(3);
    if (vignette.width() != color.width() || vignette.height() != color.height())
        vignette = FloatImage();

    FloatImage result = newImage(0, color.width(), color.height());
    const float toBloomX = bloom.isNull() ? 0.0f : float(bloom.width()) / float(color.width());
    const float toBloomY = bloom.isNull() ? 0.0f : float(bloom.height()) / float(color.height());
    for (int y = 0; y < result.height(); ++y) {
        const Rgb* in = color.constLine(y);
        const Rgb* mask = vignette.isNull() ? nullptr : vignette.constLine(y);
        Rgb* out = result.line(y);
        for (int x = 0; x < result.width(); ++x) {
            Rgb c = in[x];
            if (!bloom.isNull()) {
                const float bx = (float(x) + 0.5f) * toBloomX;
                const float by = (float(y) + 0.5f) * toBloomY;
                c = c + bloom.sample(bx, by) * strength;
            }
            out[x] = mask ? c * mask[x] : c;
        }
    }
    setOutput(0, QVariant::fromValue(result));
}

}  // namespace OrvDemo
