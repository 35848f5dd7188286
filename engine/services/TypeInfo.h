#pragma once
// Readable class names for log lines and action names.

#include <string>

namespace UTypeInfo {

// `name` demangled when it is a mangled type name (as typeid gives it), then
// cut at its first "::": "P24CDummyComponentGenerator" gives
// "CDummyComponentGenerator*", a signature text "CTracksOnlyEditAction::
// CTracksOnlyEditAction()" gives "CTracksOnlyEditAction". A text that does not
// demangle is taken as it is; null gives the empty text.
std::string GetClassName(const char* name);

}  // namespace UTypeInfo
