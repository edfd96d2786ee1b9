#pragma once

#include <cstdint>
#include <functional>
#include <utility>

#include "quorvalib/core/IJob.h"

namespace quorvalib::core {

// A one-step job that calls a stored function and keeps its result.
template <typename R>
class JobSimpleCall : public IJob {
public:
    JobSimpleCall(uint32_t kind, std::function<R()> function)
        : kind_(kind), function_(std::move(function)) {}

    bool Run() override {
        result_ = function_();
        return false;
    }
    uint32_t Kind() const override { return kind_; }
    // Valid once the job has finished.
    const R& Result() const { return result_; }

private:
    const uint32_t kind_;
    R result_{};
    std::function<R()> function_;
};

}  // namespace quorvalib::core
