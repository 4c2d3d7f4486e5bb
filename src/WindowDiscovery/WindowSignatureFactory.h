#pragma once

#include "Snapshots/Snapshot.h"
#include "WindowDiscovery/DiscoveredApplication.h"

namespace zen {

// The evidence a live window is recognised by later: identity of its application, its
// title, role and frame as seen now, and its window number.
WindowSignature makeWindowSignature(const DiscoveredApplication& application, const DiscoveredWindow& window);

} // namespace zen
