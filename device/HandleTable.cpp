#include "device/HandleTable.h"

namespace device {

HandleTable& HandleTable::Instance() {
    static HandleTable table;
    return table;
}

HANDLE HandleTable::Add(std::shared_ptr<HandleObject> object) {
    std::lock_guard guard(lock_);
    const uintptr_t value = next_;
    next_ += 4;
    objects_.emplace(value, std::move(object));
    return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<HandleObject> HandleTable::_Find(HANDLE handle) {
    std::lock_guard guard(lock_);
    const auto it = objects_.find(reinterpret_cast<uintptr_t>(handle));
    return it == objects_.end() ? nullptr : it->second;
}

std::shared_ptr<HandleObject> HandleTable::Remove(HANDLE handle) {
    std::lock_guard guard(lock_);
    const auto it = objects_.find(reinterpret_cast<uintptr_t>(handle));
    if (it == objects_.end()) {
        return nullptr;
    }
    auto object = std::move(it->second);
    objects_.erase(it);
    return object;
}

}  // namespace device
