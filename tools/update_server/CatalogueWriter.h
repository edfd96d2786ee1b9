#pragma once

// Writes catalogue documents in the format the updater's parser reads.

#include <string>

#include "tools/update_server/Catalogue.h"

namespace update_server {

class CatalogueWriter {
public:
    // The whole catalogue; file addresses are `serverUrl` (e.g. "http://127.0.0.1:8080")
    // followed by "/files/" and the file's percent-encoded path. Display names in `lang`.
    static std::string Write(const Catalogue& catalogue, const std::string& serverUrl,
                             const std::string& lang);
    // A document whose only content is an `error` element with this text.
    static std::string WriteError(int code, const std::string& title, const std::string& text);

    static std::string EscapeXml(const std::string& text);
    // Every byte but the unreserved characters and "/" as %XX.
    static std::string EncodePath(const std::string& path);
};

}  // namespace update_server
