#include "engine/services/Uuid.h"

#include <boost/uuid/random_generator.hpp>
#include <boost/uuid/uuid.hpp>

#include <mutex>

namespace UUuid {

std::string NewUuidString() {
    static boost::uuids::random_generator generator;
    static std::mutex mutex;

    boost::uuids::uuid uuid;
    {
        std::lock_guard<std::mutex> lock(mutex);
        uuid = generator();
    }

    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(36);
    for (std::size_t i = 0; i < uuid.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) text.push_back('-');
        text.push_back(kDigits[uuid.data[i] >> 4]);
        text.push_back(kDigits[uuid.data[i] & 0x0F]);
    }
    return text;
}

}  // namespace UUuid
