#include "inspect/inspect_p.h"

#include "graph/side_p.h"

namespace Vantrel {
namespace Orv {

namespace {

QString pathOf(const Graph& graph, int node) {
    return graph.isValidNode(node) ? graph.nodePath(node)
                                   : QStringLiteral("node ") + QString::number(node);
}

// "blur.out0", as the report's lifetime chart names its bars.
QString outputName(const Graph& graph, int node, int output) {
    return pathOf(graph, node) + QLatin1Char('.') +
           (graph.isValidNode(node) ? detail::portLabel(graph, node, detail::Side::Output, output)
                                    : QStringLiteral("output ") + QString::number(output));
}

}  // namespace

const Transition::Reason detail::kReasons[5] = {
    Transition::Reason::ReadAfterWrite, Transition::Reason::UsageChange, Transition::Reason::Reuse,
    Transition::Reason::HistoryRead, Transition::Reason::WriteAfterHistoryRead};

const char* detail::reasonColour(Transition::Reason reason) {
    switch (reason) {
        case Transition::Reason::ReadAfterWrite:
            return "#5cc8e8";
        case Transition::Reason::UsageChange:
            return "#b99af5";
        case Transition::Reason::Reuse:
            return "#ff7070";
        case Transition::Reason::HistoryRead:
            return "#ffd84a";
        case Transition::Reason::WriteAfterHistoryRead:
            return "#f59acb";
    }
    return "#f4f4f4";
}

QString detail::transitionWhy(const Graph& graph, const SyncPlan& plan, const Transition& t) {
    const QString step = pathOf(graph, plan.nodes.value(t.step, -1));
    const QString resource = outputName(graph, t.node, t.output);
    QString why = QLatin1String(reasonName(t.reason)) + QStringLiteral(": ");
    switch (t.reason) {
        case Transition::Reason::ReadAfterWrite:
            why += step + QStringLiteral(" reads ") + resource +
                   QStringLiteral(", written at step ") + QString::number(t.producerStep);
            break;
        case Transition::Reason::UsageChange:
            why += step + QStringLiteral(" reads ") + resource +
                   (t.frameBefore ? QStringLiteral(" of the frame before in another usage")
                                  : QStringLiteral(" in another usage"));
            break;
        case Transition::Reason::Reuse:
            why += outputName(graph, plan.nodes.value(t.step, -1), t.takenBy) +
                   QStringLiteral(" takes over the bytes of ") + resource;
            break;
        case Transition::Reason::HistoryRead:
            why += step + QStringLiteral(" reads ") + resource +
                   QStringLiteral(" of the frame before");
            break;
        case Transition::Reason::WriteAfterHistoryRead:
            why += step + QStringLiteral(" writes ") + resource +
                   QStringLiteral(" after reads of its value of the frame before");
            break;
    }
    why += QStringLiteral("; waits for ");
    if (t.waitStep >= 0)
        why += QStringLiteral("step ") + QString::number(t.waitStep);
    else if (t.reason == Transition::Reason::WriteAfterHistoryRead)
        why += QStringLiteral("the frame before, which read this copy of two");
    else
        why += QStringLiteral("the frame before");
    return why + QStringLiteral("; usage ") + QString::number(t.fromUsage) +
           QStringLiteral(" \u2192 ") + QString::number(t.toUsage);
}

}  // namespace Orv
}  // namespace Vantrel
