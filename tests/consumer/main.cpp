// A host that knows only the installed package: one include, one imported target.
#include <Orv/OrvCore.h>

#include <QtGlobal>

#include <cstdio>
#include <cstring>

using namespace Vantrel::Orv;

// The graph's constants are usable at compile time.
static_assert(Graph::kInvalidNodeRef == -1, "no node is -1");
static_assert(ORV_VERSION ==
                  ORV_VERSION_CHECK(ORV_VERSION_MAJOR, ORV_VERSION_MINOR, ORV_VERSION_PATCH),
              "the version macros agree");
static_assert(ORV_VERSION_CHECK(0, 2, 0) > ORV_VERSION_CHECK(0, 1, 9), "versions compare");

bool idiomsWork();  // idioms.cpp

int main() {
    // The library loaded is the one these headers describe.
    if (libraryVersion() != ORV_VERSION || std::strcmp(libraryVersionString(), ORV_VERSION_STR)) {
        std::printf("consumer: headers %s, library %s\n", ORV_VERSION_STR, libraryVersionString());
        return 1;
    }
    if (!idiomsWork()) {
        std::printf("consumer: an idiom went wrong\n");
        return 1;
    }
    std::printf("consumer: ok, OrvCore %s on Qt %s\n", libraryVersionString(), qVersion());
    return 0;
}
