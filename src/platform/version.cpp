#include <Orv/Version.h>

namespace Vantrel {
namespace Orv {

// Compiled into the library, so these report the headers the library was built with, whatever
// headers the host was built with.
int libraryVersion() {
    return ORV_VERSION;
}

const char* libraryVersionString() {
    return ORV_VERSION_STR;
}

}  // namespace Orv
}  // namespace Vantrel
