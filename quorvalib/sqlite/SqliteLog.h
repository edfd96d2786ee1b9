#pragma once

#include "common/debug/Log.h"

// Every class of the SQLite layer logs on this one channel.
TOV_DECLARE_LOG_CHANNEL(Sqlite);
