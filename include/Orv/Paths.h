#pragma once

/// @file
/// The host executable's path and the resources directory.

#include <Orv/OrvCoreExport.h>

#include <QString>

namespace Vantrel {
namespace Orv {

/// Full path of the host's executable, worked out once and then cached. If the system cannot
/// tell, an error line is written and the empty string returned; the next call asks again.
ORVCORE_EXPORT QString executablePath();

/// The resources directory: the one set by setResourcesPath(), else the canonical directory of
/// executablePath() followed by "/Resources" (just "/Resources" if that directory is unknown).
ORVCORE_EXPORT QString resourcesPath();

/// Replaces the resources directory as given, unchecked; the empty string withdraws an override.
ORVCORE_EXPORT void setResourcesPath(const QString& path);

}  // namespace Orv
}  // namespace Vantrel
