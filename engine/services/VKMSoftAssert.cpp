#include "engine/services/VKMSoftAssert.h"

#include "engine/services/ZDUtils.h"

bool VKMSoftAssert(bool holds, const char* condition, const char* file, int line, const char* method) {
    if (!holds) {
        ZDUtils::logWarning("Assert: Condition not satisfied - \"%s\"\nFile: %s\nLine: #%d\nMethod: %s", condition,
                            file, line, method);
    }
    return holds;
}
