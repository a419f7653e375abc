#pragma once

// The whole public interface of OrvCore: a host includes this header and nothing else.
#include <Orv/Graph.h>
