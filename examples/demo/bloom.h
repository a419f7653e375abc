#pragma once

#include "demopass.h"
#include "image.h"
#include "workerpool.h"

#include <QVector>

#include <atomic>
#include <memory>

namespace OrvDemo {

// Half-resolution copy of `image` keeping only what shines above `threshold` (in luminance),
// with a soft knee so that highlights do not switch on abruptly.
FloatImage extractBright(const FloatImage& image, float threshold);
// The same into `bright`, a black image of half the size (rounded up).
void extractBright(const FloatImage& image, float threshold, FloatImage& bright);

// Normalised Gaussian weights for offsets -radius..radius (radius 0 gives the single weight 1).
QVector<float> gaussianWeights(int radius);

// One direction of a separable blur over rows [firstRow, endRow) of `target`, which has the
// size of `source`; edges are clamped.
void blurRowsHorizontally(const FloatImage& source, FloatImage& target,
                          const QVector<float>& weights, int firstRow, int endRow);
void blurRowsVertically(const FloatImage& source, FloatImage& target, const QVector<float>& weights,
                        int firstRow, int endRow);

// Inputs: color, bloomThreshold. Output: bright (half resolution).
class BrightPass : public DemoPass {
public:
    BrightPass();
    void start(Vantrel::Orv::RenderCallbacks* callbacks) override;
};

// Inputs: bright, bloomRadius. Output: bloom.
// Blurs on a pool of worker threads: start() hands the work over and returns at once,
// isFinished() turns true when the last stripe is done, and endFrame() publishes the result.
class BlurPass : public DemoPass {
public:
    BlurPass();

    void start(Vantrel::Orv::RenderCallbacks* callbacks) override;
    bool isFinished() const override;
    void endFrame(Vantrel::Orv::RenderCallbacks* callbacks) override;

private:
    struct Job;
    WorkerPool _workers;
    std::shared_ptr<Job> _job;  // the frame in flight, or null
};

}  // namespace OrvDemo
