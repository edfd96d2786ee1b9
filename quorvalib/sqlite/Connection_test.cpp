#include "quorvalib/sqlite/Connection.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include "common/debug/testing/LogRecorder.h"
#include "quorvalib/sqlite/Command.h"
#include "quorvalib/sqlite/TestSupport_test.h"

namespace quorvalib::sqlite {
namespace {

using common::debug::kLogError;
using common::debug::kLogInfo;
using common::debug::kLogWarning;
using common::debug::testing::LogRecorder;
using testing::RecordingConnection;
using testing::TempDir;

int CountRows(Connection& connection, const char* sql) {
    Command command(connection);
    EXPECT_TRUE(command.Create(sql));
    int rows = 0;
    while (command.GetRow()) {
        ++rows;
    }
    return rows;
}

TEST(Connection, OpenCreatesReopensAndCloses) {
    TempDir dir;
    LogRecorder sink{"Sqlite"};
    RecordingConnection connection;
    const std::string first = dir.File("first.db");
    ASSERT_TRUE(connection.Open(first));
    EXPECT_TRUE(connection.IsOpen());
    EXPECT_TRUE(sink.Has(kLogInfo, "Database successfully opened " + first + "."));
    ASSERT_TRUE(connection.ExecuteNonQuery("CREATE TABLE t (a INTEGER)"));
    EXPECT_TRUE(std::filesystem::exists(first));

    const std::string second = dir.File("second.db");
    ASSERT_TRUE(connection.Open(second.c_str(), second.size()));
    EXPECT_TRUE(sink.Has(kLogInfo, "Database is already opened. Closing previous connection."));
    EXPECT_TRUE(sink.Has(kLogInfo, "Database closed."));
    EXPECT_FALSE(connection.TableExists("t"));  // the new file, not the old one

    EXPECT_TRUE(connection.Close());
    EXPECT_FALSE(connection.IsOpen());
    EXPECT_TRUE(connection.Close());  // closing a closed connection is fine
    EXPECT_TRUE(connection.calls.empty());
}

TEST(Connection, OpenFailureGoesThroughTheHookWhoseAnswerIsTheResult) {
    TempDir dir;
    LogRecorder sink{"Sqlite"};
    RecordingConnection connection;
    const std::string missing = dir.File("no/such/folder/db");
    EXPECT_FALSE(connection.Open(missing));
    EXPECT_FALSE(connection.IsOpen());
    ASSERT_EQ(connection.calls.size(), 1u);
    EXPECT_EQ(connection.calls[0].code, SQLITE_CANTOPEN);
    EXPECT_EQ(connection.calls[0].sql, "(none)");
    EXPECT_TRUE(sink.Has(kLogError,
                         "sqlite3_open_v2 failed. Message: " + connection.calls[0].message));

    connection.answer = true;
    EXPECT_TRUE(connection.Open(missing));
    EXPECT_FALSE(connection.IsOpen());
}

TEST(Connection, ExecuteNonQueryReportsEveryFailure) {
    TempDir dir;
    LogRecorder sink{"Sqlite"};
    RecordingConnection connection;

    EXPECT_FALSE(connection.ExecuteNonQuery("CREATE TABLE t (a)"));
    ASSERT_EQ(connection.calls.size(), 1u);
    EXPECT_EQ(connection.calls[0].code, SQLITE_MISUSE);
    EXPECT_FALSE(connection.calls[0].hadHandle);
    EXPECT_EQ(connection.calls[0].message, "Database connection not open.");
    EXPECT_EQ(connection.calls[0].sql, "CREATE TABLE t (a)");
    EXPECT_TRUE(sink.Has(kLogError, "Database connection not openned."));

    ASSERT_TRUE(connection.Open(dir.File("db")));
    EXPECT_FALSE(connection.ExecuteNonQuery("CREATE TABLE"));
    ASSERT_EQ(connection.calls.size(), 2u);
    EXPECT_EQ(connection.calls[1].code, SQLITE_ERROR);
    EXPECT_TRUE(connection.calls[1].hadHandle);
    EXPECT_EQ(connection.calls[1].message, "incomplete input");
    EXPECT_TRUE(sink.Has(kLogError,
                         "sqlite3_exec error: incomplete input (1) executing CREATE TABLE"));

    connection.answer = true;
    EXPECT_TRUE(connection.ExecuteNonQuery("DROP TABLE nothing_here"));
}

TEST(Connection, CloseRollsBackAnOpenTransaction) {
    TempDir dir;
    RecordingConnection connection;
    ASSERT_TRUE(connection.Open(dir.File("db")));
    ASSERT_TRUE(connection.ExecuteNonQuery("CREATE TABLE t (a INTEGER)"));
    EXPECT_FALSE(connection.Rollback());  // no transaction
    ASSERT_TRUE(connection.ExecuteNonQuery("BEGIN; INSERT INTO t VALUES (1)"));
    ASSERT_TRUE(connection.Close());
    ASSERT_TRUE(connection.Open(dir.File("db")));
    EXPECT_EQ(CountRows(connection, "SELECT a FROM t"), 0);

    ASSERT_TRUE(connection.ExecuteNonQuery("BEGIN; INSERT INTO t VALUES (1)"));
    EXPECT_TRUE(connection.Rollback());
    EXPECT_EQ(CountRows(connection, "SELECT a FROM t"), 0);
    EXPECT_TRUE(connection.calls.empty());
}

TEST(Connection, CloseWithAPreparedStatementIsRefusedAndStaysOpen) {
    TempDir dir;
    LogRecorder sink{"Sqlite"};
    RecordingConnection connection;
    ASSERT_TRUE(connection.Open(dir.File("db")));
    {
        Command command(connection);
        ASSERT_TRUE(command.Create("SELECT 1"));
        EXPECT_FALSE(connection.Close());
        EXPECT_TRUE(connection.IsOpen());
        EXPECT_TRUE(command.GetRow());
        EXPECT_EQ(command.GetInt(0), 1);
    }
    EXPECT_TRUE(connection.Close());
}

TEST(Connection, ReopenWhileAStatementIsPreparedAbandonsTheOldHandleSafely) {
    TempDir dir;
    RecordingConnection connection;
    ASSERT_TRUE(connection.Open(dir.File("old")));
    Command command(connection);
    ASSERT_TRUE(command.Create("SELECT 7"));
    ASSERT_TRUE(connection.Open(dir.File("new")));
    // The statement still works on the abandoned handle and frees it when finalized.
    ASSERT_TRUE(command.GetRow());
    EXPECT_EQ(command.GetInt(0), 7);
    EXPECT_TRUE(command.Finalize());
}

TEST(Connection, TableExistsOnlyForTablesOfTheMainDatabase) {
    TempDir dir;
    RecordingConnection connection;
    ASSERT_TRUE(connection.Open(dir.File("db")));
    ASSERT_TRUE(connection.ExecuteNonQuery(
        "CREATE TABLE app_info (a INTEGER);"
        "CREATE VIEW a_view AS SELECT a FROM app_info;"
        "CREATE INDEX an_index ON app_info (a);"
        "CREATE TEMP TABLE a_temp (a INTEGER);"));
    struct Case {
        const char* name;
        bool exists;
    };
    const Case cases[] = {
        {"app_info", true},  {"a_view", false},     {"an_index", false},
        {"a_temp", false},   {"missing", false},    {"app_info' OR '1'='1", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(connection.TableExists(c.name), c.exists) << c.name;
    }
    EXPECT_TRUE(connection.calls.empty());
}

TEST(Connection, CreateCollationOnAClosedConnectionIsReported) {
    LogRecorder sink{"Sqlite"};
    RecordingConnection connection;
    EXPECT_FALSE(connection.CreateCollation(nullptr));
    ASSERT_EQ(connection.calls.size(), 1u);
    EXPECT_EQ(connection.calls[0].code, SQLITE_MISUSE);
    EXPECT_TRUE(sink.Has(kLogError,
                         "sqlite3_create_collation returned 21 while creating 'WCSCOLL'"));
}

}  // namespace
}  // namespace quorvalib::sqlite
