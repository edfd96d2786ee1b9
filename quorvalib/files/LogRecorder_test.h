#pragma once

// Kept for the tests that still include it by this name; the recorder itself is the shared one.

#include "common/debug/testing/LogRecorder.h"

using common::debug::testing::LogRecorder;
