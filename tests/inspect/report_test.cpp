// The report page: self-contained, well-formed, every name shown as it is, honest about missing
// figures, every pass named somewhere in its timeline, and charts whose figures add up. The page
// is read as XML, through its sections' ids and its data- attributes, not its markup or colours.
#include <Orv/Renderer.h>
#include <Orv/Report.h>

#include "hostile_names.h"
#include "renderer_fixture.h"

#include <QXmlStreamReader>

#include <algorithm>
#include <vector>

using namespace Vantrel::Orv;

namespace {

// One element of the page: its name, attributes, all the text inside it, and the id of the
// section it is in.
struct Element {
    QString name;
    QXmlStreamAttributes attributes;
    QString text;
    QString section;

    QString operator[](const char* attribute) const {
        return attributes.value(QLatin1String(attribute)).toString();
    }
};

class ReportTest : public RendererFixture {
protected:
    // The page's elements in document order; fails the test when it is not well-formed.
    std::vector<Element> read(const ReportContents& contents = ReportContents()) {
        html = QString::fromUtf8(reportHtml(renderer, contents));
        std::vector<Element> elements;
        std::vector<size_t> open;
        QXmlStreamReader reader(html);
        reader.setNamespaceProcessing(false);  // a host's SVG may use prefixes it never declares
        while (!reader.atEnd()) {
            reader.readNext();
            if (reader.isStartElement()) {
                Element element{reader.name().toString(), reader.attributes(), QString(),
                                open.empty() ? QString() : elements[open.back()].section};
                if (element.name == "section") element.section = element["id"];
                open.push_back(elements.size());
                elements.push_back(element);
            } else if (reader.isEndElement()) {
                open.pop_back();
            } else if (reader.isCharacters()) {
                for (size_t e : open) elements[e].text += reader.text();
            }
        }
        EXPECT_FALSE(reader.hasError())
            << reader.errorString().toStdString() << " at line " << reader.lineNumber() << "\n"
            << html.toStdString();
        return elements;
    }
    // The elements of section `section` (any when empty) named `name` that have `attribute`.
    static std::vector<Element> find(const std::vector<Element>& page, const QString& section,
                                     const QString& name, const char* attribute = nullptr) {
        std::vector<Element> found;
        for (const Element& element : page) {
            if ((section.isEmpty() || element.section == section) && element.name == name &&
                (!attribute || element.attributes.hasAttribute(QLatin1String(attribute))))
                found.push_back(element);
        }
        return found;
    }
    static bool hasSection(const std::vector<Element>& page, const QString& id) {
        return !find(page, id, "section").empty();
    }
    // Each element's `attribute`, or its text when none is named, in document order.
    static QStringList column(const std::vector<Element>& elements,
                              const char* attribute = nullptr) {
        QStringList values;
        for (const Element& element : elements)
            values << (attribute ? element[attribute] : element.text);
        return values;
    }

    QString html;
};

}  // namespace

// A chain of a slow pass, hostile names and short passes with long names, and a spare pass that
// never runs: each name is shown as it is, in the list, the bars and the timeline (on its bar,
// beside it or in the key under its number), nothing is fetched, and the histogram counts every
// kept frame, its caption the dark bars.
TEST_F(ReportTest, NamesAreShownAsTheyAreEverywhereAndNothingIsFetched) {
    QStringList names = QStringList{"slow"} + hostileNames();
    names << "<script>alert(1)</script>";
    for (int i = 0; i < 4; ++i) names << QStringLiteral("a-short-pass-with-a-long-name-%1").arg(i);
    for (int i = 0; i < names.size(); ++i) {
        add(names[i]);
        if (i > 0) link(names[i - 1], names[i]);
    }
    passes["slow"]->unfinishedPolls = 40;
    up(renderer.addOutput("image"), names.last());
    add("spare %1");
    renderer.setTimingEnabled(true);
    for (int frame = 0; frame < 12; ++frame) EXPECT_TRUE(render());

    ReportContents contents;
    contents.title = QStringLiteral("<i>run %1</i>");
    contents.picture = QByteArray("\x89PNG fake", 9);
    // As Graphviz writes it: each shape titled with its DOT id, and a comment repeating it.
    contents.graphSvg = QByteArrayLiteral(
        "<?xml version=\"1.0\"?>\n<svg width=\"8pt\"><!-- cluster_n1 --><g><title>cluster_n1"
        "</title><a xlink:title=\"odd &amp; &lt;b&gt; (group)\"><path/></a></g><g><title>n0_in"
        "</title></g></svg>\n");
    const std::vector<Element> page = read(contents);

    for (const char* outside : {"<script", "<link", "url(", "src=\"http", "href=\"http", "@import"})
        EXPECT_FALSE(html.contains(QLatin1String(outside), Qt::CaseInsensitive)) << outside;
    EXPECT_EQ(find(page, "", "title").at(0).text, "<i>run %1</i>") << "the page's own, first";
    // Every pass listed under its path, in the list and the bars alike.
    QStringList listed, timed;
    for (const Element& item : find(page, "latest-frame", "li", "data-pass")) {
        listed << item["data-pass"];
        const bool spare = item["data-pass"] == "spare %1";
        EXPECT_EQ(item["data-outcome"], spare ? "not needed" : "ran");
        EXPECT_TRUE(!spare || item.text.contains("'spare %1' did not run"))
            << item.text.toStdString();
    }
    for (const Element& bar : find(page, "pass-times", "div", "data-pass")) {
        timed << bar["data-pass"];
        EXPECT_EQ(bar["data-runs"], bar["data-pass"] == "spare %1" ? QString("0") : QString("12"));
    }
    QStringList paths;
    for (const QString& name : names) {
        paths << graph()->nodePath(node(name));
        EXPECT_TRUE(listed.contains(paths.last()) && timed.contains(paths.last()))
            << paths.last().toStdString();
    }
    for (const Element& stat : find(page, "", "div", "data-stat"))
        EXPECT_TRUE(stat["data-stat"] != "frames-timed" || stat.text.startsWith("12"));
    EXPECT_TRUE(html.contains(QStringLiteral("src=\"data:image/png;base64,") +
                              QString::fromLatin1(contents.picture.toBase64())));
    // The host's graph without the DOT ids, with frameAsDot's tooltips.
    ASSERT_TRUE(hasSection(page, "graph"));
    EXPECT_TRUE(find(page, "graph", "title").empty());
    const std::vector<Element> links = find(page, "graph", "a", "xlink:title");
    ASSERT_EQ(links.size(), 1u);
    EXPECT_EQ(links[0]["xlink:title"], "odd & <b> (group)");
    EXPECT_FALSE(html.contains("cluster_n1") || html.contains("<?xml"));

    EXPECT_EQ(column(find(page, "timeline", "g", "data-span"), "data-span").mid(1), paths)
        << "after the frame, each pass";
    const QStringList keyed = column(find(page, "timeline", "span", "data-key"));
    // A span's group holds its bar, then its label: the name, or its number in the key.
    QString span;
    int labels = 0;
    for (const Element& element : page) {
        if (element.section != "timeline") continue;
        if (element.name == "g") span = element["data-span"];
        if (element.name != "text" || span.isEmpty()) continue;
        const QString key = element.text + ' ' + span + " (";
        EXPECT_TRUE(element.text == span ||
                    std::any_of(keyed.begin(), keyed.end(),
                                [&key](const QString& entry) { return entry.startsWith(key); }))
            << span.toStdString() << " labelled " << element.text.toStdString();
        span.clear();
        ++labels;
    }
    EXPECT_EQ(labels, names.size() + 1);

    int frames = 0, peaks = 0;
    for (const Element& bar : find(page, "frame-times", "g", "data-count")) {
        frames += bar["data-count"].toInt();
        peaks += bar["data-peak"] == "true";
    }
    const std::vector<Element> caption = find(page, "frame-times", "p", "data-frames");
    ASSERT_EQ(caption.size(), 1u);
    EXPECT_EQ(frames, 12);
    EXPECT_EQ(caption[0]["data-frames"], "12");
    EXPECT_EQ(caption[0]["data-peak-bars"].toInt(), peaks);
    EXPECT_TRUE(caption[0].text.contains(peaks == 1
                                             ? QStringLiteral("the dark bar is")
                                             : QStringLiteral("the %1 dark bars").arg(peaks)))
        << caption[0].text.toStdString();
}

TEST_F(ReportTest, MissingFiguresLeaveTheirChartsOutAndSaySo) {
    const auto outcomes = [](const std::vector<Element>& at) {
        return column(find(at, "latest-frame", "li", "data-outcome"), "data-outcome");
    };
    std::vector<Element> page = read();
    EXPECT_EQ(column(find(page, "latest-frame", "li")), QStringList{"The renderer has no passes."});
    chain("A B");
    EXPECT_EQ(outcomes(read()), QStringList({"unknown", "unknown"}));
    EXPECT_TRUE(render());
    page = read();
    EXPECT_EQ(outcomes(page), QStringList({"ran", "ran"}));
    EXPECT_TRUE(find(page, "pass-times", "p")[0].text.startsWith("No frame was timed"));
    for (const char* chart : {"timeline", "frame-times", "graph"})
        EXPECT_FALSE(hasSection(page, chart)) << chart;
    EXPECT_TRUE(html.startsWith("<!DOCTYPE html>") && html.endsWith("</html>\n"));
}

//   A%2 -> B -> %1 -> D -> output, 100 bytes each but D's, which the host reads after the frame
// and which is kept past it. With the memory plan the others are drawn at their places, %1
// taking over A%2's bytes; with the synchronisation plan too, A%2's bar carries its read after
// write and the reuse.
TEST_F(ReportTest, TheLifetimeChartDrawsEachOutputAtItsPlaceAndTicksItsTransitions) {
    chain("A%2 B %1 D");
    renderer.setOutputMemoryFunction([](int, int) { return OutputMemory{100, 1}; });
    ASSERT_TRUE(renderer.setPortUsage(node("A%2"), PortSide::Output, 0, 1));
    ASSERT_TRUE(renderer.setPortUsage(node("B"), PortSide::Input, 0, 2));
    ASSERT_TRUE(renderer.setPortUsage(node("%1"), PortSide::Output, 0, 4));
    EXPECT_TRUE(render());
    std::vector<Element> page = read();
    EXPECT_EQ(find(page, "lifetimes", "g", "data-output").size(), 4u);
    EXPECT_TRUE(find(page, "lifetimes", "div", "data-heap-size").empty()) << "no plan yet";

    renderer.setMemoryPlanning(true);
    EXPECT_TRUE(render());
    page = read();
    QStringList bars;
    for (const Element& bar : find(page, "lifetimes", "g", "data-output")) {
        bars << bar["data-output"] + ' ' + bar["data-first-step"] + '-' + bar["data-last-step"] +
                    (bar["data-outlives-frame"] == "true" ? " kept" : " at " + bar["data-offset"]);
    }
    const QString a = renderer.memoryOffset(node("A%2"), 0) == 0 ? "0" : "100";
    const QString b = a == "0" ? "100" : "0";
    EXPECT_EQ(bars, QStringList({"A%2.out0 0-1 at " + a, "B.out0 1-2 at " + b,
                                 "%1.out0 2-3 at " + a, "D.out0 3-3 kept"}));
    const std::vector<Element> chart = find(page, "lifetimes", "div", "data-heap-size");
    EXPECT_EQ(column(chart, "data-heap-size") + column(chart, "data-lower-bound"),
              QStringList({"200", "200"}));
    EXPECT_TRUE(find(page, "lifetimes", "g", "data-transition").empty()) << "no plan asked for";
    EXPECT_TRUE(find(page, "lifetimes", "span", "data-reason").empty());
    EXPECT_TRUE(find(page, "lifetimes", "div", "data-transitions").empty());

    renderer.setSyncPlanning(true);
    EXPECT_TRUE(render());
    page = read();
    ASSERT_EQ(renderer.memoryOffset(node("%1"), 0), renderer.memoryOffset(node("A%2"), 0));
    QStringList ticks;
    for (const Element& tick : find(page, "lifetimes", "g", "data-transition")) {
        ticks << tick["data-resource"] + ' ' + tick["data-transition"] + " before " +
                     tick["data-step"] + " after " + tick["data-wait-step"] + ' ' +
                     tick["data-from-usage"] + '>' + tick["data-to-usage"];
    }
    EXPECT_EQ(ticks, QStringList({"A%2.out0 read after write before 1 after 0 1>2",
                                  "B.out0 read after write before 2 after 1 0>0",
                                  "A%2.out0 reuse before 2 after 1 2>4",
                                  "%1.out0 read after write before 3 after 2 4>0"}));
    EXPECT_TRUE(column(find(page, "lifetimes", "title"))
                    .contains("reuse: %1.out0 takes over the bytes of A%2.out0; waits for step 1; "
                              "usage 2 \u2192 4"));
    EXPECT_EQ(column(find(page, "lifetimes", "div", "data-transitions"), "data-transitions"),
              QStringList{"4"});
    EXPECT_EQ(column(find(page, "lifetimes", "span", "data-reason")),
              QStringList({"read after write", "usage change", "reuse", "history read",
                           "write after history read"}));
}

//   B -> output, B's input reading A's output of the frame before (a history input), so that B
// runs first.  A's output has two places, taken by
// frames in turn: its bar shows this frame's, and its ticks the read of the frame before and the
// write that waits for that frame.
TEST_F(ReportTest, AnOutputReadByAHistoryInputIsPlacedAndTickedAsTheFrameBefore) {
    add("B");
    add("A");
    up(renderer.addOutput("image"), "B");
    ASSERT_TRUE(renderer.setHistoryInput(node("B"), 0, node("A"), 0));
    renderer.setOutputMemoryFunction([](int, int) { return OutputMemory{100, 1}; });
    renderer.setMemoryPlanning(true);
    renderer.setSyncPlanning(true);
    for (int frame = 0; frame < 2; ++frame) {
        EXPECT_TRUE(render());
        const std::vector<Element> page = read();
        ASSERT_EQ(find(page, "lifetimes", "div", "data-heap-size").size(), 1u);
        const std::vector<Element> bars = find(page, "lifetimes", "g", "data-output");
        ASSERT_EQ(bars.size(), 2u);
        EXPECT_EQ(bars[1]["data-output"], "A.out0");
        EXPECT_EQ(bars[1]["data-offset"].toLongLong(), renderer.memoryOffset(node("A"), 0));
        QStringList ticks;
        for (const Element& tick : find(page, "lifetimes", "g", "data-transition")) {
            ticks << tick["data-resource"] + ' ' + tick["data-transition"] + " before " +
                         tick["data-step"] + " after " + tick["data-wait-step"];
        }
        EXPECT_EQ(ticks, QStringList({"A.out0 history read before 0 after -1",
                                      "A.out0 write after history read before 1 after -1"}));
    }
    const std::vector<Element> titles = find(read(), "lifetimes", "title");
    EXPECT_TRUE(std::any_of(titles.begin(), titles.end(), [](const Element& title) {
        return title.text.startsWith(
            "write after history read: A writes A.out0 after reads of its value of the frame "
            "before; waits for the frame before, which read this copy of two; usage 0 \u2192 0");
    }));
}

// The frames in which a history input read no real value of the frame before are marked, with
// the input named; frames that read real history are not, and a renderer without history
// inputs shows no such section.
//   S -> T.in0 -> output; T.in1 reads T's own output of the frame before.
TEST_F(ReportTest, FramesWhoseHistoryStartedOverAreMarkedWithTheInputNamed) {
    const QString temporal = QStringLiteral("T %1 <b>");
    add("S");
    add(temporal, 2, 1);
    link("S", temporal);
    up(renderer.addOutput("image"), temporal);
    renderer.setTimingEnabled(true);
    EXPECT_TRUE(render());
    EXPECT_FALSE(hasSection(read(), "history"));

    ASSERT_TRUE(renderer.setHistoryInput(node(temporal), 1, node(temporal), 0));
    const QString input = temporal + '.' + graph()->inputName(node(temporal), 1);
    for (int frame = 2; frame <= 6; ++frame) {
        if (frame == 4) renderer.resetHistory();
        if (frame == 6) renderer.invalidateOutputSizes();
        EXPECT_TRUE(render());
    }
    std::vector<Element> page = read();
    QStringList marked;  // each frame's item, then the inputs named inside it
    for (const Element& e : page) {
        if (e.section == "history" && e.name == "li") marked << e["data-frame"] + ":";
        if (e.section == "history" && e.name == "code") {
            EXPECT_EQ(e.text, e["data-input"]);
            marked.last() += ' ' + e["data-input"];
        }
    }
    EXPECT_EQ(marked, QStringList({"2: " + input, "4: " + input, "6: " + input}))
        << "the first frame, a reset and a resize";
    const auto resetFrames = [](const std::vector<Element>& at) {
        return column(find(at, "history", "p", "data-reset-frames"), "data-reset-frames");
    };
    EXPECT_EQ(resetFrames(page), QStringList{"3"});

    // Untimed frames record nothing; once the ring holds only frames with real history, the
    // section says so.
    renderer.setTimingEnabled(false);
    renderer.resetHistory();
    EXPECT_TRUE(render());
    renderer.setTimingEnabled(true);
    ASSERT_TRUE(renderer.setTimingHistory(2));
    EXPECT_TRUE(render());
    EXPECT_TRUE(render());
    page = read();
    EXPECT_TRUE(find(page, "history", "li").empty());
    EXPECT_EQ(resetFrames(page), QStringList{"0"});
}
