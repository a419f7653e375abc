#pragma once

#include <QString>

namespace Vantrel {
namespace Orv {
namespace detail {

// Writes "[file:line] message" on the critical channel; `file` is cut to its base name.
void reportError(const char* file, int line, const QString& message);

// Writes the error line of a failed soft assertion on `expression`, with `message` as reason.
void reportFailedAssertion(const char* expression, const char* file, int line,
                           const QString& message);

}  // namespace detail
}  // namespace Orv
}  // namespace Vantrel

#define ORV_ERROR(message) ::Vantrel::Orv::detail::reportError(__FILE__, __LINE__, (message))

// Evaluates to the value of `cond`; on failure writes one assertion line and goes on. The
// message is built only when the check fails.
#define ORV_SOFT_ASSERT(cond, message)                                                           \
    ((cond)                                                                                      \
         ? true                                                                                  \
         : (::Vantrel::Orv::detail::reportFailedAssertion(#cond, __FILE__, __LINE__, (message)), \
            false))
