#include "quorvalib/localization/LocaleManager.h"

#include <tinyxml2.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "common/debug/Log.h"
#include "quorvalib/files/Afile.h"
#include "quorvalib/files/ProgramSettings.h"
#include "quorvalib/localization/LanguageTable.h"

TOV_DEFINE_LOG_CHANNEL(LocaleManager);

namespace quorvalib::localization {
namespace {

const std::u16string kEmptyWide;
const Astring kEmptyText;

bool ReadWholeFile(const Astring& path, std::string& text) {
    Afile file;
    file.SetLogErrors(false);
    if (!file.OpenRead(path)) {
        return false;
    }
    char buffer[16384];
    for (;;) {
        size_t read = 0;
        if (!file.Read(buffer, sizeof buffer, read)) {
            return false;
        }
        if (read == 0) {
            return true;
        }
        text.append(buffer, read);
    }
}

// The language code as written; 0 when it does not start with a number.
uint32_t ParseLanguageCode(const char* text) {
    if (text == nullptr) {
        return 0;
    }
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (end == text || value <= 0 || value > static_cast<long>(UINT32_MAX)) {
        return 0;
    }
    return static_cast<uint32_t>(value);
}

}  // namespace

LocaleManager::LocaleManager() { LoadAll(); }

LocaleManager::LocaleManager(const Astring& folder) { LoadFolder(folder); }

void LocaleManager::LoadAll() {
    const Astring& folder = files::ProgramDirectory();
    std::error_code error;
    std::filesystem::current_path(std::filesystem::path(folder.str()), error);
    if (error) {
        TOV_LOG_WARNING(LocaleManager,
                        "quorvalib::localization::LocaleManager::LoadAll: cannot enter '%s'.",
                        folder.c_str());
    }
    LoadFolder(folder);
}

void LocaleManager::LoadFolder(const Astring& folder) {
    Astring pattern = folder;
    pattern.AppendPath("locales").AppendPath("*.xml");
    Afile listing;
    listing.SetLogErrors(false);
    for (bool found = listing.FindNext(pattern); found; found = listing.FindNext()) {
        if (listing.IsDirectory()) {
            continue;
        }
        std::string text;
        if (ReadWholeFile(listing.Path(), text) && !LoadDocument(text)) {
            TOV_LOG_DEBUG(LocaleManager, "Skipped translation file '%s'.",
                          listing.Path().c_str());
        }
    }
}

bool LocaleManager::LoadDocument(std::string_view text) {
    tinyxml2::XMLDocument document;
    if (document.Parse(text.data(), text.size()) != tinyxml2::XML_SUCCESS) {
        return false;
    }
    const tinyxml2::XMLElement* root = document.RootElement();
    if (root == nullptr || std::string_view(root->Name()) != "quorva") {
        return false;
    }
    const tinyxml2::XMLElement* code = root->FirstChildElement("languagecode");
    if (code == nullptr) {
        return false;
    }
    const uint32_t lcid = ParseLanguageCode(code->GetText());
    if (lcid == 0) {
        return false;
    }
    Table& table = languages_[lcid];
    const tinyxml2::XMLElement* translations = root->FirstChildElement("translations");
    if (translations == nullptr) {
        return true;
    }
    for (const tinyxml2::XMLElement* entry = translations->FirstChildElement("string");
         entry != nullptr; entry = entry->NextSiblingElement("string")) {
        const char* key = entry->Attribute("code");
        const char* value = entry->GetText();
        table[key ? key : ""] = Astring(ExpandPlaceholders(value ? value : ""));
    }
    return true;
}

uint32_t LocaleManager::SetLanguage(uint32_t lcid) {
    auto found = languages_.find(lcid);
    std::lock_guard guard(lock_);
    if (found == languages_.end()) {
        current_ = &languages_[kEnglish];
        lcid_ = kEnglish;
        codePage_ = kEnglishCodePage;
        languageName_ = "english";
        languageCode_ = std::to_string(kEnglish);
        localeName_ = InstalledLocaleOr(FindLanguage(kEnglish)->posixName);
        return kEnglish;
    }
    current_ = &found->second;
    lcid_ = lcid;
    if (const LanguageInfo* language = FindLanguage(lcid)) {
        languageName_ = language->name;
        codePage_ = language->codePage;
        languageCode_ = std::to_string(lcid);
        localeName_ = InstalledLocaleOr(language->posixName);
    } else {
        // A language the program has no entry for is sent to the server as English.
        languageName_.clear();
        codePage_ = 0;
        languageCode_ = std::to_string(kEnglish);
        localeName_ = "C";
    }
    return lcid;
}

const Astring* LocaleManager::_Find(const std::string& key) const {
    if (current_ != nullptr) {
        if (auto it = current_->find(key); it != current_->end()) {
            return &it->second;
        }
    }
    if (auto english = languages_.find(kEnglish); english != languages_.end()) {
        if (auto it = english->second.find(key); it != english->second.end()) {
            return &it->second;
        }
    }
    for (const auto& [lcid, table] : languages_) {
        if (auto it = table.find(key); it != table.end()) {
            return &it->second;
        }
    }
    return nullptr;
}

const std::u16string& LocaleManager::GetText(const std::string& key) const {
    const Astring* text = _Find(key);
    return text ? text->WideString() : kEmptyWide;
}

const Astring& LocaleManager::GetTextUtf8(const std::string& key) const {
    const Astring* text = _Find(key);
    return text ? *text : kEmptyText;
}

std::string LocaleManager::GetLanguageCode() const {
    std::lock_guard guard(lock_);
    return languageCode_;
}

std::string LocaleManager::GetLanguageName() const {
    std::lock_guard guard(lock_);
    return languageName_;
}

std::string LocaleManager::GetLocaleName() const {
    std::lock_guard guard(lock_);
    return localeName_;
}

std::vector<std::string> LocaleManager::Keys(uint32_t lcid) const {
    std::vector<std::string> keys;
    if (auto found = languages_.find(lcid); found != languages_.end()) {
        for (const auto& entry : found->second) {
            keys.push_back(entry.first);
        }
    }
    return keys;
}

uint32_t LocaleManager::Lcid() const {
    std::lock_guard guard(lock_);
    return lcid_;
}

uint32_t LocaleManager::CodePage() const {
    std::lock_guard guard(lock_);
    return codePage_;
}

std::string LocaleManager::ExpandPlaceholders(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '$' || i + 1 == text.size()) {
            out.push_back(text[i]);
            continue;
        }
        switch (text[i + 1]) {
            case 'A': out += "Quorva_GPS_Navigation"; break;
            case 'B':
            case 'D': out += "Quorva GPS Navigation"; break;
            case 'W': out += "Quorva Wizard"; break;
            default:
                out.append(text.substr(i, 2));
                break;
        }
        ++i;
    }
    return out;
}

}  // namespace quorvalib::localization
