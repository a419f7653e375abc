#pragma once

#include <QString>

#include <initializer_list>
#include <utility>

namespace Vantrel {
namespace Orv {
namespace detail {

// Host text for HTML and SVG, in text and in double-quoted attributes: markup characters as
// entities, control characters that XML may not hold as U+FFFD, everything else as it is.
QString xmlEscaped(const QString& text);

// An inline SVG chart built shape by shape: every text is escaped and every coordinate written
// with one decimal, so that callers never format markup themselves.
class SvgChart {
public:
    // Extra attributes (name, value); values are escaped.
    using Attributes = std::initializer_list<std::pair<const char*, QString>>;

    SvgChart(double width, double height);

    // A group whose hover text is `tip`; the shapes drawn until endGroup belong to it.
    void beginGroup(const QString& tip, Attributes attributes = {});
    void endGroup();
    void rect(double x, double y, double width, double height, const QString& fill,
              Attributes attributes = {});
    // `anchor` is SVG's text-anchor: "start", "middle" or "end".
    void text(double x, double y, const QString& text, const QString& fill,
              const char* anchor = "start", Attributes attributes = {});
    void line(double x1, double y1, double x2, double y2, const QString& stroke);

    // The finished <svg> element.
    QString take();

private:
    void attributes(Attributes attributes);

    QString _out;
};

}  // namespace detail
}  // namespace Orv
}  // namespace Vantrel
