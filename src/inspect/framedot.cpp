// The renderer's graph as a picture, each pass coloured by what it did in the latest frame.
#include <Orv/Renderer.h>

#include "inspect/dotwriter_p.h"
#include "inspect/textescape_p.h"

#include <QStringList>

namespace Vantrel {
namespace Orv {

namespace {

struct OutcomeLook {
    NodeOutcome outcome;
    const char* fill;
    const char* word;
};

const OutcomeLook kLooks[] = {{NodeOutcome::Ran, "#c8f0c8", "ran"},
                              {NodeOutcome::Failed, "#f4a3a3", "failed"},
                              {NodeOutcome::Disabled, "#d9d9d9", "switched off"},
                              {NodeOutcome::NotReached, "#ffd699", "not reached"},
                              {NodeOutcome::NotNeeded, "#ffffff", "not needed"}};

// One table at the top level that says what the colours and borders mean.
QByteArray legend() {
    QByteArray rows;
    for (const OutcomeLook& look : kLooks) {
        const bool faded = look.outcome == NodeOutcome::NotNeeded;
        rows += QByteArray("<TR><TD BORDER=\"1\"") +
                (faded ? " COLOR=\"#9a9a9a\" STYLE=\"dashed\"" : "") + " BGCOLOR=\"" + look.fill +
                "\">" + (faded ? "<FONT COLOR=\"#9a9a9a\">" : "<FONT>") + look.word +
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
        for (const OutcomeLook& known : kLooks) {
            if (known.outcome != outcome) continue;
            look->fill = known.fill;
            look->faded = outcome == NodeOutcome::NotNeeded;
            look->tooltip = path + QStringLiteral(": ") + QLatin1String(known.word);
        }
        if (outcome == NodeOutcome::Failed)
            notes << QStringLiteral("error code %1").arg(renderer.failureCode(node));
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
