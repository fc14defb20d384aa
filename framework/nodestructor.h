// Holds an object in static storage and never destroys it. For state that the
// module's ELF destructor still uses at process exit, after the C++ static
// objects have been destroyed. Unlike a leaked `new`, nothing is left on the
// heap when the module is unloaded with dlclose (as long as the object itself
// frees what it allocated).
#pragma once

#include <new>
#include <utility>

namespace fw {

template <class T>
class NoDestructor {
  public:
    template <class... Args>
    explicit NoDestructor(Args&&... args) {
        new (storage_) T(std::forward<Args>(args)...);
    }
    NoDestructor(const NoDestructor&) = delete;
    NoDestructor& operator=(const NoDestructor&) = delete;

    T& operator*() { return *std::launder(reinterpret_cast<T*>(storage_)); }
    T* operator->() { return &**this; }

  private:
    alignas(T) unsigned char storage_[sizeof(T)];
};

}  // namespace fw
