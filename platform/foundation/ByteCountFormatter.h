#pragma once
// Byte counts as people read them, in the platform's file style: decimal
// units (1 KB is 1,000 bytes), "bytes" below a kilobyte, no fraction digits
// for kilobytes, one for megabytes and two from gigabytes on, trailing zeros
// dropped, numbers in the current locale ("1.5 MB", "1,5 MB").

#include <cstdint>
#include <string>

namespace platform {

class ByteCountFormatter {
public:
    // "Zero KB" for 0, "1 byte", "999 bytes", "1 KB", "1.2 MB", "3.46 GB".
    static std::string stringFromByteCount(std::int64_t byteCount);
};

}  // namespace platform
