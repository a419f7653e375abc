// The demo's intermediate images placed by the memory plan: the picture stays the same, pixel
// for pixel, one pass at a time and with passes in flight, while the images share memory.
#include "pipeline.h"
#include "tonemap.h"

#include <Orv/Memory.h>
#include <Orv/Renderer.h>

#include <QFile>

#include <gtest/gtest.h>

#include <cstring>

using namespace OrvDemo;
namespace Orv = Vantrel::Orv;

namespace {

ToneCurve linearCurve() {
    const QByteArray bytes = ToneCurve::encode({0.0f, 0.5f, 1.0f}, 4.0f);
    auto* data = new unsigned char[size_t(bytes.size())];
    std::memcpy(data, bytes.constData(), size_t(bytes.size()));
    Orv::RawMemory memory(data, quint64(bytes.size()));
    QString error;
    return ToneCurve::read(memory, &error);
}

// The pictures of three frames, with a vignette that is on, then off, then on again.
QVector<QImage> render(bool memoryPlan, int inFlight) {
    QFile file(QStringLiteral(ORV_DEMO_PIPELINE));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    Pipeline pipeline(linearCurve());
    QString error;
    EXPECT_TRUE(pipeline.load(file.readAll(), &error)) << error.toStdString();
    pipeline.setSize(96, 54);
    pipeline.setMemoryPlan(memoryPlan);
    Orv::Renderer& renderer = pipeline.renderer();
    renderer.setMaxPassesInFlight(inFlight);
    QVector<QImage> pictures;
    for (int frame = 0; frame < 3; ++frame) {
        pipeline.setFrame(frame, frame / 30.0);
        pipeline.setEnabled(pipeline.vignetteNode(), frame != 1);
        EXPECT_TRUE(renderer.render(nullptr));
        pictures << pipeline.image();
    }
    if (memoryPlan) {
        const Orv::MemoryPlan plan = renderer.memoryPlan();
        EXPECT_TRUE(plan.error.isEmpty()) << plan.error.toStdString();
        EXPECT_GT(plan.totalSize, plan.heapSize);  // some images share bytes
        EXPECT_GE(plan.heapSize, plan.lowerBound);
        EXPECT_GE(renderer.memoryOffset(pipeline.findNode(QStringLiteral("scene")), 0), 0);
    }
    return pictures;
}

}  // namespace

TEST(DemoMemoryTest, ThePictureIsPixelIdenticalWithAndWithoutTheMemoryPlan) {
    const QVector<QImage> plain = render(false, 1);
    ASSERT_EQ(plain.size(), 3);
    for (const QImage& picture : plain) ASSERT_FALSE(picture.isNull());
    for (int inFlight : {1, 4}) {
        const QVector<QImage> planned = render(true, inFlight);
        ASSERT_EQ(planned.size(), plain.size());
        for (int frame = 0; frame < plain.size(); ++frame)
            EXPECT_TRUE(planned[frame] == plain[frame]) << "frame " << frame << ", " << inFlight;
    }
}
