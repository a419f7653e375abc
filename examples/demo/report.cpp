#include "report.h"

#include "pipeline.h"
#include "stats.h"

#include <Orv/Graph.h>
#include <Orv/RenderPassHelper.h>

#include <algorithm>

namespace OrvDemo {

namespace {

QStringList* g_capture = nullptr;

void routeMessage(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (g_capture) {
        g_capture->append(message);
        return;
    }
    const QByteArray text = message.toLocal8Bit();
    std::FILE* stream = type == QtDebugMsg ? stdout : stderr;
    std::fprintf(stream, "%s\n", text.constData());
    if (type == QtFatalMsg) std::abort();
}

}  // namespace

void installMessageRouting() {
    qInstallMessageHandler(routeMessage);
}

MessageCapture::MessageCapture() {
    g_capture = &_lines;
}
MessageCapture::~MessageCapture() {
    g_capture = nullptr;
}

ProgressLine::ProgressLine(int total, bool enabled) : _total(total), _enabled(enabled) {
    _clock.start();
}

void ProgressLine::update(int done) {
    if (!_enabled) return;
    // Ten refreshes a second are plenty for the eye and keep the terminal out of the timings.
    const qint64 now = _clock.elapsed();
    if (done < _total && _lastShown >= 0 && now - _lastShown < 100) return;
    _lastShown = now;
    const double seconds = elapsedSeconds();
    std::printf("\r  frame %d/%d  %.1f fps ", done, _total, seconds > 0 ? done / seconds : 0.0);
    std::fflush(stdout);
}

void ProgressLine::clear() {
    if (!_enabled || _lastShown < 0) return;
    std::printf("\r%40s\r", "");
    std::fflush(stdout);
    _lastShown = -1;
}

void printPassTimes(const Pipeline& pipeline) {
    using Vantrel::Orv::RenderPassHelper;
    std::printf("Pass times over the last %d runs, in ms:\n",
                Vantrel::Orv::FrameTimer<100>::size());
    std::printf("  %-16s %6s %8s %8s\n", "pass", "runs", "mean", "latest");
    auto row = [](const QString& name, const Vantrel::Orv::FrameTimer<100>& timer) {
        std::printf("  %-16s %6d %8.2f %8.2f\n", name.toLocal8Bit().constData(), timer.count(),
                    timer.mean(), timer.latest());
    };
    for (const Pipeline::Node& node : pipeline.nodes()) {
        const auto* pass =
            dynamic_cast<const RenderPassHelper*>(pipeline.renderer().renderPass(node.ref));
        if (pass) row(node.path, pass->frameTimer());
    }
    row(QStringLiteral("whole frame"), pipeline.renderer().frameTimer());
}

void printLuminance(const Pipeline& pipeline) {
    if (!pipeline.stats() || pipeline.stats()->framesMeasured() == 0) return;
    const LuminanceStatsPass& stats = *pipeline.stats();
    const QVector<int>& bins = stats.histogram();
    const int peak = std::max(1, *std::max_element(bins.begin(), bins.end()));
    static const char kShades[] = " .:-=+*#%@";
    QByteArray chart;
    for (int count : bins) {
        const int level = count == 0 ? 0 : 1 + (count * 8 + peak - 1) / peak;
        chart.append(kShades[std::min(level, 9)]);
    }
    std::printf("Luma of the last frame (stats pass): mean %.2f, dark [%s] bright\n",
                stats.meanLuminance(), chart.constData());
}

}  // namespace OrvDemo
