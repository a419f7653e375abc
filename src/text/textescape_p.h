#pragma once

#include <QByteArray>
#include <QString>

namespace Vantrel {
namespace Orv {
namespace detail {

// 'text', as messages quote a name.
QString quoted(const QString& text);

// `text` for a Graphviz HTML-like label: markup characters as entities, control characters,
// which the label's XML may not hold, as '?'.
QByteArray dotHtmlEscaped(const QString& text);

}  // namespace detail
}  // namespace Orv
}  // namespace Vantrel
