#pragma once

// Writes small PE files for tests: a header, one empty code section and, when asked for, a
// resource section holding a version resource.

#include <cstdint>
#include <optional>
#include <vector>

#include "device/VersionResourceBuilder.h"

namespace device::testing {

struct PeSpec {
    std::optional<VersionSpec> version;  // none: a PE file without resources
    bool pe32Plus = false;               // the 64-bit optional header
};

std::vector<uint8_t> WritePe(const PeSpec& spec);

}  // namespace device::testing
