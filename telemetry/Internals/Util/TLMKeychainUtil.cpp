#include "telemetry/Internals/Util/TLMKeychainUtil.h"

#include "platform/foundation/Bundle.h"
#include "platform/foundation/TextEncoding.h"
#include "platform/security/Crypto.h"
#include "platform/security/Keychain.h"
#include "telemetry/TLMLogger.h"

namespace {


using Keychain = platform::security::Keychain;

TLMKeychainUtil::OSStatus StatusCode(Keychain::Status status) { return static_cast<TLMKeychainUtil::OSStatus>(status); }

}  // namespace

const std::string& TLMKeychainUtil::defaultServiceName() {
    // Never destroyed: the logs queue may still read it while the process exits.
    static const std::string& name = *new std::string([] {
        // Without a bundle any stable name of the app serves.
        std::string identifier = "com.vekmont.app";
        if (const platform::Bundle* bundle = platform::Bundle::main()) {
            const auto value = bundle->infoValue("CFBundleIdentifier");
            if (value && value->asString() && !value->asString()->empty()) identifier = *value->asString();
        }
        return identifier + ".Telemetry";
    }());
    return name;
}

bool TLMKeychainUtil::storeString(const std::string& string, const std::string& key, const std::string& serviceName) {
    Keychain keychain;
    const auto data = platform::security::bytesOf(string);
    Keychain::Status status = keychain.addItem(serviceName, key, data);
    if (status == Keychain::Status::DuplicateItem) {
        keychain.deleteItem(serviceName, key);
        status = keychain.addItem(serviceName, key, data);
    }
    if (status == Keychain::Status::Success) {
        TLMLogVerbose(kTLMLogTag, "Stored a string with key='%s', service='%s' to keychain.", key.c_str(),
                      serviceName.c_str());
        return true;
    }
    TLMLogWarning(kTLMLogTag, "Failed to store item with key='%s', service='%s' to keychain. OS Status code %i",
                  key.c_str(), serviceName.c_str(), StatusCode(status));
    return false;
}

bool TLMKeychainUtil::storeString(const std::string& string, const std::string& key) {
    return storeString(string, key, defaultServiceName());
}

std::optional<std::string> TLMKeychainUtil::stringForKey(const std::string& key, const std::string& serviceName,
                                                         OSStatus* statusCode) {
    Keychain::Bytes data;
    const Keychain::Status status = Keychain().copyItem(serviceName, key, data);
    if (statusCode) *statusCode = StatusCode(status);
    std::string string(data.begin(), data.end());
    if (status == Keychain::Status::Success && platform::isValidUtf8(string)) {
        TLMLogVerbose(kTLMLogTag, "Retrieved a string with key='%s', service='%s' from keychain.", key.c_str(),
                      serviceName.c_str());
        return string;
    }
    TLMLogWarning(kTLMLogTag, "Failed to retrieve item with key='%s', service='%s' from keychain. OS Status code %i",
                  key.c_str(), serviceName.c_str(), StatusCode(status));
    return std::nullopt;
}

std::optional<std::string> TLMKeychainUtil::stringForKey(const std::string& key, OSStatus* statusCode) {
    return stringForKey(key, defaultServiceName(), statusCode);
}

std::optional<std::string> TLMKeychainUtil::deleteStringForKey(const std::string& key, const std::string& serviceName) {
    std::optional<std::string> string = stringForKey(key, serviceName, nullptr);
    if (!string) return std::nullopt;
    const Keychain::Status status = Keychain().deleteItem(serviceName, key);
    if (status == Keychain::Status::Success) {
        TLMLogVerbose(kTLMLogTag, "Deleted a string with key='%s', service='%s' from keychain.", key.c_str(),
                      serviceName.c_str());
        return string;
    }
    TLMLogWarning(kTLMLogTag, "Failed to delete item with key='%s', service='%s' from keychain. OS Status code %i",
                  key.c_str(), serviceName.c_str(), StatusCode(status));
    return std::nullopt;
}

std::optional<std::string> TLMKeychainUtil::deleteStringForKey(const std::string& key) {
    return deleteStringForKey(key, defaultServiceName());
}

bool TLMKeychainUtil::clear() { return Keychain().deleteAllItems(defaultServiceName()) == Keychain::Status::Success; }
