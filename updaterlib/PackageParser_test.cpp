#include "updaterlib/PackageParser.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

#include "updaterlib/CatalogueGenerator.h"

namespace updaterlib {
namespace {

std::string Hex(const std::vector<uint8_t>& bytes) {
    std::string out;
    char pair[3];
    for (uint8_t b : bytes) {
        std::snprintf(pair, sizeof pair, "%02x", b);
        out += pair;
    }
    return out;
}

// Only the fields that differ from a fresh record, so each case states what it changes.
std::string Summary(const PackageFile& f) {
    const PackageFile d;
    std::string s = "file{";
    if (f.file_path != d.file_path) s += " path=" + f.file_path;
    if (f.target_dir != d.target_dir) s += " dir=" + f.target_dir;
    if (f.md5 != d.md5) s += " md5=" + Hex(f.md5);
    if (f.source_path != d.source_path) s += " url=" + f.source_path;
    if (f.mode != d.mode) s += " mode=" + std::to_string(f.mode);
    if (f.id != d.id) s += " id=" + std::to_string(f.id);
    if (f.pkgid != d.pkgid) s += " pkgid=" + std::to_string(f.pkgid);
    return s + " }";
}

std::string Summary(const Package& p) {
    const Package d;
    std::string s = "package{";
    if (p.name != d.name) s += " name=" + p.name;
    if (p.version != d.version) s += " version=" + p.version;
    if (p.type != d.type) s += " type=" + std::to_string(p.type);
    if (p.mandatory != d.mandatory) s += " mandatory=" + std::to_string(p.mandatory);
    if (p.recommended != d.recommended) s += " recommended=" + std::to_string(p.recommended);
    if (p.status != 1) s += " status=" + std::to_string(p.status);
    if (p.operation != 1) s += " operation=" + std::to_string(p.operation);
    if (p.outdated != d.outdated) s += " outdated=" + std::to_string(p.outdated);
    if (p.translation != d.translation) s += " translation=" + p.translation;
    if (p.description != d.description) s += " description=" + p.description;
    if (p.size != d.size) s += " size=" + std::to_string(p.size);
    if (p.baseurl != d.baseurl) s += " baseurl=" + p.baseurl;
    if (p.brand != d.brand) s += " brand=" + p.brand;
    if (p.country_code != d.country_code) s += " country=" + p.country_code;
    if (p.trial != d.trial) s += " trial=" + p.trial;
    if (p.map_format != d.map_format) s += " map_format=" + std::to_string(p.map_format);
    if (p.map_provider != d.map_provider) s += " map_provider=" + std::to_string(p.map_provider);
    if (p.map_release != d.map_release) s += " map_release=" + std::to_string(p.map_release);
    if (p.skin_width != d.skin_width || p.skin_height != d.skin_height ||
        p.skin_density != d.skin_density) {
        s += " skin changed";
    }
    if (p.voice_speaker != d.voice_speaker || p.voice_lang != d.voice_lang) s += " voice changed";
    if (p.id != d.id) s += " id=" + std::to_string(p.id);
    for (const auto& g : p.groups) s += " in=" + g;
    for (const auto& f : p.files) s += " " + Summary(f);
    return s + " }";
}

std::string Summary(const PackageGroup& g) {
    const PackageGroup d;
    std::string s = "group{";
    if (g.name != d.name) s += " name=" + g.name;
    if (g.translation != d.translation) s += " translation=" + g.translation;
    if (g.parent_name != d.parent_name) s += " parent=" + g.parent_name;
    if (g.description != d.description) s += " description=" + g.description;
    if (g.type != d.type) s += " type=" + std::to_string(g.type);
    if (g.required != d.required) s += " required=" + std::to_string(g.required);
    if (g.id != d.id) s += " id=" + std::to_string(g.id);
    return s + " }";
}

std::string Summary(const PackageParser& parser) {
    std::string s;
    for (const auto& g : parser.GetGroups()) s += Summary(g) + "\n";
    for (const auto& p : parser.GetPackages()) s += Summary(p) + "\n";
    if (!parser.GetErrorText().empty()) s += "error=" + parser.GetErrorText() + "\n";
    return s;
}

struct DocumentCase {
    const char* what;
    const char* body;  // inside <updates>
    const char* expected;
};

// Every element of the catalogue and where it takes effect.
const DocumentCase kDocumentCases[] = {
    {"package attributes", "<packages><package name='n' version='1.2' type='map' required='True' "
     "recommended='1'/></packages>",
     "package{ name=n version=1.2 type=3 mandatory=1 recommended=1 }\n"},
    {"missing attributes give empty strings and type 0", "<package/>", "package{ }\n"},
    {"unknown boolean words are false", "<package name='n' required='yes' recommended='2'/>",
     "package{ name=n }\n"},
    {"package text elements",
     "<package name='n'><display-name xml:lang='en'>Shown</display-name>"
     "<description>About</description><size>1234</size><baseurl>http://b/</baseurl>"
     "<brand>Br</brand><country>CZ</country><trial>30d</trial></package>",
     "package{ name=n translation=Shown description=About size=1234 baseurl=http://b/ brand=Br "
     "country=CZ trial=30d }\n"},
    {"texts are verbatim, entities decoded",
     "<package name='n'><display-name>  two\n lines &amp; more </display-name></package>",
     "package{ name=n translation=  two\n lines & more  }\n"},
    {"last display name wins",
     "<package name='n'><display-name>a</display-name><display-name>b</display-name></package>",
     "package{ name=n translation=b }\n"},
    {"size with trailing letters", "<package><size> 42kB</size></package>", "package{ size=42 }\n"},
    {"size without digits", "<package><size>big</size></package>", "package{ }\n"},
    {"files with all parts",
     "<package name='n'><file><path dstdir='maps/eu'>a.fpak</path>"
     "<checksum>0123456789ABCDEFfedcba9876543210</checksum><url>http://u/a</url></file>"
     "<file><path>b</path><checksum>abc</checksum></file></package>",
     "package{ name=n file{ path=a.fpak dir=maps/eu md5=0123456789abcdeffedcba9876543210 "
     "url=http://u/a } file{ path=b md5=0abc } }\n"},
    {"map inside a package", "<package><map format='1A' provider='OS' release='2011'/></package>",
     "package{ map_format=26 map_provider=4 map_release=2011 }\n"},
    {"map attributes apply one by one", "<package><map provider='XX' release='7'/></package>",
     "package{ map_release=7 }\n"},
    {"map outside a package changes nothing",
     "<map format='1A' provider='OS' release='2011'/><package name='n'/>",
     "package{ name=n }\n"},
    {"two in-group elements in document order",
     "<package name='n'><in-group>g1</in-group><in-group>g2</in-group></package>",
     "package{ name=n in=g1 in=g2 }\n"},
    {"group attributes and texts",
     "<groups><group name='g' type='voice' required='one'><display-name>G</display-name>"
     "<description>D</description><in-group>p1</in-group><in-group>p2</in-group></group>"
     "</groups>",
     "group{ name=g translation=G parent=p2 description=D type=4 required=1 }\n"},
    {"group required only for the word one", "<group name='a' required='1'/>"
     "<group name='b' required='One'/>",
     "group{ name=a }\ngroup{ name=b }\n"},
    {"package text wins over the open group",
     "<group name='g'><package name='n'><display-name>P</display-name></package>"
     "<display-name>G</display-name></group>",
     "group{ name=g translation=G }\npackage{ name=n translation=P }\n"},
    {"file outside any package is dropped",
     "<file><path>x</path></file><package name='n'><size>1</size></package>",
     "package{ name=n size=1 }\n"},
    {"dstdir without a current file is dropped", "<package name='n'><path dstdir='d'>p</path>"
     "</package>",
     "package{ name=n }\n"},
    {"misplaced texts outside records are dropped",
     "<size>5</size><display-name>x</display-name><in-group>g</in-group><checksum>ab</checksum>"
     "<url>u</url><brand>b</brand><country>c</country><trial>t</trial><baseurl>b</baseurl>"
     "<description>d</description>",
     ""},
    {"a second package start replaces the open one",
     "<package name='a'><size>1</size><package name='b'><size>2</size></package></package>",
     "package{ name=b size=2 }\n"},
    {"a second group start replaces the open one",
     "<group name='a'><group name='b'/></group>", "group{ name=b }\n"},
    {"accepted and ignored elements",
     "<package name='n'><type>x</type><screensize>800x480</screensize><voice>v</voice>"
     "<platform>p</platform><expires>2030</expires><icon>i</icon></package>",
     "package{ name=n }\n"},
    {"unknown elements are ignored but their children count",
     "<package name='n'><extra>junk<size>9</size></extra></package>", "package{ name=n size=9 }\n"},
    {"error text", "<error code='17' title='Denied' xml:lang='en'>No such device</error>",
     "error=No such device\n"},
    {"empty error element gives no error text", "<error code='1'/>", ""},
};

TEST(PackageParser, ElementTable) {
    for (const auto& c : kDocumentCases) {
        PackageParser parser;
        const std::string document = std::string("<updates version='3'>") + c.body + "</updates>";
        ASSERT_TRUE(parser.ParseBuffer(document)) << c.what;
        EXPECT_EQ(parser.Status(), "OK") << c.what;
        EXPECT_EQ(Summary(parser), c.expected) << c.what;
        EXPECT_EQ(parser.GetUpdatesVersion(), "3") << c.what;
    }
}

TEST(PackageParser, ValueFormats) {
    struct BoolCase { const char* text; bool value; };
    for (const auto& c : std::vector<BoolCase>{{"true", true}, {"True", true}, {"TRUE", true},
                                               {"1", true}, {"tRUE", false}, {"yes", false},
                                               {" true", false}, {"0", false}, {"", false},
                                               {nullptr, false}}) {
        EXPECT_EQ(PackageParser::ParseBoolean(c.text), c.value) << (c.text ? c.text : "null");
    }

    struct IntCase { const char* text; int32_t value; };
    for (const auto& c : std::vector<IntCase>{
             {"app", 1}, {"application", 1}, {"skin", 2}, {"map", 3}, {"voice", 4}, {"font", 5},
             {"app-data", 6}, {"l10n", 8}, {"l18n", 8}, {"App", 0}, {"MAP", 0}, {"maps", 0},
             {"", 0}, {nullptr, 0}}) {
        EXPECT_EQ(PackageParser::ParseTypeWord(c.text), c.value) << (c.text ? c.text : "null");
    }

    for (const auto& c : std::vector<IntCase>{
             {"??", 0}, {"TA", 1}, {"NQ", 2}, {"EM", 3}, {"OS", 4}, {"CD", 5}, {"NA", 6},
             {"SN", 7}, {"MG", 8}, {"CG", 10}, {"NT", 11}, {"WO", 12}, {"CM", 13}, {"TR", 14},
             {"NC", 15}, {"os", 0}, {"OSX", 0}, {"", 0}, {nullptr, 0}}) {
        EXPECT_EQ(PackageParser::ParseMapProvider(c.text), c.value) << (c.text ? c.text : "null");
    }

    struct UnsignedCase { const char* text; int base; uint32_t value; };
    const uint32_t kMax = std::numeric_limits<uint32_t>::max();
    for (const auto& c : std::vector<UnsignedCase>{
             {"1234", 10, 1234}, {"  \t\n42", 10, 42}, {"42abc", 10, 42}, {"abc", 10, 0},
             {"", 10, 0}, {nullptr, 10, 0}, {"-5", 10, 0}, {"4294967295", 10, kMax},
             {"99999999999", 10, kMax}, {"1A", 16, 26}, {"1a", 16, 26}, {"0x1A", 16, 26},
             {"ffg", 16, 255}, {"g", 16, 0}, {"0x", 16, 0}, {"12a", 10, 12}}) {
        EXPECT_EQ(PackageParser::ParseUnsigned(c.text, c.base), c.value)
            << (c.text ? c.text : "null") << " base " << c.base;
    }
}

TEST(PackageParser, NewRecordsCarryCatalogueDefaults) {
    PackageParser parser;
    ASSERT_TRUE(parser.ParseBuffer("<updates><package name='n' version='1'><file/></package>"
                                   "<group name='g'/></updates>"));
    ASSERT_EQ(parser.GetPackages().size(), 1u);
    const Package& p = parser.GetPackages()[0];
    EXPECT_EQ(p.status, 1);
    EXPECT_EQ(p.operation, 1);
    EXPECT_FALSE(p.outdated);
    EXPECT_EQ(p.id, -1);
    EXPECT_EQ(p.skin_width, -1);
    EXPECT_EQ(p.skin_height, -1);
    EXPECT_EQ(p.skin_density, -1);
    EXPECT_EQ(p.map_format, 0);
    ASSERT_EQ(p.files.size(), 1u);
    EXPECT_EQ(p.files[0].mode, 1);
    EXPECT_EQ(p.files[0].id, -1);
    ASSERT_EQ(parser.GetGroups().size(), 1u);
    EXPECT_EQ(parser.GetGroups()[0].id, -1);
    EXPECT_EQ(parser.GetGroups()[0].required, 0);
    EXPECT_EQ(parser.GetGroups()[0].type, 0);
}

class TempCatalogue {
public:
    explicit TempCatalogue(const std::string& content)
        : path_(std::filesystem::temp_directory_path() /
                ("package_parser_test_" + std::to_string(::getpid()) + "_updates.xml")) {
        std::ofstream(path_, std::ios::binary) << content;
    }
    ~TempCatalogue() { std::filesystem::remove(path_); }
    std::string Path() const { return path_.string(); }

private:
    std::filesystem::path path_;
};

TEST(PackageParser, ParsesFilesAndFailsOnBadInput) {
    PackageParser parser;
    {
        TempCatalogue file("<updates><packages><package name='a'/></packages></updates>");
        ASSERT_TRUE(parser.Parse(file.Path()));
        EXPECT_EQ(parser.Status(), "OK");
        EXPECT_EQ(parser.GetPackages().size(), 1u);
    }
    {
        TempCatalogue file("<updates><packages><package name='a'/></packages>");
        EXPECT_FALSE(parser.Parse(file.Path()));
        EXPECT_NE(parser.Status(), "OK");
    }
    EXPECT_FALSE(parser.Parse("/nonexistent/updates.xml"));
    EXPECT_NE(parser.Status(), "OK");

    // A new parse never carries records or an error text over from the previous one.
    ASSERT_TRUE(parser.ParseBuffer("<updates><error>first</error><group name='g'/></updates>"));
    ASSERT_TRUE(parser.ParseBuffer("<updates/>"));
    EXPECT_TRUE(parser.GetPackages().empty());
    EXPECT_TRUE(parser.GetGroups().empty());
    EXPECT_TRUE(parser.GetErrorText().empty());
}

TEST(PackageParser, GeneratedCatalogueKeepsDocumentOrderAndTree) {
    CatalogueShape shape;
    shape.packages = 120;
    shape.filesPerPackage = 3;
    shape.groups = 60;
    const CatalogueGenerator generator(shape);
    PackageParser parser;
    ASSERT_TRUE(parser.ParseBuffer(generator.Document()));
    ASSERT_EQ(parser.GetGroups().size(), 60u);
    ASSERT_EQ(parser.GetPackages().size(), 120u);
    for (int g = 0; g < 60; ++g) {
        const PackageGroup& group = parser.GetGroups()[static_cast<size_t>(g)];
        EXPECT_EQ(group.name, CatalogueGenerator::GroupName(g));
        const int parent = generator.ParentOf(g);
        EXPECT_EQ(group.parent_name, parent < 0 ? "" : CatalogueGenerator::GroupName(parent));
    }
    for (int p = 0; p < 120; ++p) {
        const Package& package = parser.GetPackages()[static_cast<size_t>(p)];
        EXPECT_EQ(package.name, CatalogueGenerator::PackageName(p));
        ASSERT_EQ(package.files.size(), 3u);
        EXPECT_EQ(Hex(package.files[2].md5), CatalogueGenerator::Checksum(p, 2));
        ASSERT_EQ(package.groups.size(), 1u);
        EXPECT_EQ(package.groups[0], CatalogueGenerator::GroupName(generator.GroupOf(p)));
    }
}

}  // namespace
}  // namespace updaterlib
