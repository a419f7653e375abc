#include "image.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace OrvDemo {

FloatImage::FloatImage(int width, int height) {
    if (width < 1 || height < 1) return;
    const std::size_t count = std::size_t(width) * std::size_t(height);
    _data = std::make_shared<Data>(
        Data{width, height, std::shared_ptr<Rgb>(new Rgb[count](), std::default_delete<Rgb[]>())});
}

FloatImage::FloatImage(int width, int height, std::shared_ptr<Rgb> pixels) {
    if (width < 1 || height < 1 || !pixels) return;
    _data = std::make_shared<Data>(Data{width, height, std::move(pixels)});
}

Rgb FloatImage::sample(float x, float y) const {
    if (!_data) return {};
    const float fx = std::clamp(x - 0.5f, 0.0f, float(width() - 1));
    const float fy = std::clamp(y - 0.5f, 0.0f, float(height() - 1));
    const int x0 = int(fx);
    const int y0 = int(fy);
    const int x1 = std::min(x0 + 1, width() - 1);
    const int y1 = std::min(y0 + 1, height() - 1);
    const float tx = fx - float(x0);
    const float ty = fy - float(y0);
    const Rgb top = constLine(y0)[x0] * (1.0f - tx) + constLine(y0)[x1] * tx;
    const Rgb bottom = constLine(y1)[x0] * (1.0f - tx) + constLine(y1)[x1] * tx;
    return top * (1.0f - ty) + bottom * ty;
}

}  // namespace OrvDemo
