#include "crashes/TelemetryCrashes/Internals/Util/TLMApplicationForwarder.h"

#include "platform/foundation/Bundle.h"
#include "telemetry/TLMLogger.h"

void TLMApplicationForwarder::registerForwarding() {
    bool enabled = true;
    if (platform::Bundle* bundle = platform::Bundle::main()) {
        if (const auto value = bundle->infoValue(kEnabledKey)) {
            if (const bool* flag = value->asBool()) enabled = *flag;
        }
    }
    if (enabled) {
        TLMLogDebug("TelemetryCrashes", "Application forwarder for info.plist key '%s' enabled. It may use swizzling.",
                    kEnabledKey);
    } else {
        TLMLogDebug("TelemetryCrashes",
                    "Application forwarder for info.plist key '%s' disabled. It won't use swizzling.", kEnabledKey);
    }
}
