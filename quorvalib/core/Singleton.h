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
    static T* Instance() { return instance_.load(std::memory_order_acquire); }

protected:
    Singleton() { instance_.store(static_cast<T*>(this), std::memory_order_release); }
    ~Singleton() {
        T* self = static_cast<T*>(this);
        instance_.compare_exchange_strong(self, nullptr, std::memory_order_acq_rel);
    }
    Singleton(const Singleton&) = delete;
    Singleton& operator=(const Singleton&) = delete;

private:
    static inline std::atomic<T*> instance_{nullptr};
};

}  // namespace quorvalib::core
