// The renderer's graph as a picture, each pass coloured by what it did in the latest frame.
#include <Orv/Renderer.h>

#include "inspect/dotwriter_p.h"
#include "inspect/inspect_p.h"

#include <QHash>
#include <QStringList>

#include <algorithm>
#include <iterator>

namespace Vantrel {
namespace Orv {

namespace {

using detail::outcomeLook;

// One table at the top level that says what the colours and borders mean.
QByteArray legend() {
    QByteArray rows;
    for (const NodeOutcome outcome : detail::kPassOutcomes) {
        const bool faded = outcome == NodeOutcome::NotNeeded;
        rows += QByteArray("<TR><TD BORDER=\"1\"") +
                (faded ? " COLOR=\"#9a9a9a\" STYLE=\"dashed\"" : "") + " BGCOLOR=\"" +
                outcomeLook(outcome).colour + "\">" +
                (faded ? "<FONT COLOR=\"#9a9a9a\">" : "<FONT>") + outcomeLook(outcome).word +
                "</FONT></TD></TR>";
    }
    rows += "<TR><TD BORDER=\"3\">the target</TD></TR>";
    return "  \"legend\" [tooltip=\"what the colours mean\", label=<<TABLE BORDER=\"0\" "
           "CELLSPACING=\"2\"><TR><TD><I>legend</I></TD></TR>" +
           rows + "</TABLE>>];\n";
}

bool isRead(Transition::Reason reason) {
    return reason == Transition::Reason::ReadAfterWrite ||
           reason == Transition::Reason::UsageChange || reason == Transition::Reason::HistoryRead;
}

// Labels an edge that ends at a pass's input with the reads its step needs of the output that
// feeds the input. Other transitions (reuse, a write after a history read) belong to no edge.
std::function<void(int, detail::DotEdgeStyle*)> transitionLabels(const Renderer& renderer) {
    const SyncPlan plan = renderer.syncPlan();
    if (plan.numSteps() == 0) return {};
    QHash<int, QVector<int>> stepsOf;  // node -> its steps
    for (int s = 0; s < plan.numSteps(); ++s) stepsOf[plan.nodes[s]] << s;
    return [&renderer, plan, stepsOf](int edge, detail::DotEdgeStyle* look) {
        const Graph& graph = *renderer.getGraph();
        if (graph.isUpEdge(edge)) return;
        int node = graph.edgeDestNode(edge);
        int port = graph.edgeDestIndex(edge);
        const QVector<int> steps = stepsOf.value(node);
        if (steps.isEmpty() || !graph.walkToSourceNode(node, port)) return;
        QStringList labels, whys;
        for (const int step : steps) {
            for (const Transition& t : plan.transitionsBefore(step)) {
                if (t.node != node || t.output != port || !isRead(t.reason)) continue;
                labels << QString::number(t.fromUsage) + QStringLiteral("\u2192") +
                              QString::number(t.toUsage) + QLatin1Char(' ') +
                              QLatin1String(reasonName(t.reason));
                whys << detail::transitionWhy(graph, plan, t);
            }
        }
        look->label = labels.join(QLatin1Char('\n'));
        look->tooltip = whys.join(QLatin1Char('\n'));
    };
}

QByteArray writeFrameDot(const Renderer& renderer, const FrameDotOptions& options) {
    detail::DotStyle style;
    style.rootInputs = QStringLiteral("parameters");
    style.rootOutputs = QStringLiteral("outputs");
    style.legend = legend();
    style.decorate = [&renderer](int node, detail::DotNodeStyle* look) {
        const NodeOutcome outcome = renderer.outcome(node);
        look->marked = node == renderer.target();
        const QString path = renderer.getGraph()->nodePath(node);
        QStringList notes;
        if (look->marked) notes << QStringLiteral("target");
        // Only a pass's outcomes have a look here; groups and the root stay plain.
        const auto& passOutcomes = detail::kPassOutcomes;
        if (std::find(std::begin(passOutcomes), std::end(passOutcomes), outcome) !=
            std::end(passOutcomes)) {
            look->fill = outcomeLook(outcome).colour;
            look->faded = outcome == NodeOutcome::NotNeeded;
            look->tooltip = path + QStringLiteral(": ") + QLatin1String(outcomeLook(outcome).word);
        }
        if (outcome == NodeOutcome::Failed)
            notes << QStringLiteral("error code ") + QString::number(renderer.failureCode(node));
        const qint64 took = renderer.latestPassTime(node);
        if (took >= 0) notes << QString::number(double(took) / 1e6, 'f', 2) + QStringLiteral(" ms");
        look->note = notes.join(QStringLiteral(", "));
        if (!look->tooltip.isEmpty() && !look->note.isEmpty())
            look->tooltip += QStringLiteral(" (") + look->note + QLatin1Char(')');
    };
    if (options.transitions) style.decorateEdge = transitionLabels(renderer);
    // History inputs have no edge in the graph: draw what they read of the frame before.
    const Graph& graph = *renderer.getGraph();
    for (int node = 0; node < graph.numNodesGlobal(); ++node) {
        if (!graph.isValidNode(node) || !renderer.renderPass(node)) continue;
        for (int input = 0; input < graph.numInputs(node); ++input) {
            int producer = -1, output = -1;
            if (renderer.historySource(node, input, &producer, &output))
                style.extraEdges.push_back(detail::DotExtraEdge{producer, output, node, input,
                                                                QStringLiteral("frame before")});
        }
    }
    return detail::writeDot(*renderer.getGraph(), style);
}

}  // namespace

QByteArray frameAsDot(const Renderer& renderer) {
    return writeFrameDot(renderer, FrameDotOptions());
}

QByteArray frameAsDot(const Renderer& renderer, const FrameDotOptions& options) {
    return writeFrameDot(renderer, options);
}

}  // namespace Orv
}  // namespace Vantrel
