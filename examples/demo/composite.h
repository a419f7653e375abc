#pragma once

#include "demopass.h"
#include "image.h"

namespace OrvDemo {

// Inputs: width, height. Output: vignette, a darkening mask (1 in the centre) of that size.
// The mask depends on the size alone, so it is made again only when the size changes.
class VignettePass : public DemoPass {
public:
    VignettePass();
    void start(Vantrel::Orv::RenderCallbacks* callbacks) override;

private:
    FloatImage _mask;
};

// Inputs: color, bloom, bloomStrength, vignette. Output: color.
// Adds the (upsampled) bloom to the colour and multiplies by the vignette mask. A null bloom or
// mask, the defaults when their passes are off, leaves that step out.
class CompositePass : public DemoPass {
public:
    CompositePass();
    void start(Vantrel::Orv::RenderCallbacks* callbacks) override;
};

}  // namespace OrvDemo
