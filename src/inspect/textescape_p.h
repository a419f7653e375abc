#pragma once

#include <QByteArray>
#include <QString>

namespace Vantrel {
namespace Orv {
namespace detail {

// `text` for a Graphviz HTML-like label: markup characters as entities, control characters,
// which the label's XML may not hold, as '?'.
QByteArray dotHtmlEscaped(const QString& text);
// `text` as a DOT quoted string, quotes included, for attributes such as tooltip: quotes and
// backslashes escaped (so that Graphviz's \N and the like stay literal), control characters
// as '?'.
QByteArray dotQuoted(const QString& text);

}  // namespace detail
}  // namespace Orv
}  // namespace Vantrel
