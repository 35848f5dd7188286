#pragma once
// Soft assertions: a condition that should hold is logged as a warning when
// it does not, and the caller goes on. Beside the log it writes to, so the
// drawing road, the app and the screens above share one.

// Logs "Assert: Condition not satisfied - "<condition>"" with the file, line
// and method at warning level when `holds` is false. Returns `holds`.
bool VKMSoftAssert(bool holds, const char* condition, const char* file, int line, const char* method);

#define VKM_SOFT_ASSERT(condition) VKMSoftAssert(static_cast<bool>(condition), #condition, __FILE__, __LINE__, __func__)
