#include "platform/foundation/LogClient.h"

namespace platform {

void StreamLogClient::send(long level, const std::string& message) {
    if (!mStream || !wouldSend(level)) return;
    // One write per line so lines from several threads do not interleave.
    std::string line = std::to_string(level) + ' ' + message + '\n';
    std::fwrite(line.data(), 1, line.size(), mStream);
    std::fflush(mStream);
}

}  // namespace platform
