#pragma once
// Values written as the platform's standard text form, the old-style
// property list: arrays as "(\n    a,\n    b\n)", dictionaries as
// "{\n    key = value;\n}". Texts are quoted unless they are plain words
// (letters, digits and "_$.:/-"), with '"', '\' and line breaks escaped.

#include "platform/foundation/Error.h"

#include <string>
#include <vector>

std::string TLMDescriptionOfLines(const std::vector<std::string>& lines);

// The user info of an error; values of kinds the form has no place for are
// written as their C++ type between angle brackets.
std::string TLMDescriptionOfUserInfo(const platform::Error::UserInfo& userInfo);
