// What the latest frame did and why, its timeline, and the renderer's graph as a picture:
// all worked out when asked, from what the frames keep anyway.
#include <Orv/Renderer.h>

#include "../text/dotwriter.h"
#include "../text/textescape.h"
#include "renderer_p.h"

#include <QHash>
#include <QStringList>

#include <algorithm>
#include <charconv>

namespace Vantrel {
namespace Orv {

namespace {

// Inspection reads the plan of the latest frame; a node added since is not part of it.
bool inLatestFrame(const RendererData& d, int node) {
    return d.latest.number > 0 && d.graph.isValidNode(node) && node < d.plan.tableSize();
}

QString quoted(const QString& text) {
    return QLatin1Char('\'') + text + QLatin1Char('\'');
}

QString pathOf(const Graph& graph, int node) {
    return node == Graph::kRootNodeRef ? QStringLiteral("the root") : quoted(graph.nodePath(node));
}

// "node.port" for a container port that a value crosses.
QString portOf(const Graph& graph, int node, int port, bool input) {
    const QString name = input ? graph.inputName(node, port) : graph.outputName(node, port);
    return graph.nodePath(node) + QLatin1Char('.') + name;
}

// The container outputs a value crosses going up from the producer to `node`'s output `port`
// (innermost first), found by following up edges down from that output.
QStringList outputsCrossed(const Graph& graph, int node, int port) {
    QStringList crossed;
    for (int guard = graph.numNodesGlobal(); guard > 0; --guard) {
        const int edge = graph.outputSource(node, port);
        if (!graph.isUpEdge(edge)) break;
        if (node != Graph::kRootNodeRef) crossed.prepend(portOf(graph, node, port, false));
        node = graph.edgeSourceNode(edge);
        port = graph.edgeSourceIndex(edge);
    }
    return crossed;
}

// The container inputs a value crosses going down to `node`'s input `port` (outermost first).
QStringList inputsCrossed(const Graph& graph, int node, int port) {
    QStringList crossed;
    for (int guard = graph.numNodesGlobal(); guard > 0; --guard) {
        const int edge = graph.inputSource(node, port);
        if (!graph.isDownEdge(edge)) break;
        node = graph.edgeSourceNode(edge);
        port = graph.edgeSourceIndex(edge);
        crossed.prepend(portOf(graph, node, port, true));
    }
    return crossed;
}

// From `node` down the chain of consumers that first needed it to the root of the frame:
// "a -> b -> group.out -> c -> output 'image'".
QString neededChain(const RendererData& d, int node) {
    const Graph& graph = d.graph;
    QStringList chain{graph.nodePath(node)};
    for (int guard = d.plan.tableSize(); guard > 0; --guard) {
        const FramePlan::Reach reach = d.plan.reachOf(node);
        if (reach.consumer < 0) {
            if (reach.input >= 0) {
                chain << outputsCrossed(graph, Graph::kRootNodeRef, reach.input)
                      << QStringLiteral("output ") +
                             quoted(graph.outputName(Graph::kRootNodeRef, reach.input));
            } else if (reach.input == FramePlan::Reach::kTarget) {
                chain << QStringLiteral("the target");
            } else {
                chain << QStringLiteral("every pass (culling is off)");
            }
            break;
        }
        // From the consumer's input back to the producer: walkUp, walkAcross, walkDown.
        int source = reach.consumer;
        int port = reach.input;
        graph.walkUp(source, port);
        const QStringList down = inputsCrossed(graph, reach.consumer, reach.input);
        if (graph.walkAcross(source, port)) chain << outputsCrossed(graph, source, port);
        chain << down;
        node = reach.consumer;
        chain << (node == Graph::kRootNodeRef ? QStringLiteral("the root") : graph.nodePath(node));
    }
    return chain.join(QStringLiteral(" -> "));
}

// The nodes reading any output of `node`, each once, in table order.
QVector<int> consumersOf(const Graph& graph, int node) {
    QVector<int> consumers;
    const int numNodes = graph.numNodesGlobal();
    for (int n = 0; n < numNodes; ++n) {
        if (!graph.isValidNode(n)) continue;
        for (int i = 0; i < graph.numInputs(n); ++i) {
            int source = n;
            int port = i;
            if (graph.walkToSourceNode(source, port) && source == node) {
                consumers.append(n);
                break;
            }
        }
    }
    return consumers;
}

QString milliseconds(qint64 ns) {
    return QString::number(double(ns) / 1e6, 'f', 3) + QStringLiteral(" ms");
}

const FrameTrace* latestTrace(const RendererData& d) {
    if (d.traces.empty()) return nullptr;
    const size_t newest = (d.traceHead + d.traces.size() - 1) % d.traces.size();
    const FrameTrace& trace = d.traces[newest];
    return trace.number == d.latest.number ? &trace : nullptr;
}

}  // namespace

NodeOutcome Renderer::outcome(int node) const {
    if (!inLatestFrame(*d, node)) return NodeOutcome::Unknown;
    const int s = d->plan.hasRoots() ? d->plan.stepOf(node) : -1;
    if (s < 0)
        return d->isPassIndex(d->graph.nodeValue(node)) ? NodeOutcome::NotNeeded
                                                        : NodeOutcome::NoPass;
    const FramePlan::Step& step = d->plan.schedule()[size_t(s)];
    const LatestFrame& latest = d->latest;
    if (!latest.enabled.value(step.passIndex)) return NodeOutcome::Disabled;
    for (const auto& failure : latest.failures) {
        if (failure.first == s) return NodeOutcome::Failed;
    }
    const bool reached = latest.overlapped
                             ? size_t(s) < latest.started.size() && latest.started[size_t(s)]
                             : s < latest.reached;
    return reached ? NodeOutcome::Ran : NodeOutcome::NotReached;
}

bool Renderer::wasNeeded(int node) const {
    return inLatestFrame(*d, node) && d->plan.hasRoots() && d->plan.isNeeded(node);
}

unsigned int Renderer::failureCode(int node) const {
    if (outcome(node) != NodeOutcome::Failed) return 0;
    const int s = d->plan.stepOf(node);
    for (const auto& failure : d->latest.failures) {
        if (failure.first == s) return failure.second;
    }
    return 0;
}

qint64 Renderer::latestPassTime(int node) const {
    const FrameTrace* trace = latestTrace(*d);
    if (!trace) return -1;
    for (const PassSpan& span : trace->spans) {
        if (span.node == node && span.end >= span.start) return span.end - span.start;
    }
    return -1;
}

QString Renderer::explain(int node) const {
    const Graph& graph = d->graph;
    if (d->latest.number == 0) return QStringLiteral("No frame has been rendered yet.");
    if (!inLatestFrame(*d, node))
        return QStringLiteral("Node %1 is not a node of the latest frame's graph.").arg(node);
    const QString name = pathOf(graph, node);
    const qint64 took = latestPassTime(node);
    const QString time = took >= 0 ? QStringLiteral(" in ") + milliseconds(took) : QString();

    switch (outcome(node)) {
        case NodeOutcome::NoPass:
            return QStringLiteral("%1 has no pass; the latest frame %2 it.")
                .arg(name,
                     wasNeeded(node) ? QStringLiteral("needed") : QStringLiteral("did not need"));
        case NodeOutcome::Ran:
            return QStringLiteral("%1 ran%2, needed by %3.").arg(name, time, neededChain(*d, node));
        case NodeOutcome::Failed:
            return QStringLiteral("%1 failed with error code %2%3, needed by %4.")
                .arg(name)
                .arg(failureCode(node))
                .arg(time, neededChain(*d, node));
        case NodeOutcome::NotReached: {
            QString failed = QStringLiteral("a pass");
            unsigned int code = 0;
            if (!d->latest.failures.empty()) {
                const auto& first = d->latest.failures.front();
                failed = pathOf(graph, d->plan.schedule()[size_t(first.first)].node);
                code = first.second;
            }
            return QStringLiteral(
                       "%1 did not run: the frame stopped when %2 failed with error code %3.")
                .arg(name, failed)
                .arg(code);
        }
        case NodeOutcome::Disabled: {
            // The needed inputs that this pass would have fed took their defaults instead.
            const int passIndex = d->plan.schedule()[size_t(d->plan.stepOf(node))].passIndex;
            QStringList fellBack;
            for (const FramePlan::Step& step : d->plan.schedule()) {
                for (int i = 0; i < step.numInputs; ++i) {
                    if (d->plan.feeds()[size_t(step.firstFeed + i)].pass == passIndex)
                        fellBack << graph.nodePath(step.node) + QLatin1Char('.') +
                                        graph.inputName(step.node, i);
                }
            }
            return QStringLiteral("%1 is needed but switched off%2.")
                .arg(name, fellBack.isEmpty()
                               ? QStringLiteral("; no input reads it")
                               : QStringLiteral(", so these inputs took their defaults: ") +
                                     fellBack.join(QStringLiteral(", ")));
        }
        case NodeOutcome::NotNeeded: {
            QStringList consumers;
            for (int consumer : consumersOf(graph, node)) consumers << pathOf(graph, consumer);
            return QStringLiteral("%1 did not run: no output or target depends on it%2.")
                .arg(name, consumers.isEmpty()
                               ? QStringLiteral(", and nothing reads its outputs")
                               : QStringLiteral(", and its consumers %1 were not needed either")
                                     .arg(consumers.join(QStringLiteral(", "))));
        }
        case NodeOutcome::Unknown:
            break;
    }
    return QStringLiteral("Nothing is known of %1.").arg(name);
}

void Renderer::setCulling(bool culling) {
    d->culling = culling;
}

bool Renderer::culling() const {
    return d->culling;
}

void Renderer::setTimingEnabled(bool enabled) {
    d->timing = enabled;
}

bool Renderer::timingEnabled() const {
    return d->timing;
}

bool Renderer::setTimingHistory(int frames) {
    if (frames < 1 || frames > 100000) return false;
    // Keep the newest frames, oldest first from the start of the ring.
    std::rotate(d->traces.begin(), d->traces.begin() + long(d->traceHead), d->traces.end());
    if (d->traces.size() > size_t(frames))
        d->traces.erase(d->traces.begin(), d->traces.end() - frames);
    d->traceHead = 0;
    d->timingHistory = frames;
    return true;
}

int Renderer::timingHistory() const {
    return d->timingHistory;
}

namespace {

// Appends JSON text without temporaries: the trace of 100 frames of a large graph holds
// hundreds of thousands of numbers.
class JsonText {
public:
    explicit JsonText(QByteArray* out) : _out(*out) {}
    JsonText& operator<<(const char* text) {
        _out.append(text);
        return *this;
    }
    JsonText& operator<<(const QByteArray& text) {
        _out.append(text);
        return *this;
    }
    JsonText& operator<<(qint64 value) {
        char digits[24];
        const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
        _out.append(digits, int(end - digits));
        return *this;
    }
    // Nanoseconds as microseconds with three decimals, the trace format's unit.
    JsonText& micros(qint64 ns) {
        if (ns < 0) {
            _out.append('-');
            ns = -ns;
        }
        *this << ns / 1000;
        const int rest = int(ns % 1000);
        const char decimals[] = {'.', char('0' + rest / 100), char('0' + rest / 10 % 10),
                                 char('0' + rest % 10)};
        _out.append(decimals, 4);
        return *this;
    }

private:
    QByteArray& _out;
};

}  // namespace

QByteArray Renderer::traceJson() const {
    size_t numSpans = 0;
    for (const FrameTrace& trace : d->traces) numSpans += trace.spans.size();
    QByteArray json;
    json.reserve(int(std::min<size_t>(256 + (numSpans + d->traces.size()) * 160, 1 << 30)));
    JsonText out(&json);
    out << "{\"traceEvents\":[\n"
        << "{\"name\":\"process_name\",\"ph\":\"M\",\"pid\":1,\"tid\":0,"
           "\"args\":{\"name\":\"OrvCore renderer\"}},\n"
        << "{\"name\":\"thread_name\",\"ph\":\"M\",\"pid\":1,\"tid\":0,"
           "\"args\":{\"name\":\"frames\"}}";
    QHash<int, QByteArray> names;  // escaped node paths
    auto nameOf = [&](int node) -> const QByteArray& {
        auto it = names.find(node);
        if (it == names.end()) {
            const QString path = d->graph.isValidNode(node) ? d->graph.nodePath(node)
                                                            : QStringLiteral("node %1").arg(node);
            it = names.insert(node, jsonEscaped(path));
        }
        return *it;
    };

    qint64 tracks = 0;
    std::vector<qint64> trackEnds;
    for (size_t k = 0; k < d->traces.size(); ++k) {
        const FrameTrace& trace = d->traces[(d->traceHead + k) % d->traces.size()];
        out << ",\n{\"name\":\"frame " << trace.number
            << "\",\"ph\":\"X\",\"pid\":1,\"tid\":0,\"ts\":";
        out.micros(trace.start) << ",\"dur\":";
        out.micros(trace.end - trace.start) << ",\"args\":{\"frame\":" << trace.number << "}}";
        // Each pass goes on the first track that is free when it starts, so that passes that
        // overlap in time never share one.
        trackEnds.clear();
        for (const PassSpan& span : trace.spans) {
            size_t track = 0;
            while (track < trackEnds.size() && trackEnds[track] > span.start) ++track;
            if (track == trackEnds.size()) trackEnds.push_back(span.end);
            trackEnds[track] = span.end;
            out << ",\n{\"name\":\"" << nameOf(span.node)
                << "\",\"ph\":\"X\",\"pid\":1,\"tid\":" << qint64(track + 1) << ",\"ts\":";
            out.micros(span.start) << ",\"dur\":";
            out.micros(span.end - span.start)
                << ",\"args\":{\"node\":" << qint64(span.node) << ",\"frame\":" << trace.number;
            if (span.errorCode != 0) out << ",\"errorCode\":" << qint64(span.errorCode);
            out << "}}";
        }
        tracks = std::max(tracks, qint64(trackEnds.size()));
    }
    for (qint64 track = 1; track <= tracks; ++track) {
        out << ",\n{\"name\":\"thread_name\",\"ph\":\"M\",\"pid\":1,\"tid\":" << track
            << ",\"args\":{\"name\":\"passes " << track << "\"}}";
    }
    out << "\n],\"displayTimeUnit\":\"ms\"}\n";
    return json;
}

QByteArray frameAsDot(const Renderer& renderer) {
    DotStyle style;
    style.rootInputs = QStringLiteral("parameters");
    style.rootOutputs = QStringLiteral("outputs");
    style.decorate = [&renderer](int node, DotNodeStyle* look) {
        switch (renderer.outcome(node)) {
            case NodeOutcome::Ran:
                look->fill = "#c8f0c8";
                break;
            case NodeOutcome::Failed:
                look->fill = "#f4a3a3";
                break;
            case NodeOutcome::Disabled:
                look->fill = "#d9d9d9";
                break;
            case NodeOutcome::NotReached:
                look->fill = "#ffd699";
                break;
            case NodeOutcome::NotNeeded:
                look->fill = "#ffffff";
                look->faded = true;
                break;
            default:
                return;
        }
        const qint64 took = renderer.latestPassTime(node);
        if (took >= 0)
            look->note = QString::number(double(took) / 1e6, 'f', 2) + QStringLiteral(" ms");
    };
    return writeDot(*renderer.getGraph(), style);
}

}  // namespace Orv
}  // namespace Vantrel
