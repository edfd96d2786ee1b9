#include "tools/tovctl/ProgressDisplay.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "updaterlib/ProgressEvent.h"

namespace tovctl {
namespace {

using updaterlib::ProgressEvent;

class Capture {
public:
    Capture() : file_(std::tmpfile()) {}
    ~Capture() { std::fclose(file_); }
    std::FILE* File() { return file_; }
    std::string Text() {
        std::fflush(file_);
        std::rewind(file_);
        std::string text;
        for (int c; (c = std::fgetc(file_)) != EOF;) text += static_cast<char>(c);
        return text;
    }

private:
    std::FILE* file_;
};

ProgressEvent Progress(uint32_t kind, uint64_t done, uint64_t total, const char* text) {
    return ProgressEvent(kind, done, 0, total, 0, text);
}

TEST(ProgressDisplay, PlainLinesOncePerStepFileAndTenth) {
    Capture out;
    {
        ProgressDisplay display(out.File(), false);
        display.Show(Progress(ProgressEvent::kPreparationRequested, 0, 0, ""));
        display.Show(Progress(ProgressEvent::kDownloading, 0, 200, "a.map"));
        display.Show(Progress(ProgressEvent::kDownloading, 5, 200, "a.map"));
        display.Show(Progress(ProgressEvent::kDownloading, 25, 200, "a.map"));
        display.Show(Progress(ProgressEvent::kChecking, 150, 200, "a.map"));
        display.Show(Progress(ProgressEvent::kDownloading, 400, 200, "b.map"));  // clamped
        display.Show(Progress(ProgressEvent::kCancellationRequested, 0, 0, ""));
    }
    EXPECT_EQ(out.Text(),
              "  0% downloading a.map\n"
              " 12% downloading a.map\n"
              " 75% checking a.map\n"
              "100% downloading b.map\n"
              "cancelling...\n");
}

TEST(ProgressDisplay, TerminalBarIsRedrawnInPlaceAndEndedOnce) {
    Capture out;
    {
        ProgressDisplay display(out.File(), true);
        display.Show(Progress(ProgressEvent::kSynchronization, 25, 100, "downloading"));
        display.Show(Progress(ProgressEvent::kSynchronization, 50, 100, "parsing"));
        display.Finish();
    }
    const std::string text = out.Text();
    EXPECT_EQ(text, "\r" + ProgressDisplay::BarLine("synchronizing", 25, "downloading") + "\r" +
                        ProgressDisplay::BarLine("synchronizing", 50, "parsing") + "\n");
    const std::string bar = ProgressDisplay::BarLine("installing", 50, std::string(200, 'x'));
    EXPECT_EQ(bar.size(), static_cast<size_t>(ProgressDisplay::kLineWidth));
    EXPECT_EQ(bar.rfind("[###############...............]  50% installing x", 0), 0u);
    EXPECT_EQ(bar.substr(bar.size() - 3), "...");
}

}  // namespace
}  // namespace tovctl
