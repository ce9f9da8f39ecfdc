#include "vault/transaction.hpp"

#include <system_error>

namespace tesmira::vault {

Transaction::Transaction(Database& db) : db_(db) { db_.execute("BEGIN IMMEDIATE"); }

Transaction::~Transaction() {
    if (committed_) return;
    try {
        if (db_.in_transaction()) db_.execute("ROLLBACK");
    } catch (const std::exception&) {
        // Closing the connection discards the transaction all the same.
    }
    std::error_code ignored;
    for (const std::filesystem::path& path : created_) std::filesystem::remove(path, ignored);
}

void Transaction::commit() {
    db_.execute("COMMIT");
    committed_ = true;
}

}  // namespace tesmira::vault
