#include "tools/tovctl/Tovctl.h"

#include <poll.h>

#include <cstdarg>
#include <filesystem>
#include <map>
#include <mutex>

#include "quorvalib/files/Aini.h"
#include "quorvalib/files/ProductVersion.h"
#include "quorvalib/files/ProgramSettings.h"
#include "quorvalib/localization/LocalizationConfig.h"
#include "quorvalib/network/http/HttpDownloadManager.h"
#include "quorvalib/sqlite/Command.h"
#include "tools/kestrova_wizard/http/HttpFactoryWizard.h"
#include "tools/tovctl/PackageSelection.h"
#include "tools/tovctl/ProgressDisplay.h"
#include "tools/tovctl/ServiceEvents.h"
#include "tools/tovctl/StopSignal.h"
#include "updaterlib/GroupModel.h"
#include "updaterlib/PackageDatabase.h"
#include "updaterlib/PackageModel.h"
#include "updaterlib/SynchronizationService.h"
#include "updaterlib/UpdaterService.h"

namespace tovctl {
namespace {

using updaterlib::GroupModel;
using updaterlib::PackageModel;

constexpr char kPlatform[] = "wince";
constexpr char kInstallerPlatform[] = "linux";

enum Task : int32_t { kTaskSync = 1, kTaskPrepare = 2, kTaskProcess = 3 };
enum State : int32_t { kStateBroken = -1, kStateIdle = 0, kStateStarting = 5 };

// English, the language of the command line; the database collates in the C locale.
class CommandLineLanguage : public quorvalib::localization::LocalizationConfig {
public:
    std::string GetLanguageCode() const override { return "en"; }
    std::string GetLanguageName() const override { return "english"; }
    std::string GetLocaleName() const override { return "C"; }
};
const CommandLineLanguage kLanguage;

const char* StateText(int32_t state) {
    switch (state) {
        case -1: return "unusable (the package database could not be opened)";
        case 0: return "idle";
        case 1: return "synchronizing";
        case 2: return "preparing";
        case 3: return "processing";
        case 5: return "starting";
        default: return "unknown";
    }
}

const char* StatusText(int32_t status) {
    switch (status) {
        case updaterlib::kStatusAvailable: return "available";
        case updaterlib::kStatusPreparing: return "downloading";
        case updaterlib::kStatusPrepared: return "downloaded";
        case updaterlib::kStatusInstalled: return "installed";
        default: return "unknown";
    }
}

std::string SizeText(int64_t bytes) {
    char text[32];
    if (bytes < 1024) std::snprintf(text, sizeof text, "%lld B", static_cast<long long>(bytes));
    else if (bytes < 1024 * 1024) std::snprintf(text, sizeof text, "%.1f KiB", bytes / 1024.0);
    else std::snprintf(text, sizeof text, "%.1f MiB", bytes / (1024.0 * 1024.0));
    return text;
}

}  // namespace

const char* ResultText(int32_t code) {
    const char* text = updaterlib::UpdaterResultText(code);
    if (text && *text) return text;
    // Codes the service's table leaves without a text.
    switch (code) {
        case 0: return "done";
        case 7: return "the catalogue could not be read";
        default: return code >= 1 && code <= 16 ? "internal error" : "failed";
    }
}

Tovctl::Tovctl(TovctlOptions options, StopSignal& stop, std::FILE* out, std::FILE* err,
               bool terminal)
    : options_(std::move(options)), stop_(stop), out_(out), err_(err), terminal_(terminal) {}

Tovctl::~Tovctl() { _Stop(); }

void Tovctl::_Print(const char* format, ...) {
    progress_->Finish();
    va_list arguments;
    va_start(arguments, format);
    std::vfprintf(out_, format, arguments);
    va_end(arguments);
    std::fflush(out_);
}

int Tovctl::_Failed(const std::string& what, int32_t code, const std::string& message) {
    progress_->Finish();
    std::fprintf(err_, "tovctl: %s failed with code %d: %s\n", what.c_str(), code,
                 message.empty() ? ResultText(code) : message.c_str());
    std::fflush(err_);
    return code == 22 && cancelRequested_ ? kExitInterrupted : kExitFailed;
}

int Tovctl::Run() {
    progress_ = std::make_unique<ProgressDisplay>(out_, terminal_);
    if (!_Start()) return kExitFailed;
    if (options_.command == "sync") return _Sync();
    if (options_.command == "list") return _List();
    if (options_.command == "install") return _Install();
    if (options_.command == "remove") return _Remove();
    return _Status();
}

bool Tovctl::_Start() {
    dataFolder_ = options_.dataFolder;
    if (dataFolder_.empty()) {
        dataFolder_ = quorvalib::files::DataDirectory().c_str();
    } else {
        std::error_code ec;
        std::filesystem::create_directories(dataFolder_, ec);
        if (!std::filesystem::is_directory(dataFolder_, ec)) {
            std::fprintf(err_, "tovctl: the data folder '%s' cannot be created\n",
                         dataFolder_.c_str());
            return false;
        }
        dataFolder_ = std::filesystem::canonical(dataFolder_, ec).string();
        quorvalib::files::SetDataDirectory(dataFolder_);
    }
    if (!stop_.Valid()) {
        std::fprintf(err_, "tovctl: cannot watch for Ctrl+C\n");
        return false;
    }
    events_ = std::make_unique<ServiceEvents>();
    if (!events_->Valid()) {
        std::fprintf(err_, "tovctl: cannot create the event descriptor\n");
        return false;
    }

    // --server: the run reads a copy of the settings with the address replaced, so the file
    // is never written.
    Aini& programSettings = quorvalib::files::GetSettings();
    if (!options_.serverUrl.empty()) {
        settings_ = std::make_unique<Aini>(Astring());
        settings_->LoadFromText(programSettings.SaveText());
        settings_->SetValue(updaterlib::SynchronizationService::kSection,
                            updaterlib::SynchronizationService::kPackagesUrlKey,
                            options_.serverUrl);
    }

    auto manager = quorvalib::network::http::HttpDownloadManager::Create();
    manager->SetFactory(std::make_unique<HttpFactoryWizard>());
    Astring version;
    quorvalib::files::GetProductVersion(version);
    service_ = std::make_shared<updaterlib::UpdaterService>(
        dataFolder_, kPlatform, manager, &kLanguage, kInstallerPlatform, version.c_str());
    service_->SetSettings(settings_.get());
    service_->ConnectProgress(*events_, &ServiceEvents::OnProgress);
    service_->ConnectTaskDone(*events_, &ServiceEvents::OnTaskDone);
    service_->ConnectStateChanged(*events_, &ServiceEvents::OnStateChanged);
    if (!service_->CreateThread()) {
        std::fprintf(err_, "tovctl: the updater service did not start\n");
        return false;
    }
    const int32_t state = _WaitForStart();
    if (state == kStateStarting) return false;  // interrupted or the wait failed
    if (state == kStateBroken && options_.command != "status") {
        std::fprintf(err_,
                     "tovctl: the package database in '%s' cannot be used (state -1); "
                     "'tovctl status' shows more\n",
                     dataFolder_.c_str());
        return false;
    }
    return true;
}

void Tovctl::_Stop() {
    if (!service_) return;
    if (events_) service_->Disconnect(*events_);
    service_->HardStop();
    service_.reset();
    events_.reset();
}

bool Tovctl::_Pump(std::vector<ServiceNotice>& ends) {
    pollfd fds[2] = {{events_->Fd(), POLLIN, 0}, {stop_.Fd(), POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) return errno == EINTR;
    if (fds[1].revents & POLLIN) {
        if (stop_.Take() != 0) {
            if (!cancelRequested_) {
                cancelRequested_ = true;
                _Print("tovctl: cancelling; the package database is left consistent...\n");
                if (service_) service_->Cancel();
            } else {
                _Print("tovctl: still cancelling, please wait\n");
            }
        }
    }
    ServiceNotice notice;
    while (events_->Take(notice)) {
        if (notice.kind == ServiceNotice::kProgress) {
            progress_->Show(*notice.progress);
        } else {
            ends.push_back(std::move(notice));
        }
    }
    return true;
}

int32_t Tovctl::_WaitForStart() {
    while (true) {
        const int32_t state = service_->GetState();
        if (state != kStateStarting) return state;
        if (cancelRequested_) return kStateStarting;
        std::vector<ServiceNotice> ends;
        if (!_Pump(ends)) return kStateStarting;
        for (const ServiceNotice& end : ends) {
            if (end.kind == ServiceNotice::kStateChanged && end.state != kStateStarting)
                return end.state;
        }
    }
}

bool Tovctl::_WaitForTask(int32_t task, int32_t& code, std::string& message) {
    while (true) {
        std::vector<ServiceNotice> ends;
        if (!_Pump(ends)) return false;
        for (const ServiceNotice& end : ends) {
            if (end.kind == ServiceNotice::kTaskDone && end.task == task) {
                progress_->Finish();
                code = end.code;
                message = end.message;
                return true;
            }
        }
    }
}

int Tovctl::_Sync() {
    _Print("Synchronizing with the update server...\n");
    service_->StartSynchronization();
    int32_t code = 0;
    std::string message;
    if (!_WaitForTask(kTaskSync, code, message)) return _Failed("sync", 17, "wait failed");
    if (code != 0) return _Failed("sync", code, message);
    std::vector<PackageRow> rows;
    ReadPackageRows(*service_->Database(), rows);
    size_t offered = 0;
    for (const PackageRow& row : rows) offered += row.outdated ? 0 : 1;
    _Print("Catalogue synchronized: %zu packages offered.\n", offered);
    return kExitOk;
}

int Tovctl::_List() {
    std::vector<PackageRow> rows;
    if (!ReadPackageRows(*service_->Database(), rows)) {
        return _Failed("list", 8, "the package database cannot be read");
    }
    std::map<int32_t, const PackageRow*> byId;
    for (const PackageRow& row : rows) byId[row.id] = &row;
    const int32_t mode = options_.installed ? PackageModel::kUninstall : PackageModel::kInstall;
    size_t shown = 0;
    // Depth first through the group tree, as the wizard's package grid shows it.
    std::function<void(int32_t, int)> walk = [&](int32_t parent, int depth) {
        const auto groups = service_->CreateGroupModel(mode, parent);
        for (int32_t g = 0; g < groups->RowCount(); ++g) {
            const std::string indent(static_cast<size_t>(depth) * 2, ' ');
            _Print("%s%s\n", indent.c_str(), groups->GetText(g, GroupModel::kGroupName));
            const int32_t groupId = groups->GetInt(g, GroupModel::kGroupId);
            const auto packages = service_->CreatePackageModel(mode, groupId);
            for (int32_t p = 0; p < packages->RowCount(); ++p) {
                const auto found = byId.find(packages->GetInt(p, PackageModel::kId));
                const std::string name = found == byId.end() ? "?" : found->second->name;
                std::string state = StatusText(packages->GetInt(p, PackageModel::kStatus));
                const std::string old = packages->GetText(p, PackageModel::kOldVersion);
                if (!old.empty()) state = "update for " + old;
                if (packages->GetInt(p, PackageModel::kMandatory) != 0) state += ", mandatory";
                _Print("%s  %-16s %-28s %-8s %10s  %s\n", indent.c_str(), name.c_str(),
                       packages->GetText(p, PackageModel::kName),
                       packages->GetText(p, PackageModel::kVersion),
                       SizeText(packages->GetInt(p, PackageModel::kSize)).c_str(),
                       state.c_str());
                ++shown;
            }
            walk(groupId, depth + 1);
        }
    };
    walk(GroupModel::kTopLevel, 0);
    // The grid shows grouped packages only; a package without a group is still listed here.
    bool headed = false;
    for (const PackageRow& row : rows) {
        const bool listed = options_.installed
                                ? row.status == updaterlib::kStatusInstalled ||
                                      row.status == updaterlib::kStatusPrepared
                                : row.status <= updaterlib::kStatusPreparing && !row.outdated;
        if (!row.groups.empty() || !listed) continue;
        if (!headed) _Print("Not in any group\n");
        headed = true;
        _Print("  %-16s %-28s %-8s %10s  %s%s\n", row.name.c_str(), row.displayName.c_str(),
               row.version.c_str(), SizeText(row.size).c_str(), StatusText(row.status),
               row.mandatory ? ", mandatory" : "");
        ++shown;
    }
    if (shown == 0) {
        _Print(options_.installed ? "No package is installed.\n"
                                  : rows.empty() ? "No package is known; run 'tovctl sync'.\n"
                                                 : "Nothing to install or update.\n");
    }
    return kExitOk;
}

int Tovctl::_Apply(const Selection& selection, const char* verb) {
    for (const std::string& note : selection.notes) _Print("  %s\n", note.c_str());
    if (selection.orders.empty()) {
        _Print("Nothing to do.\n");
        return kExitOk;
    }
    service_->PreparePackages(selection.orders);
    int32_t code = 0;
    std::string message;
    if (!_WaitForTask(kTaskPrepare, code, message)) return _Failed(verb, 17, "wait failed");
    if (code != 0) return _Failed(verb, code, message);
    service_->ProcessPackages();
    if (!_WaitForTask(kTaskProcess, code, message)) return _Failed(verb, 17, "wait failed");
    if (code != 0) return _Failed(verb, code, message);
    return kExitOk;
}

int Tovctl::_Install() {
    std::vector<PackageRow> rows;
    if (!ReadPackageRows(*service_->Database(), rows)) {
        return _Failed("install", 8, "the package database cannot be read");
    }
    Selection selection;
    std::string error;
    if (!SelectInstall(rows, options_.packages, selection, error)) {
        std::fprintf(err_, "tovctl: install: %s\n", error.c_str());
        return kExitFailed;
    }
    std::map<int32_t, const PackageRow*> byId;
    for (const PackageRow& row : rows) byId[row.id] = &row;
    std::string names;
    for (const auto& order : selection.orders) {
        if (order.operation != updaterlib::kOperationInstall) continue;
        names += (names.empty() ? "" : ", ") + byId[order.id]->name + " " + byId[order.id]->version;
    }
    if (!names.empty()) _Print("Installing %s\n", names.c_str());
    const int result = _Apply(selection, "install");
    if (result == kExitOk && !names.empty()) _Print("Installed %s\n", names.c_str());
    return result;
}

int Tovctl::_Remove() {
    std::vector<PackageRow> rows;
    if (!ReadPackageRows(*service_->Database(), rows)) {
        return _Failed("remove", 8, "the package database cannot be read");
    }
    Selection selection;
    std::string error;
    if (!SelectRemove(rows, options_.packages, selection, error)) {
        std::fprintf(err_, "tovctl: remove: %s\n", error.c_str());
        return kExitFailed;
    }
    std::string names;
    for (const std::string& name : options_.packages) names += (names.empty() ? "" : ", ") + name;
    _Print("Removing %s\n", names.c_str());
    const int result = _Apply(selection, "remove");
    if (result == kExitOk) _Print("Removed %s\n", names.c_str());
    return result;
}

int Tovctl::_Status() {
    const int32_t state = service_->GetState();
    _Print("data folder:      %s\n", dataFolder_.c_str());
    _Print("service state:    %d (%s)\n", state, StateText(state));
    if (state == kStateBroken) {
        std::fprintf(err_, "tovctl: status failed: the package database in '%s' cannot be used\n",
                     dataFolder_.c_str());
        return kExitFailed;
    }
    auto database = service_->Database();
    int32_t dbVersion = -1;
    {
        std::lock_guard guard(database->Lock());
        quorvalib::sqlite::Command version(*database);
        if (version.Create("SELECT db_version FROM app_info") && version.GetRow()) {
            dbVersion = version.GetInt(0);
        }
    }
    std::vector<PackageRow> rows;
    if (dbVersion < 0 || !ReadPackageRows(*database, rows)) {
        std::fprintf(err_, "tovctl: status failed: the package database cannot be read\n");
        return kExitFailed;
    }
    std::map<int32_t, size_t> counts;
    size_t offered = 0;
    for (const PackageRow& row : rows) {
        ++counts[row.status];
        offered += row.outdated ? 0 : 1;
    }
    _Print("database version: %d\n", dbVersion);
    const Aini& settings = settings_ ? *settings_ : quorvalib::files::GetSettings();
    const Astring server = settings.ReadString(updaterlib::SynchronizationService::kSection,
                                               updaterlib::SynchronizationService::kPackagesUrlKey);
    _Print("update server:    %s\n", server.empty() ? "(default)" : server.c_str());
    _Print("packages:         %zu offered, %zu installed, %zu downloaded, %zu downloading\n",
           offered, counts[updaterlib::kStatusInstalled], counts[updaterlib::kStatusPrepared],
           counts[updaterlib::kStatusPreparing]);
    return kExitOk;
}

}  // namespace tovctl
