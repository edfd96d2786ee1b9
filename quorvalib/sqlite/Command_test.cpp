#include "quorvalib/sqlite/Command.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstring>
#include <functional>

#include "common/debug/testing/LogRecorder.h"
#include "quorvalib/sqlite/TestSupport_test.h"

namespace quorvalib::sqlite {
namespace {

using common::debug::kLogError;
using common::debug::kLogWarning;
using common::debug::testing::LogRecorder;
using testing::RecordingConnection;
using testing::TempDir;

class CommandTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(connection.Open(dir.File("db")));
        ASSERT_TRUE(connection.ExecuteNonQuery(
            "CREATE TABLE t (id INTEGER PRIMARY KEY, i INTEGER, big INTEGER, s TEXT, b BLOB,"
            " u INTEGER UNIQUE)"));
    }
    TempDir dir;
    LogRecorder sink{"Sqlite"};
    RecordingConnection connection;
};

TEST_F(CommandTest, BindsByPositionAndByNameAndReadsBack) {
    Command insert(connection);
    ASSERT_TRUE(insert.Create("INSERT INTO t (i, big, s, b) VALUES (?1, :big, :s, x'00ff')"));
    const std::string owned = "owned text";
    ASSERT_TRUE(insert.Bind(int32_t{-42}, 1));
    ASSERT_TRUE(insert.Bind(int64_t{1} << 40, ":big"));
    ASSERT_TRUE(insert.Bind(owned, std::string(":s")));
    ASSERT_TRUE(insert.Execute());

    ASSERT_TRUE(insert.Bind(int32_t{7}, 1));
    ASSERT_TRUE(insert.Bind(int64_t{-1}, 2));
    ASSERT_TRUE(insert.Bind("pointer text", ":s"));
    ASSERT_TRUE(insert.Execute());

    Command select(connection);
    ASSERT_TRUE(select.Create("SELECT i, big, s, b FROM t ORDER BY id"));
    ASSERT_TRUE(select.GetRow());
    EXPECT_EQ(select.GetInt("i"), -42);
    EXPECT_EQ(select.GetInt(1), 0);  // 2^40 cut to 32 bits
    EXPECT_STREQ(select.GetText("s"), "owned text");
    const auto* blob = static_cast<const unsigned char*>(select.GetBlob("b"));
    ASSERT_NE(blob, nullptr);
    EXPECT_EQ(blob[0], 0x00);
    EXPECT_EQ(blob[1], 0xff);
    ASSERT_TRUE(select.GetRow());
    EXPECT_EQ(select.GetInt(0), 7);
    EXPECT_EQ(select.GetInt("big"), -1);
    EXPECT_STREQ(select.GetText(2), "pointer text");
    EXPECT_FALSE(select.GetRow());
    EXPECT_TRUE(connection.calls.empty());
}

TEST_F(CommandTest, NullBindsAndNullReads) {
    Command insert(connection);
    ASSERT_TRUE(insert.Create("INSERT INTO t (i, s, b) VALUES (:i, :s, :b)"));
    const char* nothing = nullptr;
    ASSERT_TRUE(insert.BindNull(":i"));
    ASSERT_TRUE(insert.Bind(nothing, ":s"));
    ASSERT_TRUE(insert.Bind(std::string(), ":b"));  // empty text, not NULL
    ASSERT_TRUE(insert.Execute());

    Command select(connection);
    ASSERT_TRUE(select.Create("SELECT i, s, b, x'' AS empty FROM t"));
    ASSERT_TRUE(select.GetRow());
    EXPECT_TRUE(select.IsNull("i"));
    EXPECT_TRUE(select.IsNull("s"));
    EXPECT_FALSE(select.IsNull("b"));
    EXPECT_EQ(select.GetInt("i"), 0);
    ASSERT_NE(select.GetText("s"), nullptr);
    EXPECT_STREQ(select.GetText("s"), "");
    EXPECT_EQ(select.GetBlob("s"), nullptr);
    EXPECT_EQ(select.GetBlob("empty"), nullptr);  // zero length
}

TEST_F(CommandTest, ExecuteClearsBindingsSoASecondExecuteInsertsNulls) {
    Command insert(connection);
    ASSERT_TRUE(insert.Create("INSERT INTO t (i, s) VALUES (:i, :s)"));
    ASSERT_TRUE(insert.Bind(int32_t{5}, ":i"));
    ASSERT_TRUE(insert.Bind("five", ":s"));
    ASSERT_TRUE(insert.Execute());
    ASSERT_TRUE(insert.Execute());

    Command select(connection);
    ASSERT_TRUE(select.Create("SELECT i, s FROM t ORDER BY id"));
    ASSERT_TRUE(select.GetRow());
    EXPECT_EQ(select.GetInt("i"), 5);
    ASSERT_TRUE(select.GetRow());
    EXPECT_TRUE(select.IsNull("i"));
    EXPECT_TRUE(select.IsNull("s"));
}

TEST_F(CommandTest, GetRowAtDoneResetsKeepingBindingsSoTheQueryRunsAgain) {
    Command select(connection);
    ASSERT_TRUE(select.Create("SELECT s FROM t WHERE i = :i"));
    ASSERT_TRUE(select.Bind(int32_t{3}, ":i"));
    EXPECT_FALSE(select.GetRow());
    EXPECT_FALSE(select.GetRow());  // reset, not stuck at DONE
    ASSERT_TRUE(connection.ExecuteNonQuery("INSERT INTO t (i, s) VALUES (3, 'three')"));
    ASSERT_TRUE(select.GetRow());  // the binding of 3 is still there
    EXPECT_STREQ(select.GetText(0), "three");
    EXPECT_TRUE(connection.calls.empty());
}

TEST_F(CommandTest, ResetAndFinalizeWithoutAStatementSucceed) {
    Command command(connection);
    EXPECT_TRUE(command.Reset());
    EXPECT_TRUE(command.Finalize());
    ASSERT_TRUE(command.Create("SELECT 1"));
    EXPECT_TRUE(command.Finalize());
    EXPECT_FALSE(command.IsPrepared());
    EXPECT_TRUE(command.Finalize());
}

TEST_F(CommandTest, RepeatedColumnNameGivesTheLaterColumn) {
    Command select(connection);
    ASSERT_TRUE(select.Create("SELECT 1 AS x, 2 AS x"));
    ASSERT_TRUE(select.GetRow());
    EXPECT_EQ(select._Column("x"), 1);
    EXPECT_EQ(select.GetInt("x"), 2);
    // A new statement builds a new map.
    ASSERT_TRUE(select.Create("SELECT 3 AS y, 4 AS x"));
    ASSERT_TRUE(select.GetRow());
    EXPECT_EQ(select.GetInt("x"), 4);
}

TEST_F(CommandTest, PrepareFailureIsLoggedAndReported) {
    Command command(connection);
    EXPECT_FALSE(command.Create("SELECT nope FROM missing"));
    EXPECT_FALSE(command.IsPrepared());
    ASSERT_EQ(connection.calls.size(), 1u);
    EXPECT_EQ(connection.calls[0].code, SQLITE_ERROR);
    EXPECT_EQ(connection.calls[0].message, "no such table: missing");
    EXPECT_EQ(connection.calls[0].sql, "SELECT nope FROM missing");
    EXPECT_TRUE(sink.Has(kLogError, "Prepare statement failed: no such table: missing (1) "
                                    "statement: SELECT nope FROM missing"));
    connection.answer = true;
    EXPECT_TRUE(command.Create("SELECT nope FROM missing"));
}

TEST_F(CommandTest, StepFailuresCarryTheStatementText) {
    ASSERT_TRUE(connection.ExecuteNonQuery("INSERT INTO t (u) VALUES (1)"));
    Command insert(connection);
    const char* sql = "INSERT INTO t (u) VALUES (:u)";
    ASSERT_TRUE(insert.Create(sql));
    ASSERT_TRUE(insert.Bind(int32_t{1}, ":u"));
    EXPECT_FALSE(insert.Execute());
    ASSERT_EQ(connection.calls.size(), 1u);
    EXPECT_EQ(connection.calls[0].code, SQLITE_CONSTRAINT);
    EXPECT_EQ(connection.calls[0].sql, sql);
    EXPECT_TRUE(sink.Has(kLogError, "Step failed: " + connection.calls[0].message +
                                        ", code: 19. Expecting SQLITE_DONE."));
    // Bindings were cleared: the next run inserts NULL, which UNIQUE allows.
    EXPECT_TRUE(insert.Execute());

    Command select(connection);
    ASSERT_TRUE(connection.ExecuteNonQuery("INSERT INTO t (big) VALUES (-9223372036854775808)"));
    ASSERT_TRUE(select.Create("SELECT abs(big) FROM t WHERE big IS NOT NULL"));
    EXPECT_FALSE(select.GetRow());  // integer overflow in abs()
    ASSERT_EQ(connection.calls.size(), 2u);
    EXPECT_TRUE(sink.Has(kLogError, "Step failed: integer overflow, code: 1. "
                                    "Expecting SQLITE_ROW or SQLITE_DONE."));
}

TEST_F(CommandTest, MissingPlaceholderIsReportedThenTheBindFailsWithTheRangeError) {
    Command insert(connection);
    const char* sql = "INSERT INTO t (i) VALUES (:i)";
    ASSERT_TRUE(insert.Create(sql));
    EXPECT_FALSE(insert.Bind(int32_t{1}, ":other"));
    ASSERT_EQ(connection.calls.size(), 2u);
    const std::string expected = "Placeholder " + std::string(100 - 6, ' ') + ":other not found";
    EXPECT_EQ(connection.calls[0].code, SQLITE_RANGE);
    EXPECT_EQ(connection.calls[0].message, expected);
    EXPECT_EQ(connection.calls[0].sql, sql);
    EXPECT_TRUE(sink.Has(kLogError, expected + " in " + sql));
    EXPECT_EQ(connection.calls[1].code, SQLITE_RANGE);
    EXPECT_TRUE(sink.HasPrefix(kLogError, "Bind int failed for column 0: "));
}

TEST_F(CommandTest, NotFoundNamesOfAnyLengthAreReportedWhole) {
    const std::string longName = ":" + std::string(500, 'p');
    const std::string longColumn(300, 'c');
    Command command(connection);
    ASSERT_TRUE(command.Create("SELECT i FROM t WHERE i = :i"));
    EXPECT_EQ(command._Parameter(longName), 0);
    EXPECT_EQ(connection.calls.back().message, "Placeholder " + longName + " not found");
    EXPECT_EQ(command._Column(longColumn), -1);
    EXPECT_EQ(connection.calls.back().message, "Column " + longColumn + " not found");
    EXPECT_TRUE(sink.Has(kLogError, "Column " + longColumn + " not found in " +
                                        "SELECT i FROM t WHERE i = :i"));
}

TEST_F(CommandTest, MissingColumnReadsAsNull) {
    ASSERT_TRUE(connection.ExecuteNonQuery("INSERT INTO t (i, s) VALUES (1, 'x')"));
    Command select(connection);
    ASSERT_TRUE(select.Create("SELECT i, s FROM t"));
    ASSERT_TRUE(select.GetRow());
    EXPECT_TRUE(select.IsNull("nope"));
    EXPECT_EQ(select.GetInt("nope"), 0);
    EXPECT_STREQ(select.GetText("nope"), "");
    EXPECT_EQ(select.GetBlob("nope"), nullptr);
    EXPECT_EQ(connection.calls.size(), 4u);
    EXPECT_EQ(connection.calls[0].message,
              "Column " + std::string(100 - 4, ' ') + "nope not found");
}

TEST_F(CommandTest, BindFailuresNameTheIndexAndGoThroughTheFunnel) {
    Command insert(connection);
    const char* sql = "INSERT INTO t (i) VALUES (?)";
    ASSERT_TRUE(insert.Create(sql));
    struct Case {
        std::function<bool()> bind;
        const char* log;
    };
    const Case cases[] = {
        {[&] { return insert.Bind(int32_t{1}, 5); }, "Bind int failed for column 5: "},
        {[&] { return insert.Bind(int64_t{1}, 6); }, "Bind int 64 failed for column 6: "},
        {[&] { return insert.Bind("x", 7); }, "Bind text failed for column 7: "},
        {[&] { return insert.Bind(std::string("x"), 8); }, "Bind text failed for column 8: "},
        {[&] { return insert.BindNull(9); }, "Bind NULL failed for column 9: "},
    };
    for (const Case& c : cases) {
        connection.calls.clear();
        EXPECT_FALSE(c.bind()) << c.log;
        ASSERT_EQ(connection.calls.size(), 1u) << c.log;
        EXPECT_EQ(connection.calls[0].code, SQLITE_RANGE);
        EXPECT_EQ(connection.calls[0].message, "column index out of range");
        EXPECT_EQ(connection.calls[0].sql, sql);
        EXPECT_TRUE(sink.Has(kLogError, std::string(c.log) + "column index out of range, code: 25"))
            << c.log;
    }
    connection.answer = true;  // a tolerant hook turns the failure into success
    EXPECT_TRUE(insert.Bind(int32_t{1}, 5));
}

TEST_F(CommandTest, TextWithoutAStatementIsAPrepareFailure) {
    Command command(connection);
    EXPECT_FALSE(command.Create("  -- nothing here"));
    EXPECT_FALSE(command.IsPrepared());
    ASSERT_EQ(connection.calls.size(), 1u);
    EXPECT_EQ(connection.calls[0].code, SQLITE_MISUSE);
}

TEST(CommandClosed, FunnelFallsBackToDatabaseNotOpen) {
    LogRecorder sink{"Sqlite"};
    RecordingConnection connection;
    Command command(connection);
    EXPECT_FALSE(command.Create("SELECT 1"));
    EXPECT_FALSE(command.GetRow());
    EXPECT_FALSE(command.Execute());
    EXPECT_FALSE(command.BindNull(1));
    ASSERT_EQ(connection.calls.size(), 4u);
    for (const auto& call : connection.calls) {
        EXPECT_EQ(call.message, "Database not open");
        EXPECT_FALSE(call.hadHandle);
    }
}

}  // namespace
}  // namespace quorvalib::sqlite
