#include "tools/update_server/RepositoryLoader.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "quorvalib/files/Md5.h"
#include "tools/update_server/ManifestReader.h"
#include "tools/update_server/RepositoryFixture_test.h"

namespace update_server {
namespace {

using testing::RepositoryFixture;
using testing::WriteFile;

const CataloguePackage* FindPackage(const Catalogue& catalogue, const std::string& name) {
    for (const CataloguePackage& package : catalogue.packages) {
        if (package.name == name) return &package;
    }
    return nullptr;
}

TEST(RepositoryLoader, BuildsPackagesWithDigestsSizesAndGroups) {
    RepositoryFixture repo;
    Catalogue catalogue;
    std::string error;
    ASSERT_TRUE(RepositoryLoader::Load(repo.Root(), catalogue, error)) << error;
    EXPECT_TRUE(catalogue.problems.empty());
    EXPECT_EQ(catalogue.platforms, (std::vector<std::string>{"wince", "linux"}));
    EXPECT_TRUE(catalogue.ServesPlatform("linux"));
    EXPECT_FALSE(catalogue.ServesPlatform("palm"));

    ASSERT_EQ(catalogue.groups.size(), 2u);
    EXPECT_EQ(catalogue.groups[1].name, "europe");
    EXPECT_EQ(catalogue.groups[1].parent, "maps");
    EXPECT_TRUE(catalogue.groups[1].requiredOne);
    EXPECT_EQ(PickDisplayName(catalogue.groups[0].displayNames, "cs_CZ"), "Mapy");
    EXPECT_EQ(PickDisplayName(catalogue.groups[0].displayNames, "de"), "Maps");

    const CataloguePackage* app = FindPackage(catalogue, "navigator");
    ASSERT_NE(app, nullptr);
    EXPECT_TRUE(app->required);
    ASSERT_EQ(app->files.size(), 2u);
    const std::string binary = RepositoryFixture::kAppBinary;
    const std::string config = RepositoryFixture::kAppConfig;
    EXPECT_EQ(app->size, binary.size() + config.size());
    EXPECT_EQ(app->files[0].md5, Md5::Of(binary).HexDigest().c_str());
    EXPECT_EQ(app->files[1].md5, Md5::Of(config).HexDigest().c_str());
    EXPECT_EQ(app->files[1].path, "defaults.cfg");
    EXPECT_EQ(app->files[1].dstdir, "config");
    EXPECT_EQ(app->files[1].urlPath, "app/1.0/data/defaults.cfg");
    EXPECT_EQ(catalogue.FindFile("app/1.0/data/defaults.cfg"), &app->files[1]);
    EXPECT_EQ(catalogue.FindFile("app/1.0/package.ini"), nullptr);

    const CataloguePackage* map = FindPackage(catalogue, "map-cz");
    ASSERT_NE(map, nullptr);
    ASSERT_TRUE(map->map.has_value());
    EXPECT_EQ(map->map->provider, "OS");
    EXPECT_EQ(map->groups, (std::vector<std::string>{"europe"}));
}

TEST(RepositoryLoader, BrokenPackageManifestsAreLeftOutWithAProblem) {
    struct Case {
        const char* what;
        std::string manifest;
        const char* problem;  // part of the reported problem
    };
    const std::string head = "[package]\nname = bad\nversion = 1\ntype = voice\n";
    const Case cases[] = {
        {"unknown key", head + "colour = red\n", "unknown key 'colour'"},
        {"no version", "[package]\nname = bad\ntype = voice\n", "name and a version"},
        {"unknown type", "[package]\nname = bad\nversion = 1\ntype = App\n", "unknown type"},
        {"bad flag", head + "required = maybe\n", "bad value"},
        {"bad map", head + "map = 1A OSX 2011\n", "bad value"},
        {"source above the folder", head + "[file]\npath = a\nsource = ../../repository.ini\n",
         "relative to the manifest"},
        {"absolute path", head + "[file]\npath = /etc/passwd\n", "must be relative"},
        {"dot-dot target", head + "[file]\npath = a\ndstdir = maps/../..\n", "must be relative"},
        {"missing source", head + "[file]\npath = missing.bin\n", "missing or outside"},
        {"symlink leaving the repository", head + "[file]\npath = outside\n",
         "missing or outside"},
        {"syntax", head + "this line has no equals sign\n", "expected 'key = value'"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RepositoryFixture repo;
        WriteFile(repo / "bad/package.ini", c.manifest);
        std::filesystem::create_symlink("/etc/hostname", repo / "bad/outside");
        Catalogue catalogue;
        std::string error;
        ASSERT_TRUE(RepositoryLoader::Load(repo.Root(), catalogue, error)) << error;
        EXPECT_EQ(FindPackage(catalogue, "bad"), nullptr);
        EXPECT_NE(FindPackage(catalogue, "navigator"), nullptr);
        ASSERT_EQ(catalogue.problems.size(), 1u);
        EXPECT_NE(catalogue.problems[0].find(c.problem), std::string::npos)
            << catalogue.problems[0];
    }
}

TEST(RepositoryLoader, SecondManifestOfTheSameVersionIsLeftOut) {
    RepositoryFixture repo;
    WriteFile(repo / "copy/package.ini", "[package]\nname = map-cz\nversion = 1.0\ntype = map\n");
    Catalogue catalogue;
    std::string error;
    ASSERT_TRUE(RepositoryLoader::Load(repo.Root(), catalogue, error));
    ASSERT_EQ(catalogue.problems.size(), 1u);
    EXPECT_NE(catalogue.problems[0].find("listed twice"), std::string::npos);
}

TEST(RepositoryLoader, RepositoryManifestFailuresFailTheLoad) {
    const std::pair<const char*, const char*> cases[] = {
        {"[group a]\nparent = nowhere\n", "unknown parent"},
        {"[group a]\n[group a]\n", "defined twice"},
        {"[groups]\n", "expected [repository]"},
        {"[repository]\nplatform = wince\n", "unknown key"},
    };
    for (const auto& [text, expected] : cases) {
        SCOPED_TRACE(text);
        RepositoryFixture repo;
        WriteFile(repo / "repository.ini", text);
        Catalogue catalogue;
        std::string error;
        EXPECT_FALSE(RepositoryLoader::Load(repo.Root(), catalogue, error));
        EXPECT_NE(error.find(expected), std::string::npos) << error;
    }
    Catalogue catalogue;
    std::string error;
    EXPECT_FALSE(RepositoryLoader::Load("/nonexistent/repository", catalogue, error));
}

TEST(RepositoryLoader, SafeRelativePaths) {
    const std::pair<const char*, bool> cases[] = {
        {"a", true},       {"maps/cz.map", true}, {"", false},        {"/a", false},
        {"a/../b", false}, {"..", false},         {"./a", false},     {"a//b", false},
        {"a/", false},     {"c:a", false},        {"a\\b", false},    {"a/.", false},
    };
    for (const auto& [path, safe] : cases) {
        EXPECT_EQ(RepositoryLoader::IsSafeRelativePath(path), safe) << path;
    }
}

TEST(RepositoryLoader, SignatureFollowsChanges) {
    RepositoryFixture repo;
    const std::string first = RepositoryLoader::Signature(repo.Root());
    EXPECT_EQ(RepositoryLoader::Signature(repo.Root()), first);
    WriteFile(repo / "maps/cz/1.0/cz.map", "longer map of Czechia, second printing");
    const std::string resized = RepositoryLoader::Signature(repo.Root());
    EXPECT_NE(resized, first);
    repo.AddMap("2.0", "newer");
    EXPECT_NE(RepositoryLoader::Signature(repo.Root()), resized);
}

TEST(ManifestReader, SectionsEntriesAndComments) {
    std::vector<ManifestSection> sections;
    std::string error;
    ASSERT_TRUE(ManifestReader::Parse("# comment\n[file  a b ]\n key = v = w \n; x\n[package]\n",
                                      sections, error));
    ASSERT_EQ(sections.size(), 2u);
    EXPECT_EQ(sections[0].kind, "file");
    EXPECT_EQ(sections[0].argument, "a b");
    ASSERT_NE(sections[0].Find("key"), nullptr);
    EXPECT_EQ(*sections[0].Find("key"), "v = w");
    EXPECT_EQ(sections[1].Find("key"), nullptr);
    for (const char* bad : {"key = before section\n", "[open\n", "[]\n", "[a]\n= v\n"}) {
        EXPECT_FALSE(ManifestReader::Parse(bad, sections, error)) << bad;
        EXPECT_NE(error.find("line "), std::string::npos);
    }
}

}  // namespace
}  // namespace update_server
