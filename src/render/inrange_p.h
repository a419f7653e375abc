#pragma once

#include <QVector>

namespace Vantrel {
namespace Orv {
namespace detail {

// Whether `index` names an entry of `table`; any other int, negative or past the end, does not.
template <typename T>
bool inRange(const QVector<T>& table, int index) {
    return index >= 0 && index < table.size();
}

}  // namespace detail
}  // namespace Orv
}  // namespace Vantrel
