#include "tools/update_server/UpdateServer.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <condition_variable>
#include <filesystem>
#include <mutex>

#include "quorvalib/files/Md5.h"
#include "tools/update_server/RepositoryFixture_test.h"
#include "updaterlib/PackageParser.h"

namespace update_server {
namespace {

using testing::ReadFile;
using testing::RepositoryFixture;
using testing::WriteFile;

class UpdateServerTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server_.Start("127.0.0.1", 0)) << server_.Error(); }

    httplib::Result Get(const std::string& target, const httplib::Headers& headers = {}) {
        httplib::Client client("127.0.0.1", server_.Port());
        client.set_read_timeout(30, 0);
        return client.Get(target.c_str(), headers);
    }

    // Fetches the catalogue and parses it as the updater does.
    bool FetchCatalogue(const std::string& query, updaterlib::PackageParser& parser) {
        auto result = Get("/" + query);
        if (!result || result->status != 200) return false;
        WriteFile(scratch_ / "updates.xml", result->body);
        return parser.Parse(scratch_ / "updates.xml");
    }

    static const updaterlib::Package* Find(const updaterlib::PackageParser& parser,
                                           const std::string& name, const std::string& version) {
        for (const auto& package : parser.GetPackages()) {
            if (package.name == name && package.version == version) return &package;
        }
        return nullptr;
    }

    RepositoryFixture repo_;
    TestTempFolder scratch_;
    UpdateServer server_{repo_.Root()};
};

TEST_F(UpdateServerTest, CatalogueParsesAndItsFilesDownloadWithMatchingDigests) {
    updaterlib::PackageParser parser;
    ASSERT_TRUE(FetchCatalogue("?platform=wince&lang=cs&appversion=&brand=1", parser));
    EXPECT_TRUE(parser.GetErrorText().empty());
    ASSERT_EQ(parser.GetGroups().size(), 2u);
    EXPECT_EQ(parser.GetGroups()[0].translation, "Mapy");
    EXPECT_EQ(parser.GetGroups()[1].parent_name, "maps");
    EXPECT_EQ(parser.GetGroups()[1].required, 1);

    const updaterlib::Package* app = Find(parser, "navigator", "1.0");
    ASSERT_NE(app, nullptr);
    EXPECT_TRUE(app->mandatory);
    EXPECT_EQ(app->type, updaterlib::kTypeApplication);
    EXPECT_EQ(app->translation, "Navigace");
    EXPECT_EQ(app->description, "The navigation application & its data");
    const std::string binary = RepositoryFixture::kAppBinary;
    const std::string config = RepositoryFixture::kAppConfig;
    EXPECT_EQ(app->size, binary.size() + config.size());
    ASSERT_EQ(app->files.size(), 2u);
    EXPECT_EQ(app->files[1].target_dir, "config");
    const std::string contents[] = {binary, config};
    for (size_t i = 0; i < 2; ++i) {
        const auto& file = app->files[i];
        const Md5 expected = Md5::Of(contents[i]);
        EXPECT_TRUE(std::equal(file.md5.begin(), file.md5.end(), expected.Bytes().begin()));
        ASSERT_EQ(file.source_path.rfind(server_.BaseUrl() + "/files/", 0), 0u)
            << file.source_path;
        auto body = Get(file.source_path.substr(server_.BaseUrl().size()));
        ASSERT_TRUE(body);
        EXPECT_EQ(body->status, 200);
        EXPECT_EQ(body->body, contents[i]);
    }

    const updaterlib::Package* map = Find(parser, "map-cz", "1.0");
    ASSERT_NE(map, nullptr);
    EXPECT_FALSE(map->mandatory);
    EXPECT_EQ(map->map_provider, 4);
    EXPECT_EQ(map->groups, (std::vector<std::string>{"europe"}));
}

TEST_F(UpdateServerTest, CatalogueIsAnsweredWhateverTheParametersAndAtTheAlternatePath) {
    for (const char* target : {"/", "/?x=1", "/catalogue?platform=linux&lang=zz", "/?platform="}) {
        auto result = Get(target);
        ASSERT_TRUE(result) << target;
        EXPECT_EQ(result->status, 200) << target;
        EXPECT_NE(result->body.find("<package name=\"map-cz\""), std::string::npos) << target;
    }
}

TEST_F(UpdateServerTest, UnservedPlatformGetsTheErrorElement) {
    updaterlib::PackageParser parser;
    ASSERT_TRUE(FetchCatalogue("?platform=palmos&lang=en", parser));
    EXPECT_NE(parser.GetErrorText().find("palmos"), std::string::npos);
    EXPECT_TRUE(parser.GetPackages().empty());
}

TEST_F(UpdateServerTest, RangeRequests) {
    const std::string target = "/files/maps/cz/1.0/cz.map";
    const std::string map = RepositoryFixture::kMapV1;  // 29 bytes
    const std::string size = std::to_string(map.size());
    struct Case {
        const char* range;
        int status;
        std::string body;
        std::string contentRange;
    };
    const Case cases[] = {
        {"bytes=4-", 206, map.substr(4), "bytes 4-28/" + size},
        {"bytes=4-7", 206, map.substr(4, 4), "bytes 4-7/" + size},
        {"bytes=4-1000", 206, map.substr(4), "bytes 4-28/" + size},
        {"bytes=-5", 206, map.substr(map.size() - 5), "bytes 24-28/" + size},
        {"bytes=29-", 416, "", "bytes */" + size},
        {"bytes=1000-2000", 416, "", "bytes */" + size},
        {"bytes=0-1,4-5", 200, map, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.range);
        auto result = Get(target, {{"Range", c.range}});
        ASSERT_TRUE(result);
        EXPECT_EQ(result->status, c.status);
        EXPECT_EQ(result->body, c.body);
        EXPECT_EQ(result->get_header_value("Content-Range"), c.contentRange);
    }
}

TEST_F(UpdateServerTest, OnlyListedFilesAreServed) {
    for (const char* target :
         {"/files/../repository.ini", "/files/%2e%2e/repository.ini", "/files/repository.ini",
          "/files/app/1.0/package.ini", "/files//etc/passwd", "/files/%2Fetc%2Fpasswd",
          "/etc/passwd", "/files/app/1.0/data/../navigator.bin", "/files/"}) {
        auto result = Get(target);
        ASSERT_TRUE(result) << target;
        EXPECT_EQ(result->status, 404) << target;
        EXPECT_EQ(result->body.find("[package]"), std::string::npos) << target;
    }
}

TEST_F(UpdateServerTest, PublishedVersionAppearsWhileRunningAndABrokenManifestKeepsTheLastGood) {
    repo_.AddMap("2.0", "map of Czechia, second edition");
    updaterlib::PackageParser parser;
    ASSERT_TRUE(FetchCatalogue("?platform=wince", parser));
    const updaterlib::Package* newer = Find(parser, "map-cz", "2.0");
    ASSERT_NE(newer, nullptr);
    auto body = Get(newer->files.at(0).source_path.substr(server_.BaseUrl().size()));
    ASSERT_TRUE(body);
    EXPECT_EQ(body->body, "map of Czechia, second edition");

    WriteFile(repo_ / "repository.ini", "[broken\n");
    updaterlib::PackageParser again;
    ASSERT_TRUE(FetchCatalogue("?platform=wince", again));
    EXPECT_NE(Find(again, "map-cz", "2.0"), nullptr);

    std::filesystem::remove_all(repo_ / "maps/cz/2.0");
    WriteFile(repo_ / "repository.ini", "[repository]\n");
    updaterlib::PackageParser third;
    ASSERT_TRUE(FetchCatalogue("?platform=wince", third));
    EXPECT_EQ(Find(third, "map-cz", "2.0"), nullptr);
    EXPECT_NE(Find(third, "map-cz", "1.0"), nullptr);
}

TEST_F(UpdateServerTest, FileServedAfterAChangeIsTheNewContent) {
    WriteFile(repo_ / "maps/cz/1.0/cz.map", "corrupted");
    auto result = Get("/files/maps/cz/1.0/cz.map");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->body, "corrupted");
}

TEST_F(UpdateServerTest, StopsAndStartsAgainOnTheSamePort) {
    std::mutex lock;
    std::condition_variable seen;
    std::string requested;
    server_.SetFileRequestObserver([&](const std::string& path) {
        std::lock_guard guard(lock);
        requested = path;
        seen.notify_all();
    });
    ASSERT_TRUE(Get("/files/app/1.0/navigator.bin"));
    {
        std::unique_lock guard(lock);
        ASSERT_TRUE(seen.wait_for(guard, std::chrono::seconds(30), [&] { return !requested.empty(); }));
        EXPECT_EQ(requested, "app/1.0/navigator.bin");
    }
    const int port = server_.Port();
    server_.Stop();
    EXPECT_FALSE(server_.Running());
    EXPECT_FALSE(Get("/"));
    ASSERT_TRUE(server_.Start("127.0.0.1", port)) << server_.Error();
    EXPECT_TRUE(Get("/"));
}

TEST_F(UpdateServerTest, FileAddressesUseTheHostTheClientAskedFor) {
    const std::pair<const char*, std::string> cases[] = {
        {"updates.example:8080", "http://updates.example:8080/files/"},
        {"bad host<>", server_.BaseUrl() + "/files/"},  // not a plain host name: the bound one
    };
    for (const auto& [host, prefix] : cases) {
        auto result = Get("/?platform=wince", {{"Host", host}});
        ASSERT_TRUE(result);
        EXPECT_NE(result->body.find("<url>" + prefix + "maps/cz/1.0/cz.map</url>"),
                  std::string::npos)
            << host;
    }
}

TEST_F(UpdateServerTest, BusyAddressFailsToStart) {
    UpdateServer second(repo_.Root());
    EXPECT_FALSE(second.Start("127.0.0.1", server_.Port()));
    EXPECT_NE(second.Error().find("cannot listen"), std::string::npos);
}

TEST(UpdateServer, MissingRepositoryFailsToStart) {
    UpdateServer server("/nonexistent/repository");
    EXPECT_FALSE(server.Start("127.0.0.1", 0));
    EXPECT_NE(server.Error().find("does not exist"), std::string::npos);
    EXPECT_FALSE(server.Running());
}

}  // namespace
}  // namespace update_server
