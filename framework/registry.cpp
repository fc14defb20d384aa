#include "framework/registry.h"

#include <algorithm>
#include <string>

#include "framework/nodestructor.h"

namespace fw {
namespace {

struct Registry {
    std::vector<ModuleRegistration> modules;
    bool failNext = false;
};

// Never destroyed: the module withdraws from its ELF destructor, which at
// process exit runs after the static objects of this library are gone.
Registry& TheRegistry() {
    static NoDestructor<Registry> registry;
    return *registry;
}

std::vector<ModuleRegistration>::iterator FindModule(std::string_view name) {
    auto& modules = TheRegistry().modules;
    return std::find_if(modules.begin(), modules.end(),
                        [&](const ModuleRegistration& m) { return name == m.moduleName; });
}

}  // namespace

bool RegisterExtension(const ModuleRegistration& registration) {
    Registry& registry = TheRegistry();
    if (registry.failNext || registration.moduleName == nullptr) return false;
    if (FindModule(registration.moduleName) != registry.modules.end()) return false;
    if (registration.registerResources != nullptr) registration.registerResources();
    registry.modules.push_back(registration);
    return true;
}

void WithdrawExtension(const char* moduleName) {
    if (moduleName == nullptr) return;
    auto it = FindModule(moduleName);
    if (it == TheRegistry().modules.end()) return;
    ModuleRegistration withdrawn = std::move(*it);
    TheRegistry().modules.erase(it);
    // The list outlives the module that filled it: give its memory back
    // when the last module goes, so an unloaded module leaves nothing behind.
    if (TheRegistry().modules.empty())
        std::vector<ModuleRegistration>().swap(TheRegistry().modules);
    if (withdrawn.withdrawResources != nullptr) withdrawn.withdrawResources();
}

bool IsExtensionRegistered(std::string_view moduleName) {
    return FindModule(moduleName) != TheRegistry().modules.end();
}

const RuntimeClass* FindRegisteredClass(std::string_view className) {
    for (const ModuleRegistration& module : TheRegistry().modules)
        for (const RuntimeClass* c : module.classes)
            if (c != nullptr && c->name != nullptr && className == c->name) return c;
    return nullptr;
}

void SetRegistrationFailure(bool fail) { TheRegistry().failNext = fail; }

}  // namespace fw
