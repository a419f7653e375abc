// orv-demo-image-check FILE [MIN_COLOURS [--luma LOW HIGH]]: exits 0 when the picture loads and
// has at least MIN_COLOURS (default 256) distinct colours, and a mean luma (0 to 1) from LOW to
// HIGH when asked, so that CI can tell a rendered picture from a blank or broken one without a
// browser of its own.
#include <QImage>
#include <QSet>

#include <cstdio>

int main(int argc, char** argv) {
    const bool luma = argc == 6 && QByteArray(argv[3]) == "--luma";
    if ((argc < 2 || argc > 3) && !luma) {
        std::fprintf(stderr, "Usage: orv-demo-image-check FILE [MIN_COLOURS [--luma LOW HIGH]]\n");
        return 2;
    }
    bool ok = true;
    const int wanted = argc >= 3 ? QByteArray(argv[2]).toInt(&ok) : 256;
    if (!ok || wanted < 1) {
        std::fprintf(stderr, "orv-demo-image-check: '%s' is not a colour count\n", argv[2]);
        return 2;
    }
    bool lowOk = true;
    bool highOk = true;
    const double low = luma ? QByteArray(argv[4]).toDouble(&lowOk) : 0.0;
    const double high = luma ? QByteArray(argv[5]).toDouble(&highOk) : 1.0;
    if (!lowOk || !highOk || !(low <= high)) {
        std::fprintf(stderr, "orv-demo-image-check: '%s %s' is not a luma range\n", argv[4],
                     argv[5]);
        return 2;
    }
    const QImage image(QString::fromLocal8Bit(argv[1]));
    if (image.isNull()) {
        std::fprintf(stderr, "orv-demo-image-check: %s: not a picture\n", argv[1]);
        return 1;
    }
    QSet<QRgb> colours;
    double lumaSum = 0.0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            colours.insert(pixel);
            lumaSum +=
                (0.2126 * qRed(pixel) + 0.7152 * qGreen(pixel) + 0.0722 * qBlue(pixel)) / 255;
        }
    }
    const double meanLuma = lumaSum / (double(image.width()) * double(image.height()));
    std::printf("%s: %dx%d, %d colours, mean luma %.2f\n", argv[1], image.width(), image.height(),
                int(colours.size()), meanLuma);
    if (meanLuma < low || meanLuma > high) {
        std::fprintf(stderr, "orv-demo-image-check: %s has mean luma %.2f, want %.2f to %.2f\n",
                     argv[1], meanLuma, low, high);
        return 1;
    }
    if (colours.size() < wanted) {
        std::fprintf(stderr, "orv-demo-image-check: %s looks blank (%d colours, want %d)\n",
                     argv[1], int(colours.size()), wanted);
        return 1;
    }
    return 0;
}
