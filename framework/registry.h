// The registry of extension modules: at load a module registers its dialog
// resources and the run-time class records of its classes, at unload it
// withdraws them. Lookups by class name search every registered module.
// Used from the loading thread only.
#pragma once

#include <string_view>
#include <vector>

#include "runtimeclass.h"

namespace fw {

struct ModuleRegistration {
    const char* moduleName = nullptr;
    // Called at registration to make the module's resources known (a Qt
    // resource initialiser); may be null.
    void (*registerResources)() = nullptr;
    // Called at withdrawal; may be null.
    void (*withdrawResources)() = nullptr;
    std::vector<const RuntimeClass*> classes;
};

// Registers the module; false when it cannot be registered (a module of that
// name is registered already, or a test made registration fail).
bool RegisterExtension(const ModuleRegistration& registration);

// Withdraws the module of that name; nothing when it is not registered.
void WithdrawExtension(const char* moduleName);

bool IsExtensionRegistered(std::string_view moduleName);

// The registered class of that name, or nullptr.
const RuntimeClass* FindRegisteredClass(std::string_view className);

// Tests: make the next registrations fail (true) or succeed again (false).
void SetRegistrationFailure(bool fail);

}  // namespace fw
