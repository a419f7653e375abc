#pragma once

#include <QString>
#include <QtGlobal>

namespace Vantrel {
namespace Orv {
namespace detail {

// What is wrong with a buffer's size and alignment, in a few words, or an empty string. The
// planner and the renderer's size table and function share it, so they refuse the same values.
QString memoryRequestProblem(qint64 size, qint64 alignment);

}  // namespace detail
}  // namespace Orv
}  // namespace Vantrel
