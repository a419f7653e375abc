// Build-time tool: writes the demo's filmic tone curve file.
// Usage: orv-demo-tonecurve OUTPUT_FILE
#include "tonemap.h"

#include <QFile>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

// A fitted filmic response: a toe in the shadows and a soft shoulder up to white.
float filmic(float x) {
    return std::clamp(x * (2.51f * x + 0.03f) / (x * (2.43f * x + 0.59f) + 0.14f), 0.0f, 1.0f);
}

float srgbEncode(float linear) {
    return linear <= 0.0031308f ? 12.92f * linear : 1.055f * std::pow(linear, 1.0f / 2.4f) - 0.055f;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_FILE\n", argv[0]);
        return 2;
    }
    const int count = 1024;
    const float maxInput = 16.0f;
    QVector<float> samples(count);
    for (int i = 0; i < count; ++i) {
        const float t = float(i) / float(count - 1);
        samples[i] = srgbEncode(filmic(maxInput * t * t));
    }
    QFile file(QFile::decodeName(argv[1]));
    const QByteArray bytes = OrvDemo::ToneCurve::encode(samples, maxInput);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[1]);
        return 1;
    }
    return 0;
}
