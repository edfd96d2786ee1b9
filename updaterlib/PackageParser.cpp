#include "updaterlib/PackageParser.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string_view>

#include "updaterlib/Md5Text.h"

namespace updaterlib {

namespace {

// Provider numbers of the map engine; the second "??" (9) can never match.
constexpr std::string_view kMapProviders[] = {
    "??", "TA", "NQ", "EM", "OS", "CD", "NA", "SN", "MG", "??", "CG", "NT", "WO", "CM", "TR", "NC",
};

std::string AttributeText(const char* text) { return text ? std::string(text) : std::string(); }

}  // namespace

PackageParser::PackageParser()
    : elements_{
          {"updates", Element::kUpdates},       {"packages", Element::kPackages},
          {"groups", Element::kGroups},         {"package", Element::kPackage},
          {"size", Element::kSize},             {"baseurl", Element::kBaseUrl},
          {"file", Element::kFile},             {"path", Element::kPath},
          {"checksum", Element::kChecksum},     {"url", Element::kUrl},
          {"display-name", Element::kDisplayName}, {"description", Element::kDescription},
          {"type", Element::kType},             {"screensize", Element::kScreenSize},
          {"voice", Element::kVoice},           {"map", Element::kMap},
          {"in-group", Element::kInGroup},      {"platform", Element::kPlatform},
          {"expires", Element::kExpires},       {"group", Element::kGroup},
          {"brand", Element::kBrand},           {"icon", Element::kIcon},
          {"country", Element::kCountry},       {"error", Element::kError},
          {"trial", Element::kTrial},
      } {}

bool PackageParser::ParseBoolean(const char* text) {
    if (!text) {
        return false;
    }
    const std::string_view value(text);
    return value == "true" || value == "True" || value == "TRUE" || value == "1";
}

int32_t PackageParser::ParseTypeWord(const char* text) {
    if (!text) {
        return 0;
    }
    const std::string_view word(text);
    if (word == "app" || word == "application") return 1;
    if (word == "skin") return 2;
    if (word == "map") return 3;
    if (word == "voice") return 4;
    if (word == "font") return 5;
    if (word == "app-data") return 6;
    if (word == "l10n" || word == "l18n") return 8;
    return 0;
}

int32_t PackageParser::ParseMapProvider(const char* text) {
    if (!text) {
        return 0;
    }
    for (std::size_t i = 0; i < std::size(kMapProviders); ++i) {
        if (kMapProviders[i] == text) {
            return static_cast<int32_t>(i);
        }
    }
    return 0;
}

uint32_t PackageParser::ParseUnsigned(const char* text, int base) {
    if (!text) {
        return 0;
    }
    while (std::isspace(static_cast<unsigned char>(*text))) {
        ++text;
    }
    if (base == 16 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X') &&
        std::isxdigit(static_cast<unsigned char>(text[2]))) {
        text += 2;
    }
    uint64_t value = 0;
    for (; *text; ++text) {
        const char c = *text;
        int digit;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (base == 16 && c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else if (base == 16 && c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        } else {
            break;
        }
        if (digit >= base) {
            break;
        }
        value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
        if (value > std::numeric_limits<uint32_t>::max()) {
            return std::numeric_limits<uint32_t>::max();
        }
    }
    return static_cast<uint32_t>(value);
}

void PackageParser::OnParseBegin() {
    package_.reset();
    file_.reset();
    group_.reset();
    packages_.clear();
    groups_.clear();
    updatesVersion_.clear();
    errorText_.clear();
    errorCode_ = 0;
    errorTitle_.clear();
    lang_.clear();
}

void PackageParser::OnElementStart(const std::string& name, Attributes attributes) {
    const auto found = elements_.find(name);
    if (found == elements_.end()) {
        return;
    }
    switch (found->second) {
    case Element::kUpdates:
        updatesVersion_ = AttributeText(FindAttribute(attributes, "version"));
        break;
    case Element::kPackage: {
        Package package(AttributeText(FindAttribute(attributes, "name")),
                        AttributeText(FindAttribute(attributes, "version")),
                        ParseTypeWord(FindAttribute(attributes, "type")),
                        ParseBoolean(FindAttribute(attributes, "required")));
        package.status = 1;
        package.operation = 1;
        package.recommended = ParseBoolean(FindAttribute(attributes, "recommended"));
        package_ = std::move(package);
        break;
    }
    case Element::kFile:
        file_.emplace();
        file_->mode = 1;
        break;
    case Element::kPath:
        if (const char* dstdir = FindAttribute(attributes, "dstdir"); dstdir && file_) {
            file_->target_dir = dstdir;
        }
        break;
    case Element::kDisplayName:
        lang_ = AttributeText(FindAttribute(attributes, "xml:lang"));
        break;
    case Element::kMap:
        if (package_) {
            if (const char* format = FindAttribute(attributes, "format")) {
                package_->map_format = static_cast<int32_t>(ParseUnsigned(format, 16));
            }
            if (const char* provider = FindAttribute(attributes, "provider")) {
                package_->map_provider = ParseMapProvider(provider);
            }
            if (const char* release = FindAttribute(attributes, "release")) {
                package_->map_release = static_cast<int32_t>(ParseUnsigned(release, 10));
            }
        }
        break;
    case Element::kGroup: {
        PackageGroup group;
        group.name = AttributeText(FindAttribute(attributes, "name"));
        group.translation.clear();
        group.type = ParseTypeWord(FindAttribute(attributes, "type"));
        const char* required = FindAttribute(attributes, "required");
        group.required = required && std::strcmp(required, "one") == 0 ? 1 : 0;
        group.id = -1;
        group_ = std::move(group);
        break;
    }
    case Element::kError:
        errorCode_ = std::atoi(AttributeText(FindAttribute(attributes, "code")).c_str());
        errorTitle_ = AttributeText(FindAttribute(attributes, "title"));
        lang_ = AttributeText(FindAttribute(attributes, "xml:lang"));
        break;
    default:
        break;
    }
}

void PackageParser::OnElementEnd(const std::string& name) {
    const auto found = elements_.find(name);
    if (found != elements_.end()) {
        const std::string& text = Text();
        switch (found->second) {
        case Element::kPackage:
            if (package_) {
                packages_.push_back(std::move(*package_));
                package_.reset();
            }
            break;
        case Element::kSize:
            if (package_) {
                package_->size = ParseUnsigned(text.c_str(), 10);
            }
            break;
        case Element::kBaseUrl:
            if (package_) {
                package_->baseurl = text;
            }
            break;
        case Element::kFile:
            if (file_ && package_) {
                package_->files.push_back(std::move(*file_));
            }
            file_.reset();
            break;
        case Element::kPath:
            if (file_) {
                file_->file_path = text;
            }
            break;
        case Element::kChecksum:
            if (file_) {
                // Digits that are not hexadecimal leave no checksum, which no download matches.
                Md5TextToBytes(text, file_->md5);
            }
            break;
        case Element::kUrl:
            if (file_) {
                file_->source_path = text;
            }
            break;
        case Element::kDisplayName:
            if (package_) {
                package_->translation = text;
            } else if (group_) {
                group_->translation = text;
            }
            break;
        case Element::kDescription:
            if (package_) {
                package_->description = text;
            } else if (group_) {
                group_->description = text;
            }
            break;
        case Element::kInGroup:
            if (package_) {
                package_->groups.push_back(text);
            } else if (group_) {
                group_->parent_name = text;
            }
            break;
        case Element::kGroup:
            if (group_) {
                groups_.push_back(std::move(*group_));
                group_.reset();
            }
            break;
        case Element::kBrand:
            if (package_) {
                package_->brand = text;
            }
            break;
        case Element::kCountry:
            if (package_) {
                package_->country_code = text;
            }
            break;
        case Element::kError:
            errorText_ = text;
            break;
        case Element::kTrial:
            if (package_) {
                package_->trial = text;
            }
            break;
        default:
            break;
        }
    }
    lang_.clear();
}

}  // namespace updaterlib
