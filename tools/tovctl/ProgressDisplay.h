#pragma once

// Shows the updater's progress: a bar redrawn in place on a terminal, plain lines otherwise
// (one per step, file and tenth of the work, so logs stay short).

#include <cstdint>
#include <cstdio>
#include <string>

namespace updaterlib {
class ProgressEvent;
}

namespace tovctl {

class ProgressDisplay {
public:
    static constexpr int kBarWidth = 30;
    static constexpr int kLineWidth = 79;

    ProgressDisplay(std::FILE* output, bool terminal) : output_(output), terminal_(terminal) {}
    ~ProgressDisplay() { Finish(); }

    void Show(const updaterlib::ProgressEvent& progress);
    // Ends a bar line so that the next output starts on a fresh line.
    void Finish();

    // "downloading", "checking", ... for a progress kind.
    static const char* KindText(uint32_t kind);
    // The bar line without the carriage return, padded or cut to kLineWidth.
    static std::string BarLine(const char* what, int percent, const std::string& text);

private:
    std::FILE* const output_;
    const bool terminal_;
    bool barOpen_ = false;
    uint32_t lastKind_ = UINT32_MAX;
    std::string lastText_;
    int lastTenth_ = -1;
};

}  // namespace tovctl
