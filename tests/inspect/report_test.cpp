// The report page: self-contained and escaped for any names, honest about missing figures, and
// every pass named somewhere in its timeline.
#include <Orv/Renderer.h>
#include <Orv/Report.h>

#include "renderer_fixture.h"

#include <QRegularExpression>

using namespace Vantrel::Orv;

namespace {

class ReportTest : public RendererFixture {
protected:
    QString page(const ReportContents& contents = ReportContents()) const {
        return QString::fromUtf8(reportHtml(renderer, contents));
    }
    // The text of the section whose heading starts with `heading`.
    static QString section(const QString& html, const QString& heading) {
        const int start = html.indexOf(QStringLiteral("<h2>") + heading);
        if (start < 0) return QString();
        return html.mid(start, html.indexOf(QStringLiteral("</section>"), start) - start);
    }
};

}  // namespace

TEST_F(ReportTest, NamesAreEscapedAndNothingIsFetched) {
    group("odd & <b>", 0, 1);
    add("<script>alert(1)</script>", 1, 1, "odd & <b>");
    up(0, "<script>alert(1)</script>");
    chain("odd & <b> last");
    add("spare");
    renderer.setTimingEnabled(true);
    for (int frame = 0; frame < 3; ++frame) EXPECT_TRUE(render());

    ReportContents contents;
    contents.title = QStringLiteral("<i>run</i>");
    contents.picture = QByteArray("\x89PNG fake", 9);
    // As Graphviz writes it: each shape titled with its DOT id, and a comment repeating it.
    contents.graphSvg = QByteArrayLiteral(
        "<?xml version=\"1.0\"?>\n<svg width=\"8pt\"><!-- cluster_n1 --><g><title>cluster_n1"
        "</title><a xlink:title=\"odd &amp; &lt;b&gt; (group)\"><path/></a></g><g><title>n0_in"
        "</title></g></svg>\n");
    const QString html = page(contents);

    for (const char* outside : {"<script", "<link", "url(", "src=\"http", "href=\"http", "@import"})
        EXPECT_FALSE(html.contains(QLatin1String(outside), Qt::CaseInsensitive)) << outside;
    EXPECT_FALSE(html.contains(QStringLiteral("<i>run")) || html.contains(QStringLiteral("& <b>")));
    EXPECT_TRUE(html.contains(QStringLiteral("<title>&lt;i&gt;run&lt;/i&gt;</title>")));
    EXPECT_TRUE(html.contains(QStringLiteral("odd &amp; &lt;b&gt;/&lt;script&gt;")));
    EXPECT_TRUE(html.contains(QStringLiteral("src=\"data:image/png;base64,") +
                              QString::fromLatin1(contents.picture.toBase64())));
    // The host's graph without the DOT ids, with frameAsDot's tooltips.
    const QString graph = section(html, QStringLiteral("The graph"));
    EXPECT_TRUE(graph.startsWith(QStringLiteral("<h2>The graph")) && graph.contains("<svg"));
    EXPECT_FALSE(graph.contains(QStringLiteral("n0_in")) || graph.contains("cluster_n1") ||
                 graph.contains("<?xml"));
    EXPECT_TRUE(graph.contains(QStringLiteral("xlink:title=\"odd &amp; &lt;b&gt; (group)\"")));
    // The pass not needed is explained; the three timed frames are counted.
    EXPECT_TRUE(html.contains(QStringLiteral("'spare' did not run")));
    EXPECT_TRUE(html.contains(QStringLiteral("<b>3</b><span>frames timed</span>")));
    EXPECT_TRUE(html.contains(QStringLiteral("mean of 3 runs")));
}

TEST_F(ReportTest, MissingFiguresLeaveTheirChartsOutAndSaySo) {
    EXPECT_TRUE(page().contains(QStringLiteral("The renderer has no passes.")));
    chain("A B");
    EXPECT_TRUE(page().contains(QStringLiteral(">no frame</span><b>A</b>")));
    EXPECT_TRUE(render());
    const QString untimed = page();
    EXPECT_TRUE(untimed.contains(QStringLiteral(">ran</span><b>B</b>")));
    EXPECT_TRUE(untimed.contains(QStringLiteral("No frame was timed")));
    for (const QString& heading :
         {QStringLiteral("Timeline"), QStringLiteral("Frame times"), QStringLiteral("The graph")})
        EXPECT_TRUE(section(untimed, heading).isEmpty()) << heading.toStdString();
    EXPECT_TRUE(untimed.startsWith(QStringLiteral("<!DOCTYPE html>")) &&
                untimed.endsWith(QStringLiteral("</html>\n")));
}

// One slow pass and short ones with long names: each name is on its bar, beside it or in the
// key; and the histogram's caption counts the bars it calls darkest.
TEST_F(ReportTest, EveryPassIsNamedInTheTimelineAndTheCaptionMatchesTheBars) {
    add("slow");
    passes["slow"]->unfinishedPolls = 40;
    QStringList names{"slow"};
    for (int i = 0; i < 4; ++i) {
        names << QStringLiteral("a-short-pass-with-a-long-name-%1").arg(i);
        add(names.last());
        link(names[i], names.last());
    }
    up(renderer.addOutput("image"), names.last());
    renderer.setTimingEnabled(true);
    for (int frame = 0; frame < 12; ++frame) EXPECT_TRUE(render());
    const QString html = page();

    const QString timeline = section(html, QStringLiteral("Timeline"));
    ASSERT_FALSE(timeline.isEmpty());
    for (const QString& name : names)
        EXPECT_TRUE(timeline.contains(QStringLiteral(">%1</text>").arg(name)) ||
                    timeline.contains(
                        QRegularExpression(QStringLiteral("class=\"key\">.*\\d %1 \\(").arg(name))))
            << name.toStdString() << "\n"
            << timeline.toStdString();

    const QString histogram = section(html, QStringLiteral("Frame times"));
    const int dark = histogram.count(QStringLiteral("fill=\"#3b5ba9\""));
    ASSERT_GE(dark, 1);
    EXPECT_TRUE(histogram.contains(dark == 1 ? QStringLiteral("the dark bar is the most common")
                                             : QStringLiteral("the %1 dark bars share").arg(dark)))
        << histogram.toStdString();
    EXPECT_TRUE(histogram.contains(QStringLiteral("The 12 kept frames")));
}

//   A -> B -> C -> output 0;  A -> C.1.  With the memory plan, A's and B's outputs are placed
// and C's, which the renderer output collects, is kept past the frame.
TEST_F(ReportTest, TheLifetimeChartDrawsABarPerOutputColouredByItsPlace) {
    add("A%2"), add("B"), add("C", 2, 1);
    chain("A%2 B C");
    link("A%2", "C", 0, 1);
    EXPECT_TRUE(render());
    QString chart = section(page(), QStringLiteral("Output lifetimes"));
    EXPECT_EQ(chart.count(QStringLiteral("<rect")), 3);
    EXPECT_TRUE(chart.contains(QStringLiteral("setMemoryPlanning"))) << "no plan yet";

    renderer.setMemoryPlanning(true);
    for (const char* pass : {"A%2", "B", "C"})
        ASSERT_TRUE(renderer.setOutputMemory(node(pass), 0, OutputMemory{1024, 256}));
    EXPECT_TRUE(render());
    chart = section(page(), QStringLiteral("Output lifetimes"));
    EXPECT_EQ(chart.count(QStringLiteral("<rect")), 3);
    // A's output lives from step 0 to C's step 2, B's from 1 to 2: both in the heap, apart.
    EXPECT_TRUE(chart.contains(QStringLiteral("<title>A%2.out0: steps 0 to 2, at byte ")));
    EXPECT_TRUE(chart.contains(QStringLiteral("<title>B.out0: steps 1 to 2, at byte ")));
    EXPECT_TRUE(chart.contains(QStringLiteral("<title>C.out0: steps 2 to 2, kept past")));
    EXPECT_TRUE(chart.contains(QStringLiteral("heap 2048 bytes, lower bound 2048")));
    EXPECT_EQ(chart.count(QStringLiteral("fill=\"hsl(")), 2);
}
