#include "engine/services/Strings.h"

#include "platform/foundation/TextEncoding.h"

namespace UStrings {

std::optional<std::string> CFStringToCString(const std::string& utf8, tEncoding encoding) {
    switch (encoding) {
        case tEncoding::UTF8:
            if (!platform::isValidUtf8(utf8)) return std::nullopt;
            return utf8;
        case tEncoding::MacRoman: return platform::utf8ToMacRoman(utf8);
    }
    return std::nullopt;
}

}  // namespace UStrings
