#include "tonemap.h"

#include <Orv/Memory.h>

#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace OrvDemo {

namespace {

constexpr char kMagic[8] = {'O', 'R', 'V', 'T', 'O', 'N', 'E', '1'};
constexpr quint64 kHeaderSize = 16;
constexpr quint32 kMaxSamples = 65536;

float readFloat(const unsigned char* bytes) {
    const quint32 bits = qFromLittleEndian<quint32>(bytes);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

void appendFloat(QByteArray& bytes, float value) {
    quint32 bits;
    std::memcpy(&bits, &value, sizeof bits);
    char little[4];
    qToLittleEndian(bits, little);
    bytes.append(little, 4);
}

}  // namespace

ToneCurve ToneCurve::read(Vantrel::Orv::Memory& memory, QString* error) {
    auto fail = [error](const QString& why) {
        if (error) *error = why;
        return ToneCurve();
    };
    if (memory.size() < kHeaderSize) return fail(QStringLiteral("too short for a tone curve"));
    unsigned char* header = memory.get(0, kHeaderSize);
    if (!header) return fail(QStringLiteral("cannot be read"));
    const bool magicOk = std::memcmp(header, kMagic, sizeof kMagic) == 0;
    const quint32 count = qFromLittleEndian<quint32>(header + 8);
    const float maxInput = readFloat(header + 12);
    memory.release(header);

    if (!magicOk) return fail(QStringLiteral("not a tone curve (bad signature)"));
    if (count < 2 || count > kMaxSamples)
        return fail(QStringLiteral("bad sample count %1").arg(count));
    if (!(maxInput > 0.0f) || !std::isfinite(maxInput))
        return fail(QStringLiteral("bad input range"));
    if (memory.size() != kHeaderSize + 4 * quint64(count))
        return fail(QStringLiteral("size does not match its %1 samples").arg(count));

    unsigned char* data = memory.get(kHeaderSize, 4 * quint64(count));
    if (!data) return fail(QStringLiteral("cannot be read"));
    ToneCurve curve;
    curve._maxInput = maxInput;
    curve._samples.resize(int(count));
    bool finite = true;
    for (quint32 i = 0; i < count; ++i) {
        const float v = readFloat(data + 4 * i);
        finite = finite && std::isfinite(v);
        curve._samples[int(i)] = std::clamp(v, 0.0f, 1.0f);
    }
    memory.release(data);
    if (!finite) return fail(QStringLiteral("samples that are not numbers"));
    return curve;
}

QByteArray ToneCurve::encode(const QVector<float>& samples, float maxInput) {
    QByteArray bytes(kMagic, sizeof kMagic);
    char count[4];
    qToLittleEndian(quint32(samples.size()), count);
    bytes.append(count, 4);
    appendFloat(bytes, maxInput);
    for (float v : samples) appendFloat(bytes, v);
    return bytes;
}

float ToneCurve::map(float linear) const {
    if (isNull()) return 0.0f;
    const int last = _samples.size() - 1;
    const float position = std::sqrt(std::clamp(linear / _maxInput, 0.0f, 1.0f)) * float(last);
    const int i = std::min(int(position), last - 1);
    const float t = position - float(i);
    return _samples[i] * (1.0f - t) + _samples[i + 1] * t;
}

ToneMapPass::ToneMapPass(const ToneCurve& curve) : _curve(curve) {
    addInput(QStringLiteral("color"), QVariant::fromValue(FloatImage()));
    addInput(QStringLiteral("exposure"), 1.0);
    addOutput(QStringLiteral("image"));
}

void ToneMapPass::start(Vantrel::Orv::RenderCallbacks*) {
    const FloatImage color = input<FloatImage>(0);
    const float exposure = float(input<double>(1));
    if (color.isNull()) {
        setOutput(0, QImage());
        return;
    }
    QImage image(color.width(), color.height(), QImage::Format_RGB888);
    auto toByte = [this, exposure](float linear) {
        return uchar(std::lround(255.0f * _curve.map(linear * exposure)));
    };
    for (int y = 0; y < color.height(); ++y) {
        const Rgb* in = color.constLine(y);
        uchar* out = image.scanLine(y);
        for (int x = 0; x < color.width(); ++x) {
            out[3 * x] = toByte(in[x].r);
            out[3 * x + 1] = toByte(in[x].g);
            out[3 * x + 2] = toByte(in[x].b);
        }
    }
    setOutput(0, image);
}

}  // namespace OrvDemo
