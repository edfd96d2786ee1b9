#pragma once

#include <cstdint>
#include <memory>

namespace quorvalib::network::http {

class HttpRequest;

// Makes the requests of one transfer back end.
class HttpFactory {
public:
    virtual ~HttpFactory() = default;
    // A new request with the given task id; `context` is 0 in this system.
    virtual std::unique_ptr<HttpRequest> CreateRequest(uintptr_t context, uint64_t taskId) = 0;
};

}  // namespace quorvalib::network::http
