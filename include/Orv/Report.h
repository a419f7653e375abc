#pragma once

/// @file
/// A self-contained HTML page on what a renderer's latest frame did and how long its frames took.

#include <Orv/OrvCoreExport.h>

#include <QByteArray>
#include <QString>

namespace Vantrel {
namespace Orv {

class Renderer;

/// What a report shows besides what the renderer knows. Every field may stay empty.
struct ReportContents {
    QString title;       ///< The page's heading; "Frame report" when empty.
    QString summary;     ///< A line under the heading, such as how the frames were run.
    QByteArray picture;  ///< The frame as PNG (or JPEG) bytes, shown beside its passes.
    /// frameAsDot(renderer) laid out as SVG by the host (Graphviz: `dot -Tsvg`). The library
    /// runs no program, so the page shows the graph only when the host passes this in; its
    /// hover texts become the tooltips that frameAsDot writes.
    QByteArray graphSvg;
};

/// One HTML page in UTF-8, with no script and nothing to fetch (the picture is a data: URI,
/// the charts inline SVG): each pass's outcome in the latest frame, with Renderer::explain for
/// the first 100 passes that did not run, and, from the frames kept while timing is on, each
/// pass's mean time, the latest frame's timeline, a histogram of frame times and, when the
/// renderer has history inputs, the frames in which one got its default because the value of
/// the frame before was not real (Renderer::historyValid), each input named; and each
/// output's lifetime over the schedule, coloured by its place in the memory plan when there is
/// one, with a tick per transition of the synchronisation plan when there is one (at the step
/// it comes before, coloured by its reason, saying why when hovered). Writes nothing; the host
/// saves the page.
ORVCORE_EXPORT QByteArray reportHtml(const Renderer& renderer,
                                     const ReportContents& contents = ReportContents());

}  // namespace Orv
}  // namespace Vantrel
