#pragma once
// The volume a mount identifier names, for the calls that take one.
// Internal to the property database service.
#include <memory>

#include "platform/PropertyDatabase.h"
#include "platform/PropertyVolume.h"

// Null, with ERROR_INVALID_HANDLE, when nothing is mounted under it.
std::shared_ptr<CPropertyVolume> MountedVolume(const CEGUID* pGuid);
