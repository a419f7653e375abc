// The renderer's graph as a picture, each pass coloured by what it did in the latest frame.
#include <Orv/Renderer.h>

#include "text/dotwriter_p.h"

namespace Vantrel {
namespace Orv {

QByteArray frameAsDot(const Renderer& renderer) {
    detail::DotStyle style;
    style.rootInputs = QStringLiteral("parameters");
    style.rootOutputs = QStringLiteral("outputs");
    style.decorate = [&renderer](int node, detail::DotNodeStyle* look) {
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
    return detail::writeDot(*renderer.getGraph(), style);
}

}  // namespace Orv
}  // namespace Vantrel
