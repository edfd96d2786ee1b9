#include "tools/update_server/CatalogueWriter.h"

#include <cctype>
#include <cstdio>

namespace update_server {
namespace {

constexpr char kHeader[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<updates version=\"1\">\n";

void Element(std::string& out, const char* name, const std::string& text) {
    out += '<';
    out += name;
    out += '>';
    out += CatalogueWriter::EscapeXml(text);
    out += "</";
    out += name;
    out += '>';
}

void DisplayName(std::string& out, const DisplayNames& names, const std::string& lang) {
    const std::string& name = PickDisplayName(names, lang);
    if (name.empty()) return;
    out += "<display-name xml:lang=\"" + CatalogueWriter::EscapeXml(lang.empty() ? "en" : lang) +
           "\">" + CatalogueWriter::EscapeXml(name) + "</display-name>";
}

}  // namespace

std::string CatalogueWriter::EscapeXml(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&apos;"; break;
            default:
                // Control characters other than tab and line ends are not allowed in XML 1.0.
                if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r')
                    break;
                out += c;
        }
    }
    return out;
}

std::string CatalogueWriter::EncodePath(const std::string& path) {
    std::string out;
    for (unsigned char c : path) {
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~' || c == '/') {
            out += static_cast<char>(c);
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", c);
            out += escaped;
        }
    }
    return out;
}

std::string CatalogueWriter::Write(const Catalogue& catalogue, const std::string& serverUrl,
                                   const std::string& lang) {
    std::string out = kHeader;
    out += "<groups>\n";
    for (const CatalogueGroup& group : catalogue.groups) {
        out += "<group name=\"" + EscapeXml(group.name) + "\"";
        if (!group.type.empty()) out += " type=\"" + EscapeXml(group.type) + "\"";
        if (group.requiredOne) out += " required=\"one\"";
        out += '>';
        DisplayName(out, group.displayNames, lang);
        if (!group.description.empty()) Element(out, "description", group.description);
        if (!group.parent.empty()) Element(out, "in-group", group.parent);
        out += "</group>\n";
    }
    out += "</groups>\n<packages>\n";
    for (const CataloguePackage& package : catalogue.packages) {
        out += "<package name=\"" + EscapeXml(package.name) + "\" version=\"" +
               EscapeXml(package.version) + "\" type=\"" + EscapeXml(package.type) +
               "\" required=\"" + (package.required ? "true" : "false") + "\" recommended=\"" +
               (package.recommended ? "true" : "false") + "\">";
        DisplayName(out, package.displayNames, lang);
        if (!package.description.empty()) Element(out, "description", package.description);
        Element(out, "size", std::to_string(package.size));
        const std::string folder = package.manifest.substr(0, package.manifest.rfind('/') + 1);
        Element(out, "baseurl", serverUrl + "/files/" + EncodePath(folder));
        for (const std::string& group : package.groups) Element(out, "in-group", group);
        if (!package.brand.empty()) Element(out, "brand", package.brand);
        if (!package.country.empty()) Element(out, "country", package.country);
        if (!package.trial.empty()) Element(out, "trial", package.trial);
        if (package.map) {
            out += "<map format=\"" + EscapeXml(package.map->format) + "\" provider=\"" +
                   EscapeXml(package.map->provider) + "\" release=\"" +
                   EscapeXml(package.map->release) + "\"/>";
        }
        for (const CatalogueFile& file : package.files) {
            out += "<file><path";
            if (!file.dstdir.empty()) out += " dstdir=\"" + EscapeXml(file.dstdir) + "\"";
            out += '>' + EscapeXml(file.path) + "</path>";
            Element(out, "checksum", file.md5);
            Element(out, "url", serverUrl + "/files/" + EncodePath(file.urlPath));
            out += "</file>";
        }
        out += "</package>\n";
    }
    out += "</packages>\n</updates>\n";
    return out;
}

std::string CatalogueWriter::WriteError(int code, const std::string& title,
                                        const std::string& text) {
    std::string out = kHeader;
    out += "<error code=\"" + std::to_string(code) + "\" title=\"" + EscapeXml(title) +
           "\" xml:lang=\"en\">" + EscapeXml(text) + "</error>\n</updates>\n";
    return out;
}

}  // namespace update_server
