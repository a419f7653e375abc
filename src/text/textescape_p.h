#pragma once

#include <QByteArray>
#include <QString>

namespace Vantrel {
namespace Orv {
namespace detail {

// `text` as the inside of a JSON string: quotes, backslashes and control characters escaped,
// the rest UTF-8 (an unpaired surrogate becomes a replacement character).
QByteArray jsonEscaped(const QString& text);

// `text` for a Graphviz HTML-like label: markup characters as entities, control characters,
// which the label's XML may not hold, as '?'.
QByteArray dotHtmlEscaped(const QString& text);

}  // namespace detail
}  // namespace Orv
}  // namespace Vantrel
