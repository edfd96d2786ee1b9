#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "quorvalib/xml/XmlParserBase.h"
#include "updaterlib/Package.h"
#include "updaterlib/PackageFile.h"
#include "updaterlib/PackageGroup.h"

namespace updaterlib {

// Turns a catalogue document into the group list and the package list (document order), or
// into the server's error text. Elements outside the record they act on are dropped.
class PackageParser : public quorvalib::xml::XmlParserBase {
public:
    PackageParser();

    // False when the file cannot be read or is not well formed; the lists are then not usable.
    bool Parse(const std::string& path) { return ParseFile(path); }

    const std::vector<Package>& GetPackages() const { return packages_; }
    const std::vector<PackageGroup>& GetGroups() const { return groups_; }
    // Empty unless the document carries an `error` element with text.
    const std::string& GetErrorText() const { return errorText_; }
    const std::string& GetUpdatesVersion() const { return updatesVersion_; }

    // Value formats of the catalogue; a null text is a missing attribute.
    static bool ParseBoolean(const char* text);
    static int32_t ParseTypeWord(const char* text);
    static int32_t ParseMapProvider(const char* text);
    // Leading white space skipped, digits of the base up to the first other character, no
    // digits gives 0; values beyond 32 bits saturate.
    static uint32_t ParseUnsigned(const char* text, int base);

protected:
    void OnParseBegin() override;
    void OnElementStart(const std::string& name, Attributes attributes) override;
    void OnElementEnd(const std::string& name) override;

private:
    enum class Element {
        kUpdates = 1, kPackages, kGroups, kPackage, kSize, kBaseUrl, kFile, kPath, kChecksum,
        kUrl, kDisplayName, kDescription, kType, kScreenSize, kVoice, kMap, kInGroup, kPlatform,
        kExpires, kGroup, kBrand, kIcon, kCountry, kError, kTrial,
    };

    const std::map<std::string, Element, std::less<>> elements_;

    std::optional<Package> package_;
    std::optional<PackageFile> file_;
    std::optional<PackageGroup> group_;
    std::vector<Package> packages_;
    std::vector<PackageGroup> groups_;

    std::string updatesVersion_;
    std::string errorText_;
    int32_t errorCode_ = 0;
    std::string errorTitle_;
    std::string lang_;  // last xml:lang seen, cleared after every end tag
};

}  // namespace updaterlib
