#pragma once

#include <QMetaType>

#include <memory>

namespace OrvDemo {

// A linear RGB colour; channels may exceed 1 (scene radiance before tone mapping).
struct Rgb {
    float r = 0.0f;
    float g = 0.0f;
    float b = 0.0f;
};

inline Rgb operator+(Rgb a, Rgb b) {
    return {a.r + b.r, a.g + b.g, a.b + b.b};
}
inline Rgb operator*(Rgb a, float s) {
    return {a.r * s, a.g * s, a.b * s};
}
inline Rgb operator*(Rgb a, Rgb b) {
    return {a.r * b.r, a.g * b.g, a.b * b.b};
}
inline float luminance(Rgb c) {
    return 0.2126f * c.r + 0.7152f * c.g + 0.0722f * c.b;
}

// A floating-point RGB image handed between passes inside a QVariant. Copies are handles to
// the same pixels, so a copy costs a reference count, never the pixels. Only the pass that
// created an image writes into it, and only before it publishes the image as an output.
class FloatImage {
public:
    FloatImage() = default;             // null: no pixels, size 0x0
    FloatImage(int width, int height);  // black; null when a side is below 1
    // Over memory the caller placed (an arena): width * height pixels, which it has cleared to
    // black; the image keeps `pixels` alive. Null when a side is below 1 or `pixels` is null.
    FloatImage(int width, int height, std::shared_ptr<Rgb> pixels);

    bool isNull() const { return !_data; }
    int width() const { return _data ? _data->width : 0; }
    int height() const { return _data ? _data->height : 0; }
    bool isSharedWith(const FloatImage& other) const { return _data == other._data; }

    // Row y as width() pixels; y must lie in [0, height()).
    const Rgb* constLine(int y) const { return _data->pixels.get() + std::size_t(y) * width(); }
    Rgb* line(int y) { return _data->pixels.get() + std::size_t(y) * width(); }

    // Bilinear sample at (x, y) in pixel units, pixel centres at +0.5; clamped to the edges.
    Rgb sample(float x, float y) const;

private:
    struct Data {
        int width;
        int height;
        std::shared_ptr<Rgb> pixels;
    };
    std::shared_ptr<Data> _data;
};

}  // namespace OrvDemo

Q_DECLARE_METATYPE(OrvDemo::FloatImage)
