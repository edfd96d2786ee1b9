#pragma once

#include "common/debug/Log.h"

// The package database logs on one channel, from several files.
TOV_DECLARE_LOG_CHANNEL(PackageDb);
