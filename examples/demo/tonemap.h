#pragma once

#include "demopass.h"
#include "image.h"

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QVector>

namespace Vantrel {
namespace Orv {
class Memory;
}
}  // namespace Vantrel

namespace OrvDemo {

// A tone curve: display values in [0, 1] (gamma included) for linear inputs in [0, maxInput],
// sampled at maxInput * (i / (n - 1))^2 so that the shadows get most of the samples.
//
// File layout, little-endian: the 8 bytes "ORVTONE1", a uint32 sample count n (2 to 65536),
// a float32 maxInput (above 0), then n float32 samples.
class ToneCurve {
public:
    ToneCurve() = default;  // null: maps nothing

    // Reads a curve from `memory`; on a malformed blob returns a null curve and says why.
    static ToneCurve read(Vantrel::Orv::Memory& memory, QString* error);
    // The file bytes for `samples` (at least 2) over [0, maxInput].
    static QByteArray encode(const QVector<float>& samples, float maxInput);

    bool isNull() const { return _samples.size() < 2; }
    float maxInput() const { return _maxInput; }
    float map(float linear) const;  // interpolated; clamped at both ends

private:
    QVector<float> _samples;
    float _maxInput = 1.0f;
};

// Inputs: color, exposure. Output: image, an 8-bit RGB QImage of the exposed colour put
// through the tone curve.
class ToneMapPass : public DemoPass {
public:
    explicit ToneMapPass(const ToneCurve& curve);
    void start(Vantrel::Orv::RenderCallbacks* callbacks) override;

private:
    ToneCurve _curve;
};

}  // namespace OrvDemo
