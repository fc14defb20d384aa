// Run-time class records: a class's name and a link to its base's record, so
// that kind-of tests work and the module can register its classes by name.
// Records are static objects; nobody owns or frees them.
#pragma once

namespace fw {

struct RuntimeClass {
    const char* name;
    const RuntimeClass* base;  // nullptr at the root

    bool IsDerivedFrom(const RuntimeClass* other) const {
        for (const RuntimeClass* c = this; c != nullptr; c = c->base)
            if (c == other) return true;
        return false;
    }
};

}  // namespace fw
