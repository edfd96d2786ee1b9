#include "common/debug/LogSink.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/debug/Log.h"

// Channels named as the library's own, so selections read as they would in a settings file.
TOV_DEFINE_LOG_CHANNEL(Sqlite);
TOV_DEFINE_LOG_CHANNEL(Athr);
TOV_DEFINE_LOG_CHANNEL(All);
TOV_DEFINE_LOG_CHANNEL(PackageDb);

namespace common::debug {
namespace {

class NullSink final : public LogSink {
public:
    NullSink() : LogSink("") {}
    void Write(const LogLocation&, const char*, int, uint32_t, const std::string&) override {
        ++writes;
    }
    int writes = 0;
};

const std::vector<LogChannel*> kChannels = {&g_logChannel_Sqlite, &g_logChannel_Athr,
                                            &g_logChannel_All, &g_logChannel_PackageDb};

std::string Selected(const LogSink& sink) {
    std::string names;
    for (LogChannel* channel : kChannels) {
        for (const auto& slot : channel->sinks) {
            if (slot.load() == &sink) names += std::string(names.empty() ? "" : " ") + channel->name;
        }
    }
    return names;
}

int SlotOf(const LogChannel& channel, const LogSink& sink) {
    for (int slot = 0; slot < LogChannel::kSlots; ++slot) {
        if (channel.sinks[slot].load() == &sink) return slot;
    }
    return -1;
}

TEST(Attach, SelectionText) {
    const struct {
        const char* selection;
        const char* selected;
    } cases[] = {
        {"Sqlite", "Sqlite"},
        {"Sqlite,", "Sqlite"},
        {",Sqlite", ""},
        {"Sqlite,,Athr", "Sqlite"},
        {"Sqlite;Athr", "Sqlite Athr"},
        {"Sqlite,Sqlite", "Sqlite"},
        {" Athr", ""},
        {"ALL", "Sqlite Athr All PackageDb"},
        {"all", "Sqlite Athr All PackageDb"},
        {"All", "All"},  // mixed case is an ordinary channel name
        {"ALL,Sqlite", "Sqlite Athr All PackageDb"},
        {"ALLBUT", "Sqlite Athr All PackageDb"},
        {"ALLBUT,Sqlite,Athr", "All PackageDb"},
        {"", ""},
    };
    for (const auto& c : cases) {
        NullSink sink;
        Attach(sink, c.selection, kLogInfo);
        EXPECT_EQ(Selected(sink), c.selected) << "selection '" << c.selection << "'";
    }
}

TEST(Attach, SlotLevelIsOnlyRaisedAndMaxLevelFollowsTheSlots) {
    NullSink first, second;
    Attach(first, "Sqlite", kLogWarning);
    Attach(second, "Sqlite", kLogError);
    EXPECT_EQ(g_logChannel_Sqlite.maxLevel.load(), kLogWarning);
    Attach(first, "Sqlite", kLogError);  // never lowered
    EXPECT_EQ(g_logChannel_Sqlite.levels[SlotOf(g_logChannel_Sqlite, first)].load(), kLogWarning);
    Attach(second, "Sqlite", kLogDebug);
    EXPECT_EQ(g_logChannel_Sqlite.maxLevel.load(), kLogDebug);
    EXPECT_EQ(SlotOf(g_logChannel_Sqlite, first), 0);
    EXPECT_EQ(SlotOf(g_logChannel_Sqlite, second), 1);
}

TEST(Attach, AFifthSinkIsSkippedSilently) {
    std::vector<std::unique_ptr<NullSink>> sinks;
    for (int i = 0; i < 5; ++i) {
        sinks.push_back(std::make_unique<NullSink>());
        Attach(*sinks.back(), "Athr", kLogError);
    }
    EXPECT_EQ(SlotOf(g_logChannel_Athr, *sinks[3]), 3);
    EXPECT_EQ(SlotOf(g_logChannel_Athr, *sinks[4]), -1);
}

TEST(Detach, DestroyingSinksInAnyOrderKeepsTheRestReachable) {
    const int orders[][3] = {{0, 1, 2}, {1, 0, 2}, {2, 1, 0}, {0, 2, 1}};
    for (const auto& order : orders) {
        std::unique_ptr<NullSink> sinks[3];
        const int levels[3] = {kLogError, kLogDebug, kLogWarning};
        for (int i = 0; i < 3; ++i) {
            sinks[i] = std::make_unique<NullSink>();
            Attach(*sinks[i], "PackageDb", levels[i]);
        }
        for (int step = 0; step < 3; ++step) {
            sinks[order[step]].reset();
            int occupied = 0, maxLevel = 0;
            for (int slot = 0; slot < LogChannel::kSlots; ++slot) {
                LogSink* sink = g_logChannel_PackageDb.sinks[slot].load();
                if (sink == nullptr) {
                    for (int rest = slot; rest < LogChannel::kSlots; ++rest) {
                        EXPECT_EQ(g_logChannel_PackageDb.sinks[rest].load(), nullptr);
                    }
                    break;
                }
                ++occupied;
                maxLevel = std::max(maxLevel, g_logChannel_PackageDb.levels[slot].load());
            }
            EXPECT_EQ(occupied, 2 - step);
            EXPECT_EQ(g_logChannel_PackageDb.maxLevel.load(), maxLevel);
            // Every survivor still receives a message through dispatch.
            for (auto& sink : sinks) {
                if (!sink) continue;
                const int before = sink->writes;
                Dispatch(g_logChannel_PackageDb, LogLocation{}, kLogError, "m");
                EXPECT_EQ(sink->writes, before + 1);
            }
        }
    }
}

TEST(Registry, AdoptedSinksAreDestroyedAndDetached) {
    LogSink& sink = AdoptSink(std::make_unique<NullSink>());
    Attach(sink, "Sqlite", kLogDebug);
    EXPECT_EQ(SlotOf(g_logChannel_Sqlite, sink), 0);
    DestroySinks();
    EXPECT_EQ(g_logChannel_Sqlite.sinks[0].load(), nullptr);
    EXPECT_EQ(g_logChannel_Sqlite.maxLevel.load(), 0);
}

}  // namespace
}  // namespace common::debug
