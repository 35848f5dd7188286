#include "platform/security/Keychain.h"

#include "platform/foundation/AtomicFile.h"
#include "platform/foundation/Paths.h"
#include "platform/foundation/Value.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <utility>

namespace platform::security {

namespace fs = std::filesystem;
using Status = Keychain::Status;

namespace {

// The file: {"version": 1, "items": [{"service": …, "account": …,
// "data": <data>}, …]} in the stored form of platform::Value, which keeps
// bytes and any text exactly.
constexpr std::int64_t kFormatVersion = 1;
constexpr std::size_t kMaxFileSize = 16u << 20;

using Items = std::map<std::pair<std::string, std::string>, Keychain::Bytes>;

std::mutex& keychainMutex() {
    static std::mutex mutex;
    return mutex;
}

const std::string* stringField(const Value& item, const char* key) {
    const Value* field = item.find(key);
    return field != nullptr ? field->asString() : nullptr;
}

// The items of a keychain file's text; nullopt when it is not one (a
// missing or wrong field, another version, the same item twice).
std::optional<Items> parseItems(const std::string& text) {
    const auto root = Value::fromStoredForm(text);
    if (!root || !root->isDictionary()) return std::nullopt;
    const Value* version = root->find("version");
    const Value* list = root->find("items");
    if (version == nullptr || version->asInteger() == nullptr || *version->asInteger() != kFormatVersion ||
        list == nullptr || !list->isArray()) {
        return std::nullopt;
    }
    Items items;
    for (const Value& item : *list->asArray()) {
        const std::string* service = stringField(item, "service");
        const std::string* account = stringField(item, "account");
        const Value* data = item.find("data");
        if (service == nullptr || account == nullptr || data == nullptr || data->asData() == nullptr) {
            return std::nullopt;
        }
        if (!items.emplace(std::make_pair(*service, *account), *data->asData()).second) return std::nullopt;
    }
    return items;
}

std::string storedForm(const Items& items) {
    Value::Array list;
    list.reserve(items.size());
    for (const auto& [key, data] : items) {
        list.emplace_back(
            Value::Dictionary{{"service", Value(key.first)}, {"account", Value(key.second)}, {"data", Value(data)}});
    }
    return Value(Value::Dictionary{{"version", Value(kFormatVersion)}, {"items", Value(std::move(list))}})
        .toStoredForm();
}

// The whole of a regular file of at most kMaxFileSize bytes; IOError for
// anything else that is no regular file, Damaged for a larger one.
Status readText(int fd, std::string& text) {
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return Status::IOError;
    if (static_cast<std::uintmax_t>(info.st_size) > kMaxFileSize) return Status::Damaged;
    text.reserve(static_cast<std::size_t>(info.st_size));
    char chunk[16384];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n == 0) return Status::Success;
        if (n < 0) {
            if (errno == EINTR) continue;
            return Status::IOError;
        }
        text.append(chunk, static_cast<std::size_t>(n));
        // The file grew past the limit since its size was taken.
        if (text.size() > kMaxFileSize) return Status::Damaged;
    }
}

// Success with the file's items (none while there is no file), IOError when
// it cannot be read, Damaged when its bytes are not a keychain.
Status readItems(const fs::path& file, Items& items) {
    items.clear();
    // Non-blocking, so a FIFO put in the file's place cannot hang the open.
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return errno == ENOENT ? Status::Success : Status::IOError;
    std::string text;
    const Status status = readText(fd, text);
    ::close(fd);
    if (status != Status::Success) return status;
    auto parsed = parseItems(text);
    if (!parsed) return Status::Damaged;
    items = std::move(*parsed);
    return Status::Success;
}

// The file's folder, made 0700 when missing (its parents as usual).
bool ensureFolder(const fs::path& folder) {
    std::error_code error;
    if (folder.empty() || fs::is_directory(folder, error)) return true;
    if (folder.has_parent_path()) fs::create_directories(folder.parent_path(), error);
    return ::mkdir(folder.c_str(), 0700) == 0 || (errno == EEXIST && fs::is_directory(folder, error));
}

Status writeItems(const fs::path& file, const Items& items) {
    const std::string text = storedForm(items);
    if (text.size() > kMaxFileSize) return Status::TooLarge;
    if (!ensureFolder(file.parent_path()) || !writeFileAtomically(file, text)) return Status::IOError;
    return Status::Success;
}

// Reads the items, lets `change` edit them and writes them back when it
// succeeds. A damaged file is kept as "<file>.damaged" (a hard link, which
// never replaces an earlier one) and the change applies to no items; if the
// write then fails, the link goes again, leaving everything as it was.
Status store(const fs::path& file, const std::function<Status(Items&)>& change) {
    std::lock_guard lock(keychainMutex());
    Items items;
    Status status = readItems(file, items);
    const bool damaged = status == Status::Damaged;
    if (status != Status::Success && !damaged) return status;
    status = change(items);
    if (status != Status::Success) return status;
    const fs::path aside = fs::path(file).concat(".damaged");
    if (damaged && ::link(file.c_str(), aside.c_str()) != 0) {
        return errno == EEXIST ? Status::Damaged : Status::IOError;
    }
    status = writeItems(file, items);
    if (damaged && status != Status::Success) ::unlink(aside.c_str());
    return status;
}

// Like store, but a damaged file stays as it is and fails the change.
Status edit(const fs::path& file, const std::function<Status(Items&)>& change) {
    std::lock_guard lock(keychainMutex());
    Items items;
    Status status = readItems(file, items);
    if (status == Status::Success) status = change(items);
    if (status != Status::Success) return status;
    return writeItems(file, items);
}

Keychain::Bytes bytesOf(std::span<const std::uint8_t> data) { return Keychain::Bytes(data.begin(), data.end()); }

}  // namespace

Keychain::Keychain() : mFile(defaultFilePath()) {}

Keychain::Keychain(fs::path file) : mFile(std::move(file)) {}

fs::path Keychain::defaultFilePath() { return Paths::library() / "Keychains" / "vekmont.keychain"; }

Status Keychain::addItem(const std::string& service, const std::string& account, std::span<const std::uint8_t> data) {
    return store(mFile, [&](Items& items) {
        return items.emplace(std::make_pair(service, account), bytesOf(data)).second ? Status::Success
                                                                                     : Status::DuplicateItem;
    });
}

Status Keychain::setItem(const std::string& service, const std::string& account, std::span<const std::uint8_t> data) {
    return store(mFile, [&](Items& items) {
        items[std::make_pair(service, account)] = bytesOf(data);
        return Status::Success;
    });
}

Status Keychain::copyItem(const std::string& service, const std::string& account, Bytes& data) const {
    std::lock_guard lock(keychainMutex());
    Items items;
    if (const Status status = readItems(mFile, items); status != Status::Success) return status;
    const auto it = items.find(std::make_pair(service, account));
    if (it == items.end()) return Status::ItemNotFound;
    data = std::move(it->second);
    return Status::Success;
}

Status Keychain::deleteItem(const std::string& service, const std::string& account) {
    return edit(mFile, [&](Items& items) {
        return items.erase(std::make_pair(service, account)) != 0 ? Status::Success : Status::ItemNotFound;
    });
}

Status Keychain::deleteAllItems(const std::string& service) {
    return edit(mFile, [&](Items& items) {
        const std::size_t before = items.size();
        std::erase_if(items, [&](const auto& entry) { return entry.first.first == service; });
        return items.size() != before ? Status::Success : Status::ItemNotFound;
    });
}

}  // namespace platform::security
