#include "vault/sqlite_database.hpp"

namespace tesmira::vault {
namespace {

struct StatementFinalizer {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

}  // namespace

Database::Database(const std::filesystem::path& path, int busy_timeout_ms, bool create) {
    sqlite3* raw = nullptr;
    const int result =
        sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0), nullptr);
    db_.reset(raw);
    if (result != SQLITE_OK) throw SqliteError(raw ? sqlite3_errmsg(raw) : sqlite3_errstr(result), result);
    sqlite3_busy_timeout(raw, busy_timeout_ms);
}

void Database::execute(const std::string& sql) {
    char* message = nullptr;
    const int result = sqlite3_exec(db_.get(), sql.c_str(), nullptr, nullptr, &message);
    if (result != SQLITE_OK) {
        const std::string text = message ? message : sqlite3_errmsg(db_.get());
        sqlite3_free(message);
        throw SqliteError(text, result);
    }
}

std::optional<std::vector<std::string>> Database::query(const std::string& sql,
                                                        const std::vector<Parameter>& parameters) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db_.get(), sql.c_str(), int(sql.size()), &raw, nullptr) != SQLITE_OK)
        throw SqliteError(sqlite3_errmsg(db_.get()), sqlite3_errcode(db_.get()));
    Statement statement(raw);
    for (std::size_t i = 0; i < parameters.size(); ++i) {
        const int index = int(i + 1);
        const int bound =
            std::holds_alternative<std::string>(parameters[i])
                ? sqlite3_bind_text(raw, index, std::get<std::string>(parameters[i]).c_str(), -1, SQLITE_TRANSIENT)
                : sqlite3_bind_int64(raw, index, std::get<long long>(parameters[i]));
        if (bound != SQLITE_OK) throw SqliteError(sqlite3_errmsg(db_.get()), bound);
    }
    const int step = sqlite3_step(raw);
    if (step == SQLITE_DONE) return std::nullopt;
    if (step != SQLITE_ROW) throw SqliteError(sqlite3_errmsg(db_.get()), step);
    std::vector<std::string> row;
    for (int c = 0; c < sqlite3_column_count(raw); ++c) {
        const unsigned char* text = sqlite3_column_text(raw, c);
        row.emplace_back(text ? reinterpret_cast<const char*>(text) : "");
    }
    return row;
}

bool Database::in_transaction() const { return sqlite3_get_autocommit(db_.get()) == 0; }

}  // namespace tesmira::vault
