#pragma once

#include "demopass.h"

#include <QImage>
#include <QVector>

namespace OrvDemo {

// Input: image. No outputs: the host reads the figures of the latest frame from the pass.
// Counts the luma of every pixel into 32 equal bins.
class LuminanceStatsPass : public DemoPass {
public:
    static constexpr int kBins = 32;

    LuminanceStatsPass();
    void start(Vantrel::Orv::RenderCallbacks* callbacks) override;

    const QVector<int>& histogram() const { return _histogram; }  // kBins counts
    double meanLuminance() const { return _mean; }                // 0 to 1
    int framesMeasured() const { return _frames; }

private:
    QVector<int> _histogram = QVector<int>(kBins);
    double _mean = 0.0;
    int _frames = 0;
};

}  // namespace OrvDemo
