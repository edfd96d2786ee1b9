#pragma once

#include <atomic>

namespace quorvalib::core {

// Single-instance base: `class LocaleManager : public Singleton<LocaleManager>`. The object
// publishes itself on construction; Instance() is null while none exists. A newer object
// replaces the published one; destroying an object only clears the pointer if it is the one
// published, so a replaced instance never takes the newer one with it.
template <typename T>
class Singleton {
public:
    // The cast is made here, on a whole object: during the base's construction and
    // destruction the object is not a T yet (or any more).
    static T* Instance() { return static_cast<T*>(instance_.load(std::memory_order_acquire)); }

protected:
    Singleton() { instance_.store(this, std::memory_order_release); }
    ~Singleton() {
        Singleton* self = this;
        instance_.compare_exchange_strong(self, nullptr, std::memory_order_acq_rel);
    }
    Singleton(const Singleton&) = delete;
    Singleton& operator=(const Singleton&) = delete;

private:
    static inline std::atomic<Singleton*> instance_{nullptr};
};

}  // namespace quorvalib::core
