// A keychain file from untrusted bytes (damaged on disk or put there by
// someone else): reading it gives an item, no item or "damaged", never
// anything else; a damaged file is left as it was and kept aside by the
// next store; a readable one gives every item it lists and keeps them all
// through a store.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "fuzz/support/FuzzSupport.h"
#include "platform/foundation/Value.h"
#include "platform/security/Keychain.h"

using fuzzsupport::Require;
using platform::Value;
using platform::security::Keychain;
using Status = Keychain::Status;

namespace {

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

struct Listed {
    std::string service;
    std::string account;
    Value::Data data;
};

// The items the file lists, read straight from its value.
std::vector<Listed> ListedItems(const std::string& text) {
    std::vector<Listed> listed;
    const auto root = Value::fromStoredForm(text);
    const Value* items = root ? root->find("items") : nullptr;
    if (items == nullptr || !items->isArray()) return listed;
    for (const Value& item : *items->asArray()) {
        const Value* service = item.find("service");
        const Value* account = item.find("account");
        const Value* data = item.find("data");
        if (service && service->asString() && account && account->asString() && data && data->asData()) {
            listed.push_back({*service->asString(), *account->asString(), *data->asData()});
        }
    }
    return listed;
}

void RequireListedItems(const Keychain& keychain, const std::vector<Listed>& listed) {
    for (const Listed& item : listed) {
        Keychain::Bytes data;
        Require(keychain.copyItem(item.service, item.account, data) == Status::Success, "a listed item reads");
        Require(data == item.data, "a listed item reads as stored");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::filesystem::path file = fuzzsupport::TemporaryRoot() / "vekmont.keychain";
    const std::filesystem::path aside = fuzzsupport::TemporaryRoot() / "vekmont.keychain.damaged";
    std::filesystem::remove(aside);
    if (!fuzzsupport::WriteFile(file, data, size)) return 0;
    const std::string input = fuzzsupport::Text(data, size);

    Keychain keychain(file);
    Keychain::Bytes probe;
    const Status status = keychain.copyItem("fuzz", "probe", probe);
    Require(status == Status::Success || status == Status::ItemNotFound || status == Status::Damaged,
            "a regular file reads as a keychain or as damaged");
    const Keychain::Bytes stored{0, 1, 0xff};

    if (status == Status::Damaged) {
        Require(keychain.deleteAllItems("fuzz") == Status::Damaged, "a damaged file fails deletes too");
        Require(ReadFile(file) == input, "a damaged file is left as it was");
        Require(keychain.setItem("fuzz", "probe", stored) == Status::Success, "a store starts afresh");
        Require(ReadFile(aside) == input, "the damaged file is kept aside");
        Require(keychain.copyItem("fuzz", "probe", probe) == Status::Success && probe == stored,
                "the fresh keychain reads back");
        return 0;
    }

    const std::vector<Listed> listed = ListedItems(input);
    RequireListedItems(keychain, listed);
    Require(keychain.setItem("fuzz", "probe", stored) == Status::Success, "a readable keychain takes a store");
    Require(keychain.copyItem("fuzz", "probe", probe) == Status::Success && probe == stored, "the store reads back");
    std::vector<Listed> others;
    for (const Listed& item : listed) {
        if (item.service != "fuzz" || item.account != "probe") others.push_back(item);
    }
    RequireListedItems(keychain, others);
    return 0;
}
