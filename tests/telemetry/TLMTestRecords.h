#pragma once
// Records the telemetry tests share: a device with every field the
// validity check asks for, and a fixed time with milliseconds.

#include "telemetry/Model/TLMDevice.h"

#include <chrono>
#include <memory>

namespace tlmtest {

// 2024-03-05T06:07:08.009Z
inline std::chrono::system_clock::time_point fixedTime() {
    using namespace std::chrono;
    return sys_days{year{2024} / 3 / 5} + hours{6} + minutes{7} + seconds{8} + milliseconds{9};
}

// Its JSON is kValidDeviceJson, written out by hand.
inline std::shared_ptr<TLMDevice> validDevice() {
    auto device = std::make_shared<TLMDevice>();
    device->setSdkName("telemetry.ios");
    device->setSdkVersion("1.0.0");
    device->setOsName("Debian GNU/Linux");
    device->setOsVersion("12");
    device->setLocale("de_DE");
    device->setTimeZoneOffset(60);
    device->setAppVersion("0.1.0");
    device->setAppBuild("1");
    return device;
}

inline const char* const kValidDeviceJson =
    R"({"sdkName":"telemetry.ios","sdkVersion":"1.0.0","osName":"Debian GNU/Linux","osVersion":"12",)"
    R"("locale":"de_DE","timeZoneOffset":60,"appVersion":"0.1.0","appBuild":"1"})";

}  // namespace tlmtest
