#include "tools/tovctl/ProgressDisplay.h"

#include "updaterlib/ProgressEvent.h"

namespace tovctl {

using updaterlib::ProgressEvent;

const char* ProgressDisplay::KindText(uint32_t kind) {
    switch (kind) {
        case ProgressEvent::kSynchronization: return "synchronizing";
        case ProgressEvent::kInstalling: return "installing";
        case ProgressEvent::kRemoving: return "removing";
        case ProgressEvent::kDownloading: return "downloading";
        case ProgressEvent::kChecking: return "checking";
        case ProgressEvent::kPreparationRequested: return "preparing";
        case ProgressEvent::kCancellationRequested: return "cancelling";
        default: return "working";
    }
}

std::string ProgressDisplay::BarLine(const char* what, int percent, const std::string& text) {
    const int filled = percent * kBarWidth / 100;
    std::string line = "[" + std::string(filled, '#') + std::string(kBarWidth - filled, '.') +
                       "] " + (percent < 10 ? "  " : percent < 100 ? " " : "") +
                       std::to_string(percent) + "% " + what;
    if (!text.empty()) line += " " + text;
    if (line.size() > kLineWidth) line = line.substr(0, kLineWidth - 3) + "...";
    line.resize(kLineWidth, ' ');
    return line;
}

void ProgressDisplay::Show(const ProgressEvent& progress) {
    const uint64_t done = std::min(progress.done, progress.total);
    const int percent = progress.total == 0 ? 0 : static_cast<int>(done * 100 / progress.total);
    const std::string text = progress.text.c_str();
    const char* what = KindText(progress.kind);
    if (progress.kind == ProgressEvent::kPreparationRequested) return;  // nothing to show yet
    if (terminal_) {
        std::fprintf(output_, "\r%s", BarLine(what, percent, text).c_str());
        std::fflush(output_);
        barOpen_ = true;
        return;
    }
    const int tenth = percent / 10;
    if (progress.kind == lastKind_ && text == lastText_ && tenth == lastTenth_) return;
    lastKind_ = progress.kind;
    lastText_ = text;
    lastTenth_ = tenth;
    if (progress.kind == ProgressEvent::kCancellationRequested) {
        std::fprintf(output_, "cancelling...\n");
    } else {
        std::fprintf(output_, "%3d%% %s%s%s\n", percent, what, text.empty() ? "" : " ",
                     text.c_str());
    }
    std::fflush(output_);
}

void ProgressDisplay::Finish() {
    if (!barOpen_) return;
    std::fprintf(output_, "\n");
    std::fflush(output_);
    barOpen_ = false;
}

}  // namespace tovctl
