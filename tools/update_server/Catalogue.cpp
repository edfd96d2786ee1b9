#include "tools/update_server/Catalogue.h"

#include <algorithm>

namespace update_server {

bool Catalogue::ServesPlatform(const std::string& platform) const {
    return platforms.empty() ||
           std::find(platforms.begin(), platforms.end(), platform) != platforms.end();
}

const CatalogueFile* Catalogue::FindFile(const std::string& urlPath) const {
    const auto found = filesByUrl_.find(urlPath);
    return found == filesByUrl_.end() ? nullptr : found->second;
}

void Catalogue::IndexFiles() {
    filesByUrl_.clear();
    for (const CataloguePackage& package : packages) {
        for (const CatalogueFile& file : package.files) filesByUrl_[file.urlPath] = &file;
    }
}

const std::string& PickDisplayName(const DisplayNames& names, const std::string& lang) {
    static const std::string kEmpty;
    if (!lang.empty()) {
        auto found = names.find(lang);
        if (found != names.end()) return found->second;
        const std::string base = lang.substr(0, lang.find_first_of("_-"));
        found = names.find(base);
        if (found != names.end()) return found->second;
    }
    const auto fallback = names.find("");
    if (fallback != names.end()) return fallback->second;
    return names.empty() ? kEmpty : names.begin()->second;
}

}  // namespace update_server
