// orv-demo-image-check FILE [MIN_COLOURS]: exits 0 when the picture loads and has at least
// MIN_COLOURS (default 256) distinct colours, so that CI can tell a rendered page from a blank
// or broken one without a browser of its own.
#include <QImage>
#include <QSet>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "Usage: orv-demo-image-check FILE [MIN_COLOURS]\n");
        return 2;
    }
    bool ok = true;
    const int wanted = argc == 3 ? QByteArray(argv[2]).toInt(&ok) : 256;
    if (!ok || wanted < 1) {
        std::fprintf(stderr, "orv-demo-image-check: '%s' is not a colour count\n", argv[2]);
        return 2;
    }
    const QImage image(QString::fromLocal8Bit(argv[1]));
    if (image.isNull()) {
        std::fprintf(stderr, "orv-demo-image-check: %s: not a picture\n", argv[1]);
        return 1;
    }
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) colours.insert(image.pixel(x, y));
    std::printf("%s: %dx%d, %d colours\n", argv[1], image.width(), image.height(),
                int(colours.size()));
    if (colours.size() < wanted) {
        std::fprintf(stderr, "orv-demo-image-check: %s looks blank (%d colours, want %d)\n",
                     argv[1], int(colours.size()), wanted);
        return 1;
    }
    return 0;
}
