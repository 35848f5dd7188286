#pragma once
// The application of a unified-schema log.

#include "telemetry/core/Model/UnifiedSchema/TLMCSTextFieldsRecord.h"

#include <string>
#include <vector>

class TLMAppExtension : public TLMCSTextFieldsRecord<TLMAppExtension> {
public:
    TLMAppExtension() = default;
    explicit TLMAppExtension(const TLMKeyedUnarchiver& coder) { decodeTextFields(coder); }

    // "I:" and the app's namespace.
    const std::string& appId() const { return mAppId; }
    void setAppId(std::string value) { mAppId = std::move(value); }
    const std::string& ver() const { return mVer; }
    void setVer(std::string value) { mVer = std::move(value); }
    const std::string& name() const { return mName; }
    void setName(std::string value) { mName = std::move(value); }
    // The first of the main bundle's preferred localisations.
    const std::string& locale() const { return mLocale; }
    void setLocale(std::string value) { mLocale = std::move(value); }
    const std::string& userId() const { return mUserId; }
    void setUserId(std::string value) { mUserId = std::move(value); }

    // JSON and archive keys: "id", "ver", "name", "locale", "userId".
    static std::span<const TextField> textFields() {
        static constexpr TextField fields[]{{"id", &TLMAppExtension::mAppId},
                                            {"ver", &TLMAppExtension::mVer},
                                            {"name", &TLMAppExtension::mName},
                                            {"locale", &TLMAppExtension::mLocale},
                                            {"userId", &TLMAppExtension::mUserId}};
        return fields;
    }

private:
    std::string mAppId;
    std::string mVer;
    std::string mName;
    std::string mLocale;
    std::string mUserId;
};
