#include "device/LibraryApi.h"

#include <cstring>
#include <string>
#include <vector>

#include "device/DeviceEnvironment.h"
#include "device/HandleTable.h"
#include "device/NoteProj.h"
#include "device/SystemApi.h"
#include "device/Utf16.h"

namespace device {
namespace {

class ModuleObject final : public HandleObject {};

class CardSearch final : public HandleObject {
public:
    explicit CardSearch(std::vector<std::u16string> cards) : cards_(std::move(cards)) {}
    // Fills the next card; false after the last one.
    bool Next(WIN32_FIND_DATAW* data) {
        if (next_ >= cards_.size()) {
            return false;
        }
        Fill(cards_[next_++], data);
        return true;
    }

private:
    static void Fill(const std::u16string& name, WIN32_FIND_DATAW* data) {
        std::memset(data, 0, sizeof *data);
        data->dwFileAttributes = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_TEMPORARY;
        const size_t length = std::min<size_t>(name.size(), MAX_PATH - 1);
        name.copy(data->cFileName, length);
    }

    std::vector<std::u16string> cards_;
    size_t next_ = 0;
};

}  // namespace

HMODULE LoadLibraryW(LPCWSTR name) {
    const auto device = CurrentDevice();
    if (!device) {
        SetLastError(ERROR_BAD_ENVIRONMENT);
        return nullptr;
    }
    std::u16string_view path = WideView(name);
    if (const auto slash = path.find_last_of(u"\\/"); slash != std::u16string_view::npos) {
        path.remove_prefix(slash + 1);
    }
    if (!device->Profile().HasNoteProj() || ToLower(path) != u"note_prj.dll") {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    return HandleTable::Instance().Add(std::make_shared<ModuleObject>());
}

FARPROC GetProcAddressW(HMODULE module, LPCWSTR procName) {
    if (!HandleTable::Instance().Get<ModuleObject>(module)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    const std::u16string_view name = WideView(procName);
    if (name == u"FindFirstFlashCard") {
        return reinterpret_cast<FARPROC>(&note_prj::FindFirstFlashCard);
    }
    if (name == u"FindNextFlashCard") {
        return reinterpret_cast<FARPROC>(&note_prj::FindNextFlashCard);
    }
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
}

BOOL FreeLibrary(HMODULE module) {
    if (!HandleTable::Instance().Get<ModuleObject>(module)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    HandleTable::Instance().Remove(module);
    return TRUE;
}

BOOL FindClose(HANDLE search) {
    if (!HandleTable::Instance().Get<CardSearch>(search)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    HandleTable::Instance().Remove(search);
    return TRUE;
}

namespace note_prj {

HANDLE FindFirstFlashCard(WIN32_FIND_DATAW* data) {
    const auto device = CurrentDevice();
    if (!device) {
        SetLastError(ERROR_BAD_ENVIRONMENT);
        return INVALID_HANDLE_VALUE;
    }
    if (!data) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    auto search = std::make_shared<CardSearch>(device->PresentCards());
    if (!search->Next(data)) {
        SetLastError(ERROR_NO_MORE_FILES);
        return INVALID_HANDLE_VALUE;
    }
    return HandleTable::Instance().Add(std::move(search));
}

BOOL FindNextFlashCard(HANDLE search, WIN32_FIND_DATAW* data) {
    const auto object = HandleTable::Instance().Get<CardSearch>(search);
    if (!object || !data) {
        SetLastError(object ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!object->Next(data)) {
        SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    return TRUE;
}

}  // namespace note_prj
}  // namespace device
