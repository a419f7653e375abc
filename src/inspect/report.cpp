// The report page: one HTML file that shows at a glance what the latest frame did and where the
// time of the kept frames went. No script and nothing fetched, so that it opens the same
// anywhere, headless browsers included. The page is also well-formed XML, and its figures are
// in data- attributes, so that tools (and tests) read it without scraping the wording.
#include <Orv/Renderer.h>
#include <Orv/Report.h>

#include "graph/side_p.h"
#include "inspect/inspect_p.h"
#include "inspect/svg_p.h"
#include "render/renderer_p.h"

#include <QHash>
#include <QPointF>
#include <QStringList>

#include <algorithm>
#include <cmath>
#include <map>

namespace Vantrel {
namespace Orv {

namespace {

using detail::outcomeLook;
using detail::SvgChart;

QString esc(const QString& text) {
    return detail::xmlEscaped(text);
}

// ` name="value"`, the value escaped.
QString attribute(const char* name, const QString& value) {
    return QLatin1Char(' ') + QLatin1String(name) + QStringLiteral("=\"") + esc(value) +
           QLatin1Char('"');
}

QString ms(double value) {
    return QString::number(value, 'f', value < 10.0 ? 2 : 1) + QStringLiteral(" ms");
}

// A figure for a data- attribute: milliseconds to the microsecond.
QString msFigure(double value) {
    return QString::number(value, 'f', 3);
}

QString outcomeWord(NodeOutcome outcome) {
    return QString::fromLatin1(outcomeLook(outcome).word);
}

// A round step for axis labels that gives at most `maxTicks` of them over `range`.
double tickStep(double range, int maxTicks) {
    double step = 0.001;
    for (int k = 0; range / step > maxTicks; ++k) step *= (k % 3 == 1) ? 2.5 : 2.0;
    return step;
}

// `text` without the spans from each `open` to the next `close`, both included; an unclosed
// span stays. One pass, so that a large SVG costs no more than its length.
QString withoutSpans(const QString& text, const QString& open, const QString& close) {
    QString kept;
    kept.reserve(text.size());
    int from = 0;
    for (;;) {
        const int start = text.indexOf(open, from);
        const int end = start < 0 ? -1 : text.indexOf(close, start + open.size());
        if (end < 0) break;
        kept.append(text.constData() + from, start - from);
        from = end + close.size();
    }
    kept.append(text.constData() + from, text.size() - from);
    return kept;
}

// Passes that did not run and that the page explains in the renderer's words.
constexpr int kExplained = 100;
// Outputs the lifetime chart draws.
constexpr int kLifetimeRows = 200;
// Frames whose history resets the page lists.
constexpr int kResetRows = 100;

const QString kInk = QStringLiteral("#1f2430");
const QString kMuted = QStringLiteral("#6b7280");
const QString kGrid = QStringLiteral("#e3e6ec");

// What the page says of one pass.
struct PassRow {
    int node;
    QString path;
    NodeOutcome outcome;
    QString explanation;
    int runs = 0;  // in the kept frames
    double meanMs = 0.0;
    double latestMs = -1.0;  // -1 when the latest frame did not time it
};

// A span of the latest frame's timeline, in ms from the frame's start.
struct TimelineSpan {
    QString name;
    int track;  // 0 is the frame itself
    double startMs;
    double durationMs;
    bool failed;
};

// `<section id="id"><h2>heading</h2>`
QString sectionStart(const char* id, const QString& heading) {
    return QStringLiteral("<section") + attribute("id", QLatin1String(id)) +
           QStringLiteral("><h2>") + esc(heading) + QStringLiteral("</h2>");
}

class ReportWriter {
public:
    ReportWriter(const Renderer& renderer, const ReportContents& contents)
        : _renderer(renderer), _d(detail::RendererAccess::data(renderer)), _contents(contents) {
        collectPasses();
    }

    QByteArray write() const {
        const QString title =
            _contents.title.isEmpty() ? QStringLiteral("Frame report") : _contents.title;
        QString html = QStringLiteral(
                           "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\"/>"
                           "<meta name=\"viewport\" content=\"width=device-width, "
                           "initial-scale=1\"/><title>") +
                       esc(title) + QStringLiteral("</title><style>");
        html += QLatin1String(kStyle);
        html += QStringLiteral("</style></head><body>\n");
        html += header(title) + QStringLiteral("<main>\n");
        html += latestFrame() + QLatin1Char('\n');
        html += passTimes() + QLatin1Char('\n');
        html += timeline() + QLatin1Char('\n');
        html += lifetimes() + QLatin1Char('\n');
        html += graph() + QLatin1Char('\n');
        html += histogram() + QLatin1Char('\n');
        html += historyResets();
        html += QStringLiteral("</main></body></html>\n");
        return html.toUtf8();
    }

private:
    static const char kStyle[];

    // The kept frames, oldest first.
    template <typename F>
    void forEachTrace(F f) const {
        for (size_t k = 0; k < _d.traces.size(); ++k) f(_d.keptTrace(k));
    }

    void collectPasses() {
        QHash<int, std::pair<int, qint64>> times;  // node -> (runs, total ns)
        forEachTrace([&times](const detail::FrameTrace& trace) {
            for (const detail::PassSpan& span : trace.spans) {
                auto& entry = times[span.node];
                ++entry.first;
                entry.second += std::max<qint64>(span.end - span.start, 0);
            }
        });
        const Graph& graph = _d.graph;
        int explained = 0;
        for (int node = 0; node < graph.numNodesGlobal(); ++node) {
            if (!graph.isValidNode(node) || !_renderer.renderPass(node)) continue;
            PassRow row;
            row.node = node;
            row.path = graph.nodePath(node);
            row.outcome = _renderer.outcome(node);
            // explain walks the graph, so the page asks it only about the first passes that
            // did not run, the ones a reader looks for; the rest get their outcome.
            if (row.outcome != NodeOutcome::Ran && explained < kExplained) {
                row.explanation = _renderer.explain(node);
                ++explained;
            } else {
                row.explanation = row.path + QStringLiteral(": ") + outcomeWord(row.outcome);
            }
            const auto timed = times.value(node);
            row.runs = timed.first;
            row.meanMs = timed.first > 0 ? double(timed.second) / timed.first / 1e6 : 0.0;
            const qint64 latest = _renderer.latestPassTime(node);
            row.latestMs = latest >= 0 ? double(latest) / 1e6 : -1.0;
            _passes.push_back(row);
        }
        forEachTrace([this](const detail::FrameTrace& trace) {
            _frameMs.push_back(double(trace.end - trace.start) / 1e6);
        });
    }

    static QString badge(NodeOutcome outcome) {
        const bool faded = outcome == NodeOutcome::NotNeeded || outcome == NodeOutcome::Unknown;
        return QStringLiteral("<span class=\"badge") +
               (faded ? QStringLiteral(" faded\"") : QStringLiteral("\"")) +
               attribute("style", QStringLiteral("background:") +
                                      QLatin1String(outcomeLook(outcome).colour)) +
               QLatin1Char('>') + esc(outcomeWord(outcome)) + QStringLiteral("</span>");
    }

    // A figure in the header; `name` is its data-stat, for readers of the page.
    static QString statCard(const char* name, const QString& value, const QString& label) {
        return QStringLiteral("<div class=\"stat\"") + attribute("data-stat", QLatin1String(name)) +
               QStringLiteral("><b>") + esc(value) + QStringLiteral("</b><span>") + esc(label) +
               QStringLiteral("</span></div>");
    }

    QString header(const QString& title) const {
        int ran = 0;
        for (const PassRow& pass : _passes) ran += pass.outcome == NodeOutcome::Ran;
        QString html = QStringLiteral("<header><div class=\"inner\"><h1>") + esc(title) +
                       QStringLiteral("</h1>");
        if (!_contents.summary.isEmpty())
            html += QStringLiteral("<p>") + esc(_contents.summary) + QStringLiteral("</p>");
        html += QStringLiteral("<div class=\"cards\">");
        if (!_frameMs.empty()) {
            std::vector<double> sorted = _frameMs;
            std::sort(sorted.begin(), sorted.end());
            html += statCard("frames-timed", QString::number(sorted.size()),
                             QStringLiteral("frames timed"));
            html += statCard("median-frame", ms(sorted[(sorted.size() - 1) / 2]),
                             QStringLiteral("median frame"));
            html += statCard("slowest-frame", ms(sorted.back()), QStringLiteral("slowest frame"));
        }
        html += statCard(
            "passes-ran",
            QString::number(ran) + QStringLiteral(" of ") + QString::number(_passes.size()),
            QStringLiteral("passes ran in the latest frame"));
        return html + QStringLiteral("</div></div></header>");
    }

    QString latestFrame() const {
        QString html = sectionStart("latest-frame", QStringLiteral("The latest frame")) +
                       QStringLiteral("<div class=\"split\">");
        if (!_contents.picture.isEmpty()) {
            // Browsers tell PNG from JPEG by the bytes, whatever the URI's type says.
            html += QStringLiteral(
                        "<div class=\"frame\"><img alt=\"The latest frame\" "
                        "src=\"data:image/png;base64,") +
                    QString::fromLatin1(_contents.picture.toBase64()) +
                    QStringLiteral("\"/></div>");
        }
        html += QStringLiteral("<ul class=\"passes\">");
        if (_passes.isEmpty()) html += QStringLiteral("<li>The renderer has no passes.</li>");
        for (const PassRow& pass : _passes) {
            html += QStringLiteral("<li") + attribute("data-pass", pass.path) +
                    attribute("data-outcome", outcomeWord(pass.outcome)) + QLatin1Char('>') +
                    badge(pass.outcome) + QStringLiteral("<b>") + esc(pass.path) +
                    QStringLiteral("</b>");
            // Why a pass ran is the common case; the reasons worth reading are the others.
            if (pass.outcome != NodeOutcome::Ran)
                html += QStringLiteral("<span class=\"why\">") + esc(pass.explanation) +
                        QStringLiteral("</span>");
            html += QStringLiteral("</li>");
        }
        return html + QStringLiteral("</ul></div></section>");
    }

    QString passTimes() const {
        QString html = sectionStart("pass-times", QStringLiteral("Where the time went"));
        if (_d.traces.empty())
            return html + QStringLiteral(
                              "<p class=\"note\">No frame was timed: switch timing on "
                              "(Renderer::setTimingEnabled) for pass times, the timeline and "
                              "the frame-time histogram.</p></section>");
        double longest = 0.0;
        for (const PassRow& pass : _passes)
            longest = std::max({longest, pass.meanMs, pass.latestMs});
        const auto percent = [longest](double value) -> QString {
            return QString::number(longest > 0 ? 100.0 * value / longest : 0.0, 'f', 2) +
                   QLatin1Char('%');
        };
        html += QStringLiteral("<div class=\"bars\">");
        for (const PassRow& pass : _passes) {
            html += QStringLiteral("<span class=\"name\">") + esc(pass.path) +
                    QStringLiteral("</span><div class=\"track\"") +
                    attribute("title", pass.explanation) + attribute("data-pass", pass.path) +
                    attribute("data-runs", QString::number(pass.runs)) +
                    attribute("data-mean-ms", msFigure(pass.meanMs));
            if (pass.latestMs >= 0) html += attribute("data-latest-ms", msFigure(pass.latestMs));
            html += QStringLiteral("><div class=\"bar\"") +
                    attribute("style", QStringLiteral("width:") + percent(pass.meanMs) +
                                           QStringLiteral(";background:") +
                                           QLatin1String(outcomeLook(pass.outcome).colour)) +
                    QStringLiteral("></div>");
            if (pass.latestMs >= 0)
                html += QStringLiteral("<div class=\"tick\"") +
                        attribute("style", QStringLiteral("left:calc(") + percent(pass.latestMs) +
                                               QStringLiteral(" - 1px)")) +
                        QStringLiteral("></div>");
            html += QStringLiteral("</div><span class=\"value\">") + ms(pass.meanMs) +
                    QStringLiteral(" <small>mean of ") + QString::number(pass.runs) +
                    QStringLiteral(" runs");
            if (pass.latestMs >= 0) html += QStringLiteral(", latest ") + ms(pass.latestMs);
            html += QStringLiteral("</small></span>");
        }
        return html + QStringLiteral(
                          "</div><p class=\"note\">Bars: each pass's mean time over the kept "
                          "frames, coloured by its outcome in the latest frame; the dark tick "
                          "marks its time in the latest frame.</p></section>");
    }

    std::vector<TimelineSpan> latestSpans() const {
        std::vector<TimelineSpan> spans;
        if (_d.traces.empty()) return spans;
        const detail::FrameTrace& trace = _d.keptTrace(_d.traces.size() - 1);
        const auto msFromStart = [&trace](qint64 ns) { return double(ns - trace.start) / 1e6; };
        spans.push_back(TimelineSpan{QStringLiteral("frame ") + QString::number(trace.number), 0,
                                     0.0, msFromStart(trace.end), false});
        const std::vector<int> tracks = detail::spanTracks(trace);
        for (size_t s = 0; s < trace.spans.size(); ++s) {
            const detail::PassSpan& span = trace.spans[s];
            const QString name = _d.graph.isValidNode(span.node)
                                     ? _d.graph.nodePath(span.node)
                                     : QStringLiteral("node ") + QString::number(span.node);
            spans.push_back(TimelineSpan{name, tracks[s], msFromStart(span.start),
                                         double(span.end - span.start) / 1e6, span.errorCode != 0});
        }
        return spans;
    }

    QString timeline() const {
        const std::vector<TimelineSpan> spans = latestSpans();
        if (spans.empty()) return QString();
        int tracks = 0;
        double total = 0.0;
        for (const TimelineSpan& span : spans) {
            tracks = std::max(tracks, span.track);
            total = std::max(total, span.startMs + span.durationMs);
        }
        const double left = 90, right = 20, top = 24, row = 30, width = 1000;
        const double height = top + row * (tracks + 1) + 8;
        const double scale = (width - left - right) / std::max(total, 1e-6);
        const double charWidth = 7.0;  // of the 12 px labels, near enough to place them
        SvgChart chart(width, height);
        const double step = tickStep(total, 10);
        for (int k = 0; k * step <= total + 1e-9; ++k) {
            const double t = k * step, x = left + t * scale;
            chart.line(x, top - 4, x, height - 4, kGrid);
            chart.text(x, 14, QString::number(t, 'g', 4) + QStringLiteral(" ms"), kMuted, "middle");
        }
        for (int track = 0; track <= tracks; ++track)
            chart.text(4, top + row * track + 19,
                       track == 0 ? QStringLiteral("frame")
                                  : QStringLiteral("passes ") + QString::number(track),
                       kMuted);
        // Where each track's next span starts, so that a label beside its bar stops short of it.
        std::vector<double> nextStart(spans.size(), width - right);
        std::map<int, size_t> lastOnTrack;
        for (size_t s = 0; s < spans.size(); ++s) {
            auto it = lastOnTrack.find(spans[s].track);
            if (it != lastOnTrack.end()) nextStart[it->second] = left + spans[s].startMs * scale;
            lastOnTrack[spans[s].track] = s;
        }
        QStringList keyed;  // spans too short for a label, numbered under the chart
        for (size_t s = 0; s < spans.size(); ++s) {
            const TimelineSpan& span = spans[s];
            const double x = left + span.startMs * scale, y = top + row * span.track + 3;
            const double w = std::max(span.durationMs * scale, 1.5);
            const QString fill =
                span.track == 0
                    ? QStringLiteral("#3b5ba9")
                    : QLatin1String(
                          outcomeLook(span.failed ? NodeOutcome::Failed : NodeOutcome::Ran).colour);
            chart.beginGroup(span.name + QStringLiteral(": ") + ms(span.durationMs),
                             {{"data-span", span.name},
                              {"data-track", QString::number(span.track)},
                              {"data-start-ms", msFigure(span.startMs)},
                              {"data-ms", msFigure(span.durationMs)}});
            chart.rect(
                x, y, w, row - 6, fill,
                {{"fill-opacity", span.track == 0 ? QStringLiteral("0.25") : QStringLiteral("1")}});
            // Inside the bar where it fits, else beside it up to the next bar on its row, else
            // a number with the name in the key below.
            const double labelWidth = charWidth * span.name.size() + 8;
            QString label = span.name;
            double labelX = x + 5;
            if (w < labelWidth) {
                labelX = x + w + 3;
                if (nextStart[s] - labelX < labelWidth) {
                    keyed << span.name + QStringLiteral(" (") + ms(span.durationMs) +
                                 QLatin1Char(')');
                    label = QString::number(keyed.size());
                    if (nextStart[s] - labelX < charWidth * label.size()) labelX = x;
                }
            }
            chart.text(labelX, y + 16, label, span.track == 0 ? QStringLiteral("#23305a") : kInk);
            chart.endGroup();
        }
        QString html =
            sectionStart("timeline", QStringLiteral("Timeline of the latest timed frame")) +
            QStringLiteral("<div class=\"chart\">") + chart.take() + QStringLiteral("</div>");
        if (!keyed.isEmpty()) {
            html += QStringLiteral("<p class=\"key\">");
            for (int k = 0; k < keyed.size(); ++k) {
                if (k > 0) html += QStringLiteral(" \u00b7 ");
                html += QStringLiteral("<span") + attribute("data-key", QString::number(k + 1)) +
                        QLatin1Char('>') + QString::number(k + 1) + QLatin1Char(' ') +
                        esc(keyed[k]) + QStringLiteral("</span>");
            }
            html += QStringLiteral("</p>");
        }
        return html + QStringLiteral(
                          "<p class=\"note\">Passes that overlap in time sit on separate rows; "
                          "Renderer::traceJson has every kept frame for chrome://tracing or "
                          "Perfetto.</p></section>");
    }

    // One bar per output over the schedule, from the step that makes it to the last that reads
    // it, coloured by where the memory plan put it; a chart of thousands of rows helps no one,
    // so it stops at kLifetimeRows.
    QString lifetimes() const {
        const QVector<OutputLifetime> lifetimes = _renderer.outputLifetimes();
        if (lifetimes.isEmpty()) return QString();
        const MemoryPlan plan = _renderer.memoryPlan();
        // Outputs read by history inputs have two more places after the lifetimes' own.
        const bool placed = plan.error.isEmpty() && plan.offsets.size() >= lifetimes.size();
        int steps = 0;
        for (const OutputLifetime& life : lifetimes)
            steps = std::max({steps, life.producerStep + 1, life.lastReaderStep + 1});
        const int rows = std::min(int(lifetimes.size()), kLifetimeRows);
        const double left = 200, right = 20, top = 24, rowHeight = 20, width = 1000;
        const double column = (width - left - right) / steps;
        const double height = top + rowHeight * rows + 8;
        SvgChart chart(width, height);
        const int step = std::max(1, int(tickStep(steps, 12)));
        for (int s = 0; s < steps; s += step) {
            chart.line(left + s * column, top - 4, left + s * column, height - 4, kGrid);
            chart.text(left + (s + 0.5) * column, 14, QString::number(s), kMuted, "middle");
        }
        QHash<QPair<int, int>, int> rowOf;  // (node, output) -> row, of the rows drawn
        QStringList names;                  // by row
        for (int l = 0; l < rows; ++l) {
            const OutputLifetime& life = lifetimes[l];
            const bool live = _d.graph.isValidNode(life.node);
            const QString name =
                (live ? _d.graph.nodePath(life.node)
                      : QStringLiteral("node ") + QString::number(life.node)) +
                QLatin1Char('.') +
                (live ? detail::portLabel(_d.graph, life.node, detail::Side::Output, life.output)
                      : QStringLiteral("output ") + QString::number(life.output));
            rowOf.insert({life.node, life.output}, l);
            names << name;
            // This frame's place, which for an output of two places is not its lifetime's.
            const qint64 offset = placed ? _renderer.memoryOffset(life.node, life.output) : -1;
            const int last = std::max(life.producerStep, life.lastReaderStep);
            // Low offsets blue, high ones orange; what the plan did not place is grey.
            QString fill = QStringLiteral("#9aa3b2");
            if (offset >= 0 && plan.heapSize > 0)
                fill = QStringLiteral("hsl(") +
                       QString::number(220 - 190 * double(offset) / double(plan.heapSize), 'f', 0) +
                       QStringLiteral(",65%,50%)");
            QString tip = name + QStringLiteral(": steps ") + QString::number(life.producerStep) +
                          QStringLiteral(" to ") + QString::number(last);
            if (life.outlivesFrame)
                tip += QStringLiteral(", kept past the frame");
            else if (offset >= 0)
                tip += QStringLiteral(", at byte ") + QString::number(offset) +
                       QStringLiteral(" of ") + QString::number(plan.heapSize);
            const double y = top + rowHeight * l;
            chart.beginGroup(
                tip, {{"data-output", name},
                      {"data-first-step", QString::number(life.producerStep)},
                      {"data-last-step", QString::number(last)},
                      {"data-offset", QString::number(offset)},
                      {"data-outlives-frame",
                       life.outlivesFrame ? QStringLiteral("true") : QStringLiteral("false")}});
            const QString shown =
                name.size() > 28 ? QStringLiteral("\u2026") + name.right(27) : name;
            chart.text(left - 8, y + 14, shown, kInk, "end");
            chart.rect(left + life.producerStep * column + 1, y + 3,
                       std::max((last - life.producerStep + 1) * column - 2, 1.5), rowHeight - 6,
                       fill,
                       {{"fill-opacity",
                         life.outlivesFrame ? QStringLiteral("0.45") : QStringLiteral("1")}});
            chart.endGroup();
        }
        const SyncPlan sync = _renderer.syncPlan();
        const int ticks =
            transitionTicks(sync, rowOf, names, rowHeight, &chart, [&](int step, int row) {
                return QPointF(left + step * column, top + row * rowHeight);
            });
        QString note = QStringLiteral(
            "Each bar runs from the step that makes an output to the last step that reads it in "
            "the latest frame's schedule");
        if (placed)
            note += QStringLiteral(
                        "; its colour is its place in the memory plan's heap, blue at the bottom "
                        "to orange at the top (heap ") +
                    QString::number(plan.heapSize) + QStringLiteral(" bytes, lower bound ") +
                    QString::number(plan.lowerBound) + QStringLiteral(", ") +
                    QString::number(plan.totalSize) +
                    QStringLiteral(
                        " without sharing); grey bars have no place, faded ones outlive the "
                        "frame");
        else
            note += QStringLiteral(
                "; faded ones outlive the frame. With Renderer::setMemoryPlanning the bars are "
                "coloured by their place in one heap");
        if (sync.numSteps() > 0)
            note += QStringLiteral(
                "; a tick on a bar is a transition of the synchronisation plan, at the step it "
                "comes before, coloured by its reason (hover over it for why)");
        if (lifetimes.size() > rows)
            note += QStringLiteral("; the first ") + QString::number(rows) +
                    QStringLiteral(" of ") + QString::number(lifetimes.size()) +
                    QStringLiteral(" outputs are shown");
        QString html = sectionStart("lifetimes", QStringLiteral("Output lifetimes")) +
                       QStringLiteral("<div class=\"chart\"");
        if (placed)
            html += attribute("data-heap-size", QString::number(plan.heapSize)) +
                    attribute("data-lower-bound", QString::number(plan.lowerBound)) +
                    attribute("data-total-size", QString::number(plan.totalSize));
        if (sync.numSteps() > 0) html += attribute("data-transitions", QString::number(ticks));
        html += QLatin1Char('>') + chart.take() + QStringLiteral("</div>");
        if (sync.numSteps() > 0) {
            html += QStringLiteral("<div class=\"legend\">");
            for (const Transition::Reason reason : detail::kReasons) html += reasonBadge(reason);
            html += QStringLiteral("</div>");
        }
        return html + QStringLiteral("<p class=\"note\">") + esc(note) +
               QStringLiteral(".</p></section>");
    }

    static QString reasonBadge(Transition::Reason reason) {
        return QStringLiteral("<span class=\"badge\"") +
               attribute("style", QStringLiteral("background:") +
                                      QLatin1String(detail::reasonColour(reason))) +
               attribute("data-reason", QLatin1String(reasonName(reason))) + QLatin1Char('>') +
               esc(QLatin1String(reasonName(reason))) + QStringLiteral("</span>");
    }

    // A tick on the bar of each transition's output, at the step it comes before; ticks of one
    // bar and step sit side by side. `corner(step, row)` is where a step's column meets a row.
    // Returns how many were drawn (outputs past the chart's rows have none).
    template <typename Corner>
    int transitionTicks(const SyncPlan& sync, const QHash<QPair<int, int>, int>& rowOf,
                        const QStringList& names, double rowHeight, SvgChart* chart,
                        Corner corner) const {
        QHash<QPair<int, int>, int> atStep;  // (row, step) -> ticks already there
        int drawn = 0;
        for (const Transition& t : sync.transitions) {
            const int row = rowOf.value({t.node, t.output}, -1);
            if (row < 0) continue;
            const int k = atStep[{row, t.step}]++;
            const QPointF at = corner(t.step, row);
            chart->beginGroup(detail::transitionWhy(_d.graph, sync, t),
                              {{"data-transition", QLatin1String(reasonName(t.reason))},
                               {"data-resource", names.at(row)},
                               {"data-step", QString::number(t.step)},
                               {"data-wait-step", QString::number(t.waitStep)},
                               {"data-from-usage", QString::number(t.fromUsage)},
                               {"data-to-usage", QString::number(t.toUsage)}});
            chart->rect(at.x() + 1 + 5 * k, at.y() + 1, 4, rowHeight - 2,
                        QLatin1String(detail::reasonColour(t.reason)),
                        {{"stroke", kInk}, {"stroke-width", QStringLiteral("0.8")}});
            chart->endGroup();
            ++drawn;
        }
        return drawn;
    }

    QString graph() const {
        const int svgStart = _contents.graphSvg.indexOf("<svg");
        if (svgStart < 0) return QString();
        // Graphviz titles every shape with its DOT id; the tooltips frameAsDot wrote are the
        // hover texts worth showing, so the ids go, with the comments that repeat them.
        const QString svg =
            withoutSpans(withoutSpans(QString::fromUtf8(_contents.graphSvg.mid(svgStart)),
                                      QStringLiteral("<title>"), QStringLiteral("</title>")),
                         QStringLiteral("<!--"), QStringLiteral("-->"));
        QString html =
            sectionStart("graph", QStringLiteral("The graph, coloured by the latest frame")) +
            QStringLiteral("<div class=\"graph\">") + svg +
            QStringLiteral("</div><div class=\"legend\">");
        for (const NodeOutcome outcome : detail::kPassOutcomes) html += badge(outcome);
        return html + QStringLiteral("</div></section>");
    }

    QString histogram() const {
        if (_frameMs.empty()) return QString();
        const double fastest = *std::min_element(_frameMs.begin(), _frameMs.end());
        const double slowest = *std::max_element(_frameMs.begin(), _frameMs.end());
        // About 40 buckets of a round width from the fastest frame to the slowest.
        const double bucket = tickStep(std::max(slowest - fastest, 0.001), 40);
        const double first = std::floor(fastest / bucket) * bucket;
        const int numBuckets = int((slowest - first) / bucket) + 1;
        std::vector<int> counts(size_t(numBuckets), 0);
        for (double frame : _frameMs)
            ++counts[size_t(std::min(int((frame - first) / bucket), numBuckets - 1))];
        const int peak = *std::max_element(counts.begin(), counts.end());
        const int peaks = int(std::count(counts.begin(), counts.end(), peak));

        const double left = 44, right = 12, top = 14, bottom = 36, width = 1000, height = 280;
        const double plotW = width - left - right, plotH = height - top - bottom;
        const double barW = plotW / numBuckets;
        SvgChart chart(width, height);
        chart.line(left, top + plotH, width - right, top + plotH, QStringLiteral("#9aa3b2"));
        chart.text(left - 6, top + 10, QString::number(peak), kMuted, "end");
        chart.text(left - 6, top + plotH, QStringLiteral("0"), kMuted, "end");
        for (int k = 0; k < numBuckets; ++k) {
            const double from = first + k * bucket;
            const int count = counts[size_t(k)];
            const double h = plotH * count / peak;
            chart.beginGroup(
                ms(from) + QStringLiteral(" to ") + ms(from + bucket) + QStringLiteral(": ") +
                    QString::number(count) + QStringLiteral(" frames"),
                {{"data-from-ms", msFigure(from)},
                 {"data-count", QString::number(count)},
                 {"data-peak", count == peak ? QStringLiteral("true") : QStringLiteral("false")}});
            chart.rect(left + k * barW + 1, top + plotH - h, std::max(barW - 2, 1.0), h,
                       count == peak ? QStringLiteral("#3b5ba9") : QStringLiteral("#8fa8e0"));
            chart.endGroup();
        }
        const double range = numBuckets * bucket;
        const double step = tickStep(range, 10);
        for (int k = 0; k * step <= range + 1e-9; ++k)
            chart.text(left + k * step / range * plotW, height - 14,
                       QString::number(first + k * step, 'g', 5) + QStringLiteral(" ms"), kMuted,
                       "middle");
        // Ties are common with few frames, so the caption says how many bars share the peak.
        const QString peakText =
            peaks == 1 ? QString(QStringLiteral("the dark bar is the most common time (") +
                                 QString::number(peak) + QStringLiteral(" frames)"))
                       : QString(QStringLiteral("the ") + QString::number(peaks) +
                                 QStringLiteral(" dark bars share the highest count (") +
                                 QString::number(peak) + QStringLiteral(" frames each)"));
        return sectionStart("frame-times", QStringLiteral("Frame times")) +
               QStringLiteral("<div class=\"chart\">") + chart.take() +
               QStringLiteral("</div><p class=\"note\"") +
               attribute("data-frames", QString::number(_frameMs.size())) +
               attribute("data-peak-bars", QString::number(peaks)) + QStringLiteral(">The ") +
               QString::number(_frameMs.size()) + QStringLiteral(" kept frames in buckets of ") +
               ms(bucket) + QStringLiteral("; ") + peakText + QStringLiteral(".</p></section>");
    }

    // The input as `node path.port name`, like the outputs elsewhere on the page.
    QString inputLabel(int node, int input) const {
        const Graph& graph = _d.graph;
        if (!graph.isValidNode(node) || input < 0 || input >= graph.numInputs(node))
            return QStringLiteral("node ") + QString::number(node) + QStringLiteral(" input ") +
                   QString::number(input);
        return graph.nodePath(node) + QLatin1Char('.') + graph.inputName(node, input);
    }

    // The kept frames in which a history input read no real value of the frame before and got
    // its default: a temporal pass started over there. Only for a renderer that has history.
    QString historyResets() const {
        bool any = !_d.historyInputs.isEmpty();
        forEachTrace(
            [&any](const detail::FrameTrace& trace) { any = any || !trace.historyResets.empty(); });
        if (!any || _d.traces.empty()) return QString();
        int frames = 0;
        QString items;
        forEachTrace([&](const detail::FrameTrace& trace) {
            if (trace.historyResets.empty()) return;
            if (++frames > kResetRows) return;
            items += QStringLiteral("<li") +
                     attribute("data-frame", QString::number(trace.number)) +
                     QStringLiteral("><span class=\"mark\">reset</span><b>frame ") +
                     QString::number(trace.number) + QStringLiteral("</b>");
            for (const auto& reset : trace.historyResets) {
                const QString label = inputLabel(reset.first, reset.second);
                items += QStringLiteral(" <code") + attribute("data-input", label) +
                         QLatin1Char('>') + esc(label) + QStringLiteral("</code>");
            }
            items += QStringLiteral("</li>");
        });
        const QString kept = QString::number(_d.traces.size());
        QString html = sectionStart("history", QStringLiteral("History resets"));
        if (frames == 0)
            return html +
                   QStringLiteral("<p class=\"note\" data-reset-frames=\"0\">In each of the ") +
                   kept +
                   QStringLiteral(
                       " kept frames every history input read a real value of the "
                       "frame before.</p></section>\n");
        html += QStringLiteral("<ul class=\"resets\">") + items + QStringLiteral("</ul>");
        html += QStringLiteral("<p class=\"note\"") +
                attribute("data-reset-frames", QString::number(frames)) + QStringLiteral(">In ") +
                QString::number(frames) + QStringLiteral(" of the ") + kept +
                QStringLiteral(
                    " kept frames the history inputs named got their default value instead of "
                    "a value of the frame before: the first frame, a reset, a resize, a new "
                    "memory plan, or a producer that did not run in the frame before.");
        if (frames > kResetRows)
            html += QStringLiteral(" The first ") + QString::number(kResetRows) +
                    QStringLiteral(" are listed.");
        return html + QStringLiteral("</p></section>\n");
    }

    const Renderer& _renderer;
    const detail::RendererData& _d;
    const ReportContents& _contents;
    QVector<PassRow> _passes;
    std::vector<double> _frameMs;  // the kept frames' durations, oldest first
};

const char ReportWriter::kStyle[] = R"(
:root { --ink: #1f2430; --muted: #6b7280; --line: #e3e6ec; --card: #ffffff; --bg: #f3f5f8; }
* { box-sizing: border-box; }
body { margin: 0; background: var(--bg); color: var(--ink);
       font: 15px/1.45 "DejaVu Sans", "Segoe UI", Helvetica, Arial, sans-serif; }
main { max-width: 1180px; margin: 0 auto; padding: 28px 24px 48px; }
header { background: linear-gradient(120deg, #23305a, #3b5ba9 60%, #5b8def);
         color: #fff; padding: 26px 24px; }
header .inner { max-width: 1180px; margin: 0 auto; }
header h1 { margin: 0 0 4px; font-size: 26px; letter-spacing: .3px; }
header p { margin: 0; opacity: .85; }
.cards { display: grid; grid-template-columns: repeat(auto-fit, minmax(170px, 1fr)); gap: 14px;
         margin: 18px 0 0; }
.stat { background: rgba(255,255,255,.12); border-radius: 10px; padding: 10px 14px; }
.stat b { display: block; font-size: 22px; }
.stat span { font-size: 13px; opacity: .85; }
section { background: var(--card); border-radius: 12px; padding: 20px 22px; margin-top: 22px;
          box-shadow: 0 1px 3px rgba(20,30,60,.08), 0 6px 18px rgba(20,30,60,.05); }
h2 { margin: 0 0 14px; font-size: 18px; }
.note, .key { color: var(--muted); font-size: 13px; margin: 10px 0 0; }
.split { display: grid; grid-template-columns: 3fr 2fr; gap: 22px; align-items: start; }
.split > ul:only-child { grid-column: 1 / -1; }
@media (max-width: 900px) { .split { grid-template-columns: 1fr; } }
.frame img { width: 100%; border-radius: 8px; display: block; image-rendering: auto; }
.badge { display: inline-block; min-width: 86px; text-align: center; border-radius: 999px;
         padding: 1px 10px; font-size: 12px; color: var(--ink); margin-right: 8px; }
.badge.faded { color: #555; border: 1px dashed #888; }
ul.passes { list-style: none; margin: 0; padding: 0; }
ul.passes li { padding: 6px 0; border-bottom: 1px solid var(--line); }
ul.passes li:last-child { border-bottom: 0; }
ul.resets { list-style: none; margin: 0; padding: 0; columns: 2 320px; }
ul.resets li { padding: 3px 0; break-inside: avoid; }
ul.resets .mark { display: inline-block; background: #d97706; color: #fff; border-radius: 4px;
                  font-size: 12px; padding: 0 6px; margin-right: 8px; }
ul.resets code { margin-left: 6px; font-size: 13px; }
ul.passes .why { display: block; color: var(--muted); font-size: 13px; margin: 2px 0 0 98px; }
.bars { display: grid; grid-template-columns: max-content 1fr max-content; gap: 8px 14px;
        align-items: center; }
.bars .name { font-family: "DejaVu Sans Mono", monospace; font-size: 13px; }
.bars .track { position: relative; height: 20px; background: #eef1f5; border-radius: 5px; }
.bars .bar { position: absolute; top: 0; bottom: 0; left: 0; border-radius: 5px; }
.bars .tick { position: absolute; top: -3px; bottom: -3px; width: 3px; background: var(--ink);
              border-radius: 2px; }
.bars .value { font-size: 13px; white-space: nowrap; }
.bars .value small { color: var(--muted); }
.chart svg, .graph svg { width: 100%; height: auto; display: block; }
.graph { overflow-x: auto; }
.legend { display: flex; flex-wrap: wrap; gap: 6px 4px; margin-top: 12px; }
)";

}  // namespace

QByteArray reportHtml(const Renderer& renderer, const ReportContents& contents) {
    return ReportWriter(renderer, contents).write();
}

}  // namespace Orv
}  // namespace Vantrel
