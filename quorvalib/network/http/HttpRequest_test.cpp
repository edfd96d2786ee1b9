#include "quorvalib/network/http/HttpRequest.h"

#include <gtest/gtest.h>

#include "quorvalib/files/LogRecorder_test.h"

namespace quorvalib::network::http {
namespace {

class PlainRequest : public HttpRequest {
public:
    using HttpRequest::HttpRequest;
    bool Start() override { return true; }
    bool Cancel() override { return true; }
};

TEST(HttpRequest, ParameterRules) {
    const struct {
        const char* name;
        const char* value;
        bool added;
        int level;  // of the one log line, 0 for none
        const char* line;
    } cases[] = {
        {"a", "1", true, 0, ""},
        {"b", "x y", true, 0, ""},
        {"a", "", true, 0, ""},  // duplicates keep their order
        {"c", nullptr, true, common::debug::kLogWarning, "Request parameter 'c' with NULL value."},
        {"", "v", false, common::debug::kLogError, "Request parameter must have name."},
        {nullptr, "v", false, common::debug::kLogError, "Request parameter must have name."},
        {nullptr, nullptr, false, common::debug::kLogError, "Request parameter must have name."},
    };
    PlainRequest request(7);
    HttpRequest::Parameters expected;
    for (const auto& c : cases) {
        LogRecorder log("HttpRequest");
        request.AddParameter(c.name, c.value);
        if (c.added) expected.emplace_back(c.name, c.value ? c.value : "");
        EXPECT_EQ(request.GetParameters(), expected) << (c.name ? c.name : "(null)");
        const auto lines = log.Lines();
        if (c.level == 0) {
            EXPECT_TRUE(lines.empty());
        } else {
            ASSERT_EQ(lines.size(), 1u);
            EXPECT_EQ(lines[0].level, c.level);
            EXPECT_EQ(lines[0].message, c.line);
        }
    }
    // The owned-string form refuses an empty name too.
    LogRecorder log("HttpRequest");
    request.AddParameter(std::string(), std::string("v"));
    EXPECT_EQ(request.GetParameters(), expected);
    ASSERT_EQ(log.Lines().size(), 1u);
}

TEST(HttpRequest, DescribesMethodUrlAndParameters) {
    PlainRequest request(1);
    EXPECT_FALSE(request.IsGet());
    request.SetUrl("http://host/c");
    EXPECT_EQ(request.Describe(), "POST: http://host/c, parameters: []");
    request.SetGet(true);
    request.AddParameter("a", "1");
    request.AddParameter("b", "2");
    EXPECT_EQ(request.GetUrl(), "http://host/c");
    EXPECT_EQ(request.Describe(), "GET: http://host/c, parameters: [a: 1, b: 2, ]");
}

}  // namespace
}  // namespace quorvalib::network::http
