// Writes the seed corpus of the telemetry archive's fuzz target: archives of
// every value kind and of the records the client keeps, made by our own
// archiver.
//
//   tlm_archive_seeds <folder>

#include "telemetry/Internals/Model/TLMStartServiceLog.h"
#include "telemetry/Model/TLMDevice.h"
#include "telemetry/core/Context/TLMHistoryInfos.h"
#include "telemetry/core/Model/TLMHistoryInfo.h"
#include "telemetry/core/Model/TLMLogWithProperties.h"
#include "telemetry/core/Model/UnifiedSchema/TLMUnifiedSchemaLog.h"
#include "telemetry/core/Util/TLMKeyedArchiver.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace {

std::shared_ptr<TLMDevice> device() {
    auto device = std::make_shared<TLMDevice>();
    device->setWrapperSdkName("wrapper");
    device->setSdkName("telemetry.ios");
    device->setSdkVersion("1.0.0");
    device->setModel("x86_64");
    device->setOsName("Debian GNU/Linux");
    device->setOsVersion("12");
    device->setOsBuild("6.1.0");
    device->setOsApiLevel(1);
    device->setLocale("de_DE");
    device->setTimeZoneOffset(60);
    device->setAppVersion("0.1.0");
    device->setAppBuild("1");
    device->setAppNamespace("com.vekmont.app");
    return device;
}

// A unified-schema log as conversion makes it, with a name, data and
// metadata as an event gives them.
std::shared_ptr<TLMUnifiedSchemaLog> unifiedLog(TLMArchiveValue::Date date) {
    auto event = std::make_shared<TLMLogWithProperties>();
    event->setTimestamp(date);
    event->setDevice(device());
    event->setUserId("alice");
    event->addTransmissionTargetToken("4dacd24d-token");
    auto log = event->toUnifiedSchemaLogForTargetToken("4dacd24d-token", TLMFlagsCritical);
    log->setName("layout.opened");
    log->setPopSample(50);
    log->setCV("cv");
    log->ext()->protocolExt()->setTicketKeys(std::vector<std::string>{"t1"});
    log->ext()->sdkExt()->setEpoch("E");
    log->ext()->sdkExt()->setSeq(3);
    log->ext()->sdkExt()->setInstallId(TLMArchiveValue::Uuid{});
    TLMOrderedDictionary typeOfB;
    typeOfB.setObject(4, "b");
    TLMOrderedDictionary fields;
    fields.setObject(typeOfB, "f");
    auto metadata = std::make_shared<TLMMetadataExtension>();
    metadata->setMetadata(fields);
    log->ext()->setMetadataExt(metadata);
    TLMOrderedDictionary properties;
    properties.setObject("Layout", "baseType");
    properties.setObject(TLMJsonValue::Array{1, 2.5, true, nullptr, "x"}, "list");
    properties.setObject(fields, "baseData");
    auto data = std::make_shared<TLMCSData>();
    data->setProperties(properties);
    log->setData(data);
    return log;
}

std::vector<std::pair<std::string, TLMArchiveValue>> seeds() {
    using Value = TLMArchiveValue;
    TLMArchiveValue::Uuid uuid;
    for (std::size_t i = 0; i < uuid.bytes.size(); ++i) uuid.bytes[i] = static_cast<std::uint8_t>(i * 17);
    const Value::Date date = Value::Date(std::chrono::milliseconds(1'700'000'000'123));

    auto event = std::make_shared<TLMLogWithProperties>();
    event->setType("event");
    event->setTimestamp(date);
    event->setSid("5C7E5A2E-1B1D-4F8E-9A55-0D2C6B1E7F00");
    event->setUserId("c:user");
    event->setDataResidencyRegion("eu");
    event->setDevice(device());
    event->setProperties({{"URL", "https://layouts.example/a"}, {"Code", "404"}});
    auto started = std::make_shared<TLMStartServiceLog>();
    started->setTimestamp(date);
    started->setDevice(device());
    started->setServices(std::vector<std::string>{"Crashes", "Analytics"});
    started->setUnifiedCollectorEnabled(true);
    return {
        {"log-with-properties", event},
        {"start-service-log", started},
        {"device", device()},
        {"history", Value::Array{std::make_shared<TLMHistoryInfo>(date), std::make_shared<TLMHistoryInfo>(date)}},
        {"unified-schema-log", unifiedLog(date)},
        {"device-history", Value::Array{std::make_shared<TLMDeviceHistoryInfo>(date, device())}},
        {"session-history", Value::Array{std::make_shared<TLMSessionHistoryInfo>(date, "S1"),
                                         std::make_shared<TLMSessionHistoryInfo>(date, std::nullopt)}},
        {"user-id-history", Value::Array{std::make_shared<TLMUserIdHistoryInfo>(date, "c:alice")}},
        {"kinds", Value::Array{Value(), true, false, std::int64_t{-2}, 0.5, "text", Value::Data{0x1F, 0x8B}, date, uuid,
                               Value::Array{}, Value::Dictionary{}}},
        {"dictionary", Value::Dictionary{{"properties", Value::Dictionary{{"URL", "https://layouts.example/a"}}},
                                         {"services", Value::Array{"Analytics", "Crashes"}}}},
        {"nested", Value::Array{Value::Array{Value::Array{Value::Dictionary{{"deep", Value::Array{1, 2}}}}}}},
    };
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: tlm_archive_seeds <folder>\n");
        return 2;
    }
    const std::filesystem::path folder(argv[1]);
    std::filesystem::create_directories(folder);
    for (const auto& [name, value] : seeds()) {
        std::string error;
        const auto bytes = TLMKeyedArchiver::archivedData(value, &error);
        if (!bytes) {
            std::fprintf(stderr, "%s: %s\n", name.c_str(), error.c_str());
            return 1;
        }
        std::ofstream out(folder / (name + ".tlma"), std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes->data()), static_cast<std::streamsize>(bytes->size()));
        if (!out) {
            std::fprintf(stderr, "cannot write %s\n", name.c_str());
            return 1;
        }
    }
    return 0;
}
