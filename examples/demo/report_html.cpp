#include "report_html.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cmath>

namespace OrvDemo {

namespace {

using Vantrel::Orv::NodeOutcome;

struct Look {
    const char* word;
    const char* colour;
};

// The same hues as the coloured graph, a shade stronger so that thin bars still read.
Look lookOf(NodeOutcome outcome) {
    switch (outcome) {
        case NodeOutcome::Ran:
            return {"ran", "#3f9e5a"};
        case NodeOutcome::Failed:
            return {"failed", "#d64545"};
        case NodeOutcome::Disabled:
            return {"disabled", "#9a9a9a"};
        case NodeOutcome::NotReached:
            return {"not reached", "#e8962e"};
        case NodeOutcome::NotNeeded:
            return {"not needed", "#c8c8c8"};
        default:
            return {"no pass", "#c8c8c8"};
    }
}

QString esc(const QString& text) {
    return text.toHtmlEscaped();
}

QString ms(double value) {
    return QString::number(value, 'f', value < 10.0 ? 2 : 1) + QStringLiteral(" ms");
}

// A round step for axis labels that gives at most `maxTicks` of them over `range`.
double tickStep(double range, int maxTicks) {
    double step = 0.1;
    for (int k = 0; range / step > maxTicks; ++k) step *= (k % 3 == 1) ? 2.5 : 2.0;
    return step;
}

const char kStyle[] = R"(
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
.note { color: var(--muted); font-size: 13px; margin: 10px 0 0; }
.split { display: grid; grid-template-columns: 3fr 2fr; gap: 22px; align-items: start; }
@media (max-width: 900px) { .split { grid-template-columns: 1fr; } }
.frame img { width: 100%; border-radius: 8px; display: block; image-rendering: auto; }
.badge { display: inline-block; min-width: 86px; text-align: center; border-radius: 999px;
         padding: 1px 10px; font-size: 12px; color: #fff; margin-right: 8px; }
.badge.faded { color: #555; border: 1px dashed #888; }
ul.passes { list-style: none; margin: 0; padding: 0; }
ul.passes li { padding: 6px 0; border-bottom: 1px solid var(--line); }
ul.passes li:last-child { border-bottom: 0; }
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

QString badge(NodeOutcome outcome) {
    const Look look = lookOf(outcome);
    const bool faded = outcome == NodeOutcome::NotNeeded || outcome == NodeOutcome::NoPass;
    return QStringLiteral("<span class=\"badge%1\" style=\"background:%2\">%3</span>")
        .arg(faded ? QStringLiteral(" faded") : QString(), QLatin1String(look.colour),
             QLatin1String(look.word));
}

QString statCard(const QString& value, const QString& label) {
    return QStringLiteral("<div class=\"stat\"><b>%1</b><span>%2</span></div>")
        .arg(esc(value), esc(label));
}

QString headerHtml(const HtmlReport& report) {
    int ran = 0;
    for (const HtmlReport::Pass& pass : report.passes) ran += pass.outcome == NodeOutcome::Ran;
    unsigned int frames = 0, slowest = 0, median = 0;
    for (auto it = report.frameTimes.begin(); it != report.frameTimes.end(); ++it)
        frames += it.value(), slowest = it.key();
    unsigned int seen = 0;
    for (auto it = report.frameTimes.begin(); it != report.frameTimes.end(); ++it) {
        seen += it.value();
        if (2 * seen >= frames) {
            median = it.key();
            break;
        }
    }
    QString html = QStringLiteral("<header><div class=\"inner\"><h1>orv-demo report</h1><p>%1</p>")
                       .arg(esc(report.title));
    html += QStringLiteral("<p>%1</p><div class=\"cards\">").arg(esc(report.summary));
    html += statCard(QString::number(frames), QStringLiteral("frames timed"));
    html += statCard(ms(median / 1000.0), QStringLiteral("median frame"));
    html += statCard(ms(slowest / 1000.0), QStringLiteral("slowest frame"));
    html += statCard(QStringLiteral("%1 of %2").arg(ran).arg(report.passes.size()),
                     QStringLiteral("passes ran in the last frame"));
    return html + QStringLiteral("</div></div></header>");
}

QString lastFrameHtml(const HtmlReport& report) {
    QString html = QStringLiteral("<section><h2>The last frame</h2><div class=\"split\">");
    html += QStringLiteral("<div class=\"frame\">");
    if (report.framePng.isEmpty())
        html += QStringLiteral("<p class=\"note\">No frame was rendered.</p>");
    else
        html += QStringLiteral("<img alt=\"The last frame\" src=\"data:image/png;base64,") +
                QString::fromLatin1(report.framePng.toBase64()) + QStringLiteral("\">");
    html += QStringLiteral("</div><ul class=\"passes\">");
    for (const HtmlReport::Pass& pass : report.passes) {
        html += QStringLiteral("<li>") + badge(pass.outcome) + QStringLiteral("<b>") +
                esc(pass.path) + QStringLiteral("</b>");
        // Why a pass ran is the common case; the reasons worth reading are the others.
        if (pass.outcome != NodeOutcome::Ran)
            html += QStringLiteral("<span class=\"why\">") + esc(pass.explanation) +
                    QStringLiteral("</span>");
        html += QStringLiteral("</li>");
    }
    return html + QStringLiteral("</ul></div></section>");
}

QString passTimesHtml(const HtmlReport& report) {
    double longest = 0.0;
    for (const HtmlReport::Pass& pass : report.passes)
        longest = std::max({longest, pass.meanMs, pass.latestMs});
    QString html = QStringLiteral("<section><h2>Where the time went</h2><div class=\"bars\">");
    for (const HtmlReport::Pass& pass : report.passes) {
        const auto percent = [&](double value) {
            return QString::number(longest > 0 ? 100.0 * value / longest : 0.0, 'f', 2);
        };
        html += QStringLiteral("<span class=\"name\">%1</span><div class=\"track\" title=\"%2\">")
                    .arg(esc(pass.path), esc(pass.explanation));
        html += QStringLiteral("<div class=\"bar\" style=\"width:%1%;background:%2\"></div>")
                    .arg(percent(pass.meanMs), QLatin1String(lookOf(pass.outcome).colour));
        if (pass.latestMs >= 0)
            html += QStringLiteral("<div class=\"tick\" style=\"left:calc(%1% - 1px)\"></div>")
                        .arg(percent(pass.latestMs));
        html += QStringLiteral("</div><span class=\"value\">%1 <small>mean of %2 runs")
                    .arg(ms(pass.meanMs), QString::number(pass.runs));
        if (pass.latestMs >= 0) html += QStringLiteral(", last ") + ms(pass.latestMs);
        html += QStringLiteral("</small></span>");
    }
    return html + QStringLiteral(
                      "</div><p class=\"note\">Bars: mean time of each pass, coloured by its "
                      "outcome in the last frame; the dark tick marks the last frame's time, "
                      "as the renderer measured it.</p></section>");
}

QString timelineHtml(const HtmlReport& report) {
    const QVector<TraceSpan> spans = lastFrameSpans(report.trace);
    if (spans.isEmpty()) return QString();
    int tracks = 0;
    double total = 0.0;
    for (const TraceSpan& span : spans) {
        tracks = std::max(tracks, span.track);
        total = std::max(total, span.startMs + span.durationMs);
    }
    const double left = 90, right = 20, top = 24, row = 30, width = 1000;
    const double scale = (width - left - right) / std::max(total, 1e-6);
    const double height = top + row * (tracks + 1) + 8;
    QString svg = QStringLiteral(
                      "<svg viewBox=\"0 0 %1 %2\" xmlns=\"http://www.w3.org/2000/svg\" "
                      "font-size=\"12\" font-family=\"DejaVu Sans, sans-serif\">")
                      .arg(width)
                      .arg(height);
    const double step = tickStep(total, 10);
    for (double t = 0; t <= total + 1e-9; t += step) {
        const double x = left + t * scale;
        svg += QStringLiteral(
                   "<line x1=\"%1\" x2=\"%1\" y1=\"%2\" y2=\"%3\" stroke=\"#e3e6ec\"/>"
                   "<text x=\"%1\" y=\"14\" text-anchor=\"middle\" fill=\"#6b7280\">%4</text>")
                   .arg(x, 0, 'f', 1)
                   .arg(top - 4)
                   .arg(height - 4)
                   .arg(QString::number(t, 'g', 4) + QStringLiteral(" ms"));
    }
    for (int track = 0; track <= tracks; ++track)
        svg +=
            QStringLiteral("<text x=\"4\" y=\"%1\" fill=\"#6b7280\">%2</text>")
                .arg(top + row * track + 19)
                .arg(track == 0 ? QStringLiteral("frame") : QStringLiteral("passes %1").arg(track));
    for (const TraceSpan& span : spans) {
        const double x = left + span.startMs * scale, y = top + row * span.track + 3;
        const double w = std::max(span.durationMs * scale, 1.5);
        const char* fill = span.track == 0 ? "#3b5ba9" : span.failed ? "#d64545" : "#3f9e5a";
        svg += QStringLiteral(
                   "<g><title>%1: %2</title><rect x=\"%3\" y=\"%4\" width=\"%5\" height=\"%6\" "
                   "rx=\"4\" fill=\"%7\" fill-opacity=\"%8\"/>")
                   .arg(esc(span.name), ms(span.durationMs))
                   .arg(x, 0, 'f', 1)
                   .arg(y)
                   .arg(w, 0, 'f', 1)
                   .arg(row - 6)
                   .arg(QLatin1String(fill))
                   .arg(span.track == 0 ? 0.25 : 0.9);
        // A label only where it fits; the tooltip has it anyway.
        if (w > 7.0 * span.name.size() + 8)
            svg += QStringLiteral("<text x=\"%1\" y=\"%2\" fill=\"%3\">%4</text>")
                       .arg(x + 5, 0, 'f', 1)
                       .arg(y + 16)
                       .arg(span.track == 0 ? QStringLiteral("#23305a") : QStringLiteral("#fff"))
                       .arg(esc(span.name));
        svg += QStringLiteral("</g>");
    }
    return QStringLiteral("<section><h2>Timeline of the last frame</h2><div class=\"chart\">") +
           svg +
           QStringLiteral(
               "</svg></div><p class=\"note\">From the renderer's trace (trace.json, which "
               "chrome://tracing and Perfetto open): passes that overlap in time sit on "
               "separate rows.</p></section>");
}

QString graphHtml(const HtmlReport& report) {
    QString html = QStringLiteral("<section><h2>The graph, coloured by the last frame</h2>");
    const int svgStart = report.graphSvg.indexOf("<svg");
    if (svgStart < 0)
        html += QStringLiteral("<p class=\"note\">Install Graphviz to see the graph here.</p>");
    else
        html += QStringLiteral("<div class=\"graph\">") +
                QString::fromUtf8(report.graphSvg.mid(svgStart)) + QStringLiteral("</div>");
    html += QStringLiteral("<div class=\"legend\">");
    for (NodeOutcome outcome : {NodeOutcome::Ran, NodeOutcome::Failed, NodeOutcome::Disabled,
                                NodeOutcome::NotReached, NodeOutcome::NotNeeded})
        html += badge(outcome);
    return html + QStringLiteral("</div></section>");
}

QString histogramHtml(const HtmlReport& report) {
    if (report.frameTimes.isEmpty()) return QString();
    const unsigned int bucket = std::max(report.bucketUs, 1u);
    const unsigned int first = report.frameTimes.firstKey(), last = report.frameTimes.lastKey();
    // Buckets from the fastest to the slowest frame, merged when there would be too many to see.
    const int buckets = int((last - first) / bucket) + 1;
    const int merge = (buckets + 79) / 80;
    QVector<unsigned int> counts((buckets + merge - 1) / merge);
    for (auto it = report.frameTimes.begin(); it != report.frameTimes.end(); ++it)
        counts[int((it.key() - first) / bucket) / merge] += it.value();
    const unsigned int peak = *std::max_element(counts.begin(), counts.end());

    const double left = 44, right = 12, top = 14, bottom = 36, width = 1000, height = 280;
    const double plotW = width - left - right, plotH = height - top - bottom;
    const double barW = plotW / counts.size();
    QString svg = QStringLiteral(
                      "<svg viewBox=\"0 0 %1 %2\" xmlns=\"http://www.w3.org/2000/svg\" "
                      "font-size=\"12\" font-family=\"DejaVu Sans, sans-serif\">")
                      .arg(width)
                      .arg(height);
    svg += QStringLiteral(
               "<line x1=\"%1\" x2=\"%2\" y1=\"%3\" y2=\"%3\" stroke=\"#9aa3b2\"/>"
               "<text x=\"%4\" y=\"%5\" text-anchor=\"end\" fill=\"#6b7280\">%6</text>"
               "<text x=\"%4\" y=\"%3\" text-anchor=\"end\" fill=\"#6b7280\">0</text>")
               .arg(left)
               .arg(width - right)
               .arg(top + plotH)
               .arg(left - 6)
               .arg(top + 10)
               .arg(peak);
    for (int k = 0; k < counts.size(); ++k) {
        const double from = (first + double(k) * merge * bucket) / 1000.0;
        const double to = from + merge * bucket / 1000.0;
        const double h = peak ? plotH * counts[k] / peak : 0.0;
        svg += QStringLiteral(
                   "<rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" rx=\"2\" fill=\"%5\">"
                   "<title>%6 to %7 ms: %8 frames</title></rect>")
                   .arg(left + k * barW + 1, 0, 'f', 1)
                   .arg(top + plotH - h, 0, 'f', 1)
                   .arg(std::max(barW - 2, 1.0), 0, 'f', 1)
                   .arg(h, 0, 'f', 1)
                   .arg(counts[k] == peak ? QStringLiteral("#3b5ba9") : QStringLiteral("#8fa8e0"))
                   .arg(from)
                   .arg(to)
                   .arg(counts[k]);
    }
    const double range = (last + bucket - first) / 1000.0;
    const double step = tickStep(range, 10);
    for (double t = std::ceil(first / 1000.0 / step) * step; t <= first / 1000.0 + range + 1e-9;
         t += step) {
        svg += QStringLiteral(
                   "<text x=\"%1\" y=\"%2\" text-anchor=\"middle\" fill=\"#6b7280\">%3</text>")
                   .arg(left + (t - first / 1000.0) / range * plotW, 0, 'f', 1)
                   .arg(height - 14)
                   .arg(QString::number(t, 'g', 5) + QStringLiteral(" ms"));
    }
    return QStringLiteral("<section><h2>Frame times</h2><div class=\"chart\">") + svg +
           QStringLiteral(
               "</svg></div><p class=\"note\">Whole frames in buckets of %1 us%2; "
               "the darkest bar is the most common time.</p></section>")
               .arg(bucket * merge)
               .arg(merge > 1 ? QStringLiteral(" (%1 of the histogram's merged)").arg(merge)
                              : QString());
}

}  // namespace

QVector<TraceSpan> lastFrameSpans(const QByteArray& trace) {
    const QJsonArray events =
        QJsonDocument::fromJson(trace).object()[QLatin1String("traceEvents")].toArray();
    // The latest frame is the enclosing event on track 0 with the highest frame number.
    int lastFrame = -1;
    double frameStart = 0.0;
    for (const QJsonValue& value : events) {
        const QJsonObject event = value.toObject();
        const int frame = event[QLatin1String("args")].toObject()[QLatin1String("frame")].toInt(-1);
        if (event[QLatin1String("ph")] == QLatin1String("X") &&
            event[QLatin1String("tid")].toInt() == 0 && frame > lastFrame) {
            lastFrame = frame;
            frameStart = event[QLatin1String("ts")].toDouble();
        }
    }
    QVector<TraceSpan> spans;
    if (lastFrame < 0) return spans;
    for (const QJsonValue& value : events) {
        const QJsonObject event = value.toObject();
        const QJsonObject args = event[QLatin1String("args")].toObject();
        if (event[QLatin1String("ph")] != QLatin1String("X") ||
            args[QLatin1String("frame")].toInt(-1) != lastFrame)
            continue;
        TraceSpan span;
        span.name = event[QLatin1String("name")].toString();
        span.track = std::max(event[QLatin1String("tid")].toInt(), 0);
        span.startMs = (event[QLatin1String("ts")].toDouble() - frameStart) / 1000.0;
        span.durationMs = event[QLatin1String("dur")].toDouble() / 1000.0;
        span.failed = args.contains(QLatin1String("errorCode"));
        spans << span;
    }
    return spans;
}

QByteArray reportHtml(const HtmlReport& report) {
    QString html = QStringLiteral(
        "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
        "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
        "<title>orv-demo report</title><style>");
    html += QLatin1String(kStyle);
    html += QStringLiteral("</style></head><body>\n");
    html += headerHtml(report) + QStringLiteral("<main>\n");
    html += lastFrameHtml(report) + QLatin1Char('\n');
    html += passTimesHtml(report) + QLatin1Char('\n');
    html += timelineHtml(report) + QLatin1Char('\n');
    html += graphHtml(report) + QLatin1Char('\n');
    html += histogramHtml(report) + QLatin1Char('\n');
    html += QStringLiteral("</main></body></html>\n");
    return html.toUtf8();
}

}  // namespace OrvDemo
