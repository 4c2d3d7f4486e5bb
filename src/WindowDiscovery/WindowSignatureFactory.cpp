#include "WindowDiscovery/WindowSignatureFactory.h"

namespace zen {

WindowSignature makeWindowSignature(const DiscoveredApplication& application, const DiscoveredWindow& window)
{
    return WindowSignature {
        application.bundleIdentifier,
        application.pid,
        window.title,
        window.role,
        window.subrole,
        CGRectCodable(window.frame),
        window.cgWindowID,
    };
}

} // namespace zen
