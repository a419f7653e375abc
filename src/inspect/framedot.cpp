// The renderer's graph as a picture, each pass coloured by what it did in the latest frame.
#include <Orv/Renderer.h>

#include "inspect/dotwriter_p.h"
#include "inspect/inspect_p.h"

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

}  // namespace

QByteArray frameAsDot(const Renderer& renderer) {
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
    return detail::writeDot(*renderer.getGraph(), style);
}

}  // namespace Orv
}  // namespace Vantrel
