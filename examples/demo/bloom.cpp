#include "bloom.h"

#include <QThread>

#include <algorithm>
#include <cmath>

namespace OrvDemo {

FloatImage extractBright(const FloatImage& image, float threshold) {
    FloatImage bright((image.width() + 1) / 2, (image.height() + 1) / 2);
    extractBright(image, threshold, bright);
    return bright;
}

void extractBright(const FloatImage& image, float threshold, FloatImage& bright) {
    const float knee = std::max(0.5f * threshold, 1e-4f);
    for (int y = 0; y < bright.height(); ++y) {
        Rgb* out = bright.line(y);
        for (int x = 0; x < bright.width(); ++x) {
            const Rgb c = image.sample(2.0f * float(x) + 1.0f, 2.0f * float(y) + 1.0f);
            const float lum = luminance(c);
            // Quadratic ramp over [threshold - knee, threshold + knee], linear above.
            const float soft = std::clamp(lum - threshold + knee, 0.0f, 2.0f * knee);
            const float excess = std::max(soft * soft / (4.0f * knee), lum - threshold);
            out[x] = lum > 0.0f ? c * (excess / lum) : Rgb{};
        }
    }
}

QVector<float> gaussianWeights(int radius) {
    radius = std::max(radius, 0);
    QVector<float> weights(2 * radius + 1);
    const float sigma = std::max(0.5f * float(radius), 0.5f);
    float sum = 0.0f;
    for (int k = -radius; k <= radius; ++k) {
        weights[k + radius] = std::exp(-0.5f * float(k * k) / (sigma * sigma));
        sum += weights[k + radius];
    }
    for (float& w : weights) w /= sum;
    return weights;
}

void blurRowsHorizontally(const FloatImage& source, FloatImage& target,
                          const QVector<float>& weights, int firstRow, int endRow) {
    const int radius = weights.size() / 2;
    const int last = source.width() - 1;
    for (int y = firstRow; y < endRow; ++y) {
        const Rgb* in = source.constLine(y);
        Rgb* out = target.line(y);
        for (int x = 0; x <= last; ++x) {
            Rgb sum;
            for (int k = -radius; k <= radius; ++k)
                sum = sum + in[std::clamp(x + k, 0, last)] * weights[k + radius];
            out[x] = sum;
        }
    }
}

void blurRowsVertically(const FloatImage& source, FloatImage& target, const QVector<float>& weights,
                        int firstRow, int endRow) {
    const int radius = weights.size() / 2;
    const int last = source.height() - 1;
    const int width = source.width();
    for (int y = firstRow; y < endRow; ++y) {
        Rgb* out = target.line(y);
        std::fill(out, out + width, Rgb{});
        for (int k = -radius; k <= radius; ++k) {
            const Rgb* in = source.constLine(std::clamp(y + k, 0, last));
            const float w = weights[k + radius];
            for (int x = 0; x < width; ++x) out[x] = out[x] + in[x] * w;
        }
    }
}

BrightPass::BrightPass() {
    addInput(QStringLiteral("color"), QVariant::fromValue(FloatImage()));
    addInput(QStringLiteral("bloomThreshold"), 1.0);
    addOutput(QStringLiteral("bright"));
}

void BrightPass::start(Vantrel::Orv::RenderCallbacks*) {
    const FloatImage color = input<FloatImage>(0);
    FloatImage bright = newImage(0, (color.width() + 1) / 2, (color.height() + 1) / 2);
    extractBright(color, float(input<double>(1)), bright);
    setOutput(0, QVariant::fromValue(bright));
}

// One frame's blur. The horizontal stripes run first; the stripe that finishes last posts
// the vertical ones, and the last vertical stripe marks the job done. The acquire-release
// counter orders every stripe's writes before the next phase and before isFinished().
struct BlurPass::Job {
    FloatImage source;
    FloatImage between;
    FloatImage result;
    QVector<float> weights;
    int stripes = 1;
    std::atomic<int> pending{0};
    std::atomic<bool> done{false};

    static void post(WorkerPool* workers, const std::shared_ptr<Job>& job, bool vertical) {
        for (int s = 0; s < job->stripes; ++s)
            workers->post(
                [workers, job, vertical, s] { job->runStripe(workers, job, vertical, s); });
    }

    void runStripe(WorkerPool* workers, const std::shared_ptr<Job>& self, bool vertical, int s) {
        const int height = source.height();
        const int first = height * s / stripes;
        const int end = height * (s + 1) / stripes;
        if (vertical)
            blurRowsVertically(between, result, weights, first, end);
        else
            blurRowsHorizontally(source, between, weights, first, end);
        if (pending.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
        if (vertical) {
            done.store(true, std::memory_order_release);
            WorkDone::shared().notify();
            return;
        }
        pending.store(stripes, std::memory_order_relaxed);
        post(workers, self, true);
    }
};

BlurPass::BlurPass() : _workers(std::max(QThread::idealThreadCount(), 2)) {
    addInput(QStringLiteral("bright"), QVariant::fromValue(FloatImage()));
    addInput(QStringLiteral("bloomRadius"), 8);
    addOutput(QStringLiteral("bloom"));
}

void BlurPass::start(Vantrel::Orv::RenderCallbacks*) {
    auto job = std::make_shared<Job>();
    job->source = input<FloatImage>(0);
    job->weights = gaussianWeights(std::clamp(input<int>(1), 0, 64));
    job->between = FloatImage(job->source.width(), job->source.height());
    job->result = newImage(0, job->source.width(), job->source.height());
    _job = job;
    if (job->source.isNull()) {
        job->done.store(true, std::memory_order_release);
        return;
    }
    job->stripes = std::min(2 * _workers.size(), job->source.height());
    job->pending.store(job->stripes, std::memory_order_relaxed);
    Job::post(&_workers, job, false);
}

bool BlurPass::isFinished() const {
    return !_job || _job->done.load(std::memory_order_acquire);
}

void BlurPass::endFrame(Vantrel::Orv::RenderCallbacks* callbacks) {
    if (_job) setOutput(0, QVariant::fromValue(_job->result));
    _job.reset();
    DemoPass::endFrame(callbacks);
}

}  // namespace OrvDemo
