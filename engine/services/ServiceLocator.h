#pragma once
// The registry of the engine's process-wide services, keyed by name.
// Services are made and registered once at start-up and never removed; the
// registry does not own them.

#include <map>
#include <string>

class CLocatableService {
public:
    virtual ~CLocatableService() = default;
    virtual std::string GetServiceName() const = 0;
};

// Never implemented nor registered: lookups of it always find nothing.
class LibraryRepositoryServiceBase : public CLocatableService {};

class CServiceLocator {
public:
    static CServiceLocator& Instance();

    // Registers under the service's own name; a second registration under
    // the same name replaces the first.
    void RegisterService(CLocatableService* service);

    // The service of that name, or null with the warning
    // "Failed to locate service '<name>'".
    CLocatableService* LocateService(const std::string& name);

    // LocateService followed by a checked downcast; a service of another
    // type gives null without a message of its own.
    template <typename Interface>
    Interface* LocateServiceAs(const std::string& name) {
        return dynamic_cast<Interface*>(LocateService(name));
    }

    // Forgets every registration, as a new process has none; the services
    // are not deleted (a caller may still hold one). For tests that run one
    // after another in a process.
    void ForgetServicesForTests();

private:
    CServiceLocator() = default;
    std::map<std::string, CLocatableService*> mServices;
};
