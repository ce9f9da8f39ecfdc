#pragma once
#include <sqlite3.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

namespace tesmira::vault {

// An SQLite failure, carrying SQLite's own message and result code.
class SqliteError : public std::runtime_error {
public:
    SqliteError(const std::string& message, int code) : std::runtime_error(message), code_(code) {}
    int code() const { return code_; }

private:
    int code_;
};

// One open connection, closed when the object goes.
class Database {
public:
    // Opens the database at `path`; with `create`, makes an empty one where there is none.
    Database(const std::filesystem::path& path, int busy_timeout_ms, bool create = true);
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    void execute(const std::string& sql);
    // Runs one statement with text and integer parameters; returns the first row's columns
    // as texts, or nothing when there is no row.
    using Parameter = std::variant<std::string, long long>;
    std::optional<std::vector<std::string>> query(const std::string& sql, const std::vector<Parameter>& parameters);
    bool in_transaction() const;

private:
    struct Closer {
        void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
    };
    std::unique_ptr<sqlite3, Closer> db_;
};

}  // namespace tesmira::vault
