#pragma once

#include <vector>

namespace updaterlib::schema {

// The package database's statements: creation at version 1, then the steps to the current
// version. The texts are stored by SQLite as written, so they are part of the file format.

constexpr int kCurrentVersion = 5;

// DROP TABLE IF EXISTS for every table, then the five CREATE TABLE statements, in order.
const std::vector<const char*>& CreationStatements();
extern const char* const kInsertAppInfo;  // :version, :state
extern const char* const kUpdateVersion;  // :NEW_VERSION

struct UpgradeStep {
    int version;  // the version the step leads to
    std::vector<const char*> statements;
};
const std::vector<UpgradeStep>& UpgradeSteps();

}  // namespace updaterlib::schema
