#pragma once

// The process's table of device handles: files, card enumerations, processes, modules.

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

#include "device/CeTypes.h"

namespace device {

class HandleObject {
public:
    virtual ~HandleObject() = default;
};

class HandleTable {
public:
    static HandleTable& Instance();

    HANDLE Add(std::shared_ptr<HandleObject> object);
    // Null when the handle is unknown or holds another kind of object.
    template <typename T>
    std::shared_ptr<T> Get(HANDLE handle) {
        return std::dynamic_pointer_cast<T>(_Find(handle));
    }
    // The object leaves the table; null when the handle is unknown.
    std::shared_ptr<HandleObject> Remove(HANDLE handle);

private:
    std::shared_ptr<HandleObject> _Find(HANDLE handle);

    std::mutex lock_;
    uintptr_t next_ = 0x100;  // values are not reused, so a stale handle stays invalid
    std::map<uintptr_t, std::shared_ptr<HandleObject>> objects_;
};

}  // namespace device
