#include "stats.h"

#include <algorithm>

namespace OrvDemo {

LuminanceStatsPass::LuminanceStatsPass() {
    addInput(QStringLiteral("image"), QImage());
}

void LuminanceStatsPass::start(Vantrel::Orv::RenderCallbacks*) {
    const QImage image = input<QImage>(0).convertToFormat(QImage::Format_RGB888);
    _histogram.fill(0);
    _mean = 0.0;
    if (image.isNull()) return;
    qint64 total = 0;
    for (int y = 0; y < image.height(); ++y) {
        const uchar* row = image.constScanLine(y);
        for (int x = 0; x < image.width(); ++x) {
            const int luma = (54 * row[3 * x] + 183 * row[3 * x + 1] + 19 * row[3 * x + 2]) >> 8;
            ++_histogram[std::min(luma * kBins / 256, kBins - 1)];
            total += luma;
        }
    }
    _mean = double(total) / (255.0 * double(image.width()) * double(image.height()));
    ++_frames;
}

}  // namespace OrvDemo
