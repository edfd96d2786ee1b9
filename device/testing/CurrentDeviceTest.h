#pragma once

// A test whose process runs on a temporary device: the device services work on its root.

#include <gtest/gtest.h>

#include <memory>

#include "device/DeviceEnvironment.h"
#include "device/testing/DeviceFixture.h"

namespace device::testing {

class CurrentDeviceTest : public ::testing::Test {
protected:
    // Makes the temporary device the current one, with this profile.
    void UseDevice(DeviceProfile profile = {}) {
        auto root = DeviceRoot::Open(device_.Root(), std::move(profile));
        ASSERT_TRUE(root);
        SetCurrentDevice(std::make_shared<const DeviceRoot>(std::move(*root)));
    }
    void SetUp() override { UseDevice(); }
    void TearDown() override { SetCurrentDevice(nullptr); }

    TempDevice device_;
};

}  // namespace device::testing
