#pragma once

#include <QtGlobal>

namespace Vantrel {
namespace Orv {

// Asks the cache for the line at `address` without waiting for it. A prefetch never faults, so
// any address will do, null or stale included.
inline void prefetch(const void* address) {
#if defined(__GNUC__)
    __builtin_prefetch(address);
#else
    Q_UNUSED(address);
#endif
}

}  // namespace Orv
}  // namespace Vantrel
