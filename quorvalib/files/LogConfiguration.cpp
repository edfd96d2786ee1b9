#include "quorvalib/files/LogConfiguration.h"

#include <memory>
#include <string>

#include "common/debug/DebugSink.h"
#include "common/debug/FileSink.h"
#include "common/debug/LogLevel.h"
#include "common/debug/LogSink.h"
#include "common/debug/StdErrSink.h"
#include "quorvalib/files/ProgramSettings.h"

namespace quorvalib::files {
namespace {

constexpr char kSection[] = "LOG";
constexpr char kDefaultColors[] = "RYwc";

std::string KeyOf(const char* prefix, int level) {
    return std::string(prefix) + "." + common::debug::LevelName(level);
}

bool HasAnySelection(const Aini& settings, const char* prefix) {
    for (int level = common::debug::kLogError; level <= common::debug::kLogDebug; ++level) {
        const AiniItem* item = settings.Find(kSection, KeyOf(prefix, level));
        if (item && item->IsKey() && item->value) return true;
    }
    return false;
}

// Attaches the sink at every level its keys select; missing or commented-out keys are
// written back empty so that the file shows what can be set.
void AttachLevels(Aini& settings, common::debug::LogSink& sink, const char* prefix) {
    for (int level = common::debug::kLogError; level <= common::debug::kLogDebug; ++level) {
        const std::string key = KeyOf(prefix, level);
        const AiniItem* item = settings.Find(kSection, key);
        std::string selection;
        if (!item || !item->IsKey() || item->Value()[0] == ';') {
            settings.SetValue(kSection, key, "");
        } else {
            selection = item->Value();
        }
        common::debug::Attach(sink, selection, level);
    }
}

}  // namespace

void ConfigureLogging(Aini& settings) { ConfigureLogging(settings, LogFilePath()); }

void ConfigureLogging(Aini& settings, const Astring& logFilePath) {
    using namespace common::debug;

    LogSink& debugger = AdoptSink(std::make_unique<DebugSink>());
    AttachLevels(settings, debugger, "Debugger");

    if (HasAnySelection(settings, "StdErr")) {
        std::string colors = kDefaultColors;
        const AiniItem* item = settings.Find(kSection, "StdErr.Colors");
        if (item && item->IsKey() && item->Value()[0] != ';') {
            colors = item->Value();  // empty: no colours
        } else {
            settings.SetValue(kSection, "StdErr.Colors", kDefaultColors);
        }
        LogSink& stdErr = AdoptSink(std::make_unique<StdErrSink>(colors));
        AttachLevels(settings, stdErr, "StdErr");
    }

    if (HasAnySelection(settings, "File")) {
        // Read so that it shows in the file's lookups; the log always goes to the program's
        // log file path.
        static_cast<void>(settings.Find(kSection, "File.Path"));
        if (!logFilePath.IsEmpty()) {
            LogSink& file = AdoptSink(std::make_unique<FileSink>(logFilePath.str()));
            AttachLevels(settings, file, "File");
        }
    }
}

}  // namespace quorvalib::files
