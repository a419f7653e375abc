#pragma once

#include <QString>

namespace Vantrel {
namespace Orv {
namespace detail {

// Path of the executable of the current process as the system reports it, decoded as an
// 8-bit local path; empty when the system cannot tell.
QString systemExecutablePath();

}  // namespace detail
}  // namespace Orv
}  // namespace Vantrel
