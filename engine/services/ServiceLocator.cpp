#include "engine/services/ServiceLocator.h"

#include "engine/services/Logger.h"

CServiceLocator& CServiceLocator::Instance() {
    // Never destroyed: a thread still running at exit may look a service up.
    static auto* instance = new CServiceLocator();
    return *instance;
}

void CServiceLocator::RegisterService(CLocatableService* service) {
    if (service == nullptr) {
        LogError("Cannot register a null service");
        return;
    }
    // A second registration under the same name replaces the pointer; the
    // earlier object belongs to whoever made it.
    mServices[service->GetServiceName()] = service;
    LogInfo("Service '%s' registered.", service->GetServiceName().c_str());
}

CLocatableService* CServiceLocator::LocateService(const std::string& name) {
    const auto found = mServices.find(name);
    if (found == mServices.end()) {
        LogWarning("Failed to locate service '%s'", name.c_str());
        return nullptr;
    }
    return found->second;
}

void CServiceLocator::ForgetServicesForTests() { mServices.clear(); }
