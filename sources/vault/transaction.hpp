#pragma once
#include <filesystem>
#include <vector>

#include "vault/sqlite_database.hpp"

namespace tesmira::vault {

// One write transaction of a project's history with the version files it adds: begun
// (BEGIN IMMEDIATE) when made, and unless commit() ran, rolled back when it goes, with every
// file of created_files() removed, on every way out, a SIGTERM's unwinding included.
class Transaction {
public:
    // Throws SqliteError when another connection holds the database.
    explicit Transaction(Database& db);
    ~Transaction();  // silent: it runs while a failure unwinds
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    // The version files written for the rows of this transaction, removed on rollback.
    std::vector<std::filesystem::path>& created_files() { return created_; }
    // Commits; from here on, nothing is undone.
    void commit();

private:
    Database& db_;
    std::vector<std::filesystem::path> created_;
    bool committed_ = false;
};

}  // namespace tesmira::vault
