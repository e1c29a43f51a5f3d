#pragma once
// SQLite as the records use it: a connection and prepared statements that
// clean up after themselves; every failure a RecordFailed naming the file and
// SQLite's reason.

#include "core/base/errors.h"
#include "core/records/read_back.h"

#include <cstdint>
#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace cli::records {

class Statement;

// A records file that this user cannot write (read-only media, a folder of
// another's, a file of mode 0444), as SQLite found out.
class CannotWrite : public RecordFailed {
public:
    using RecordFailed::RecordFailed;
};

class Database {
public:
    // Existing: read and written. AsItIs: read only, as a file that nothing
    // changes while it is read (on read-only media, or in a folder this user
    // cannot write, where SQLite could not make the files it reads beside it).
    enum class Mode { Create, Existing, AsItIs };
    // Waits up to `busy` milliseconds for another writer before saying the
    // file is locked.
    Database(const std::string& path, Mode mode, int busy = 3000);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    void exec(const std::string& sql);
    Statement prepare(const std::string& sql);
    void rollback() noexcept;
    std::int64_t lastRowId() const;
    // Rows the last statement changed.
    long changes() const;
    // How long a step waits for another writer, in milliseconds.
    int busy() const { return busy_; }
    const std::string& path() const { return path_; }
    // Throws RecordFailed: "<what was being done>: <the file>: <SQLite's reason>".
    [[noreturn]] void fail(const std::string& doing) const;

private:
    std::string path_;
    int busy_;
    sqlite3* db_ = nullptr;
};

class Statement : public ResultRows {
public:
    Statement(Database& db, sqlite3_stmt* statement) : db_(db), statement_(statement) {}
    ~Statement() override;
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& bind(int index, const std::string& text);
    Statement& bind(int index, std::int64_t value);
    // Texts to the parameters from the first on, in order.
    Statement& bindAll(const std::vector<std::string>& texts);
    // The next row (true), or the end (false).
    bool step();
    // Runs a statement that gives no rows, and makes it ready to run again.
    void run();
    bool next() override { return step(); }
    std::string text(int column) const override;
    std::optional<std::int64_t> whole(int column) const override;
    bool isNull(int column) const override;

private:
    Database& db_;
    sqlite3_stmt* statement_;
};

// A read of several statements that sees the file as it was at one moment.
class ReadTransaction {
public:
    explicit ReadTransaction(Database& db) : db_(db) { db_.exec("BEGIN"); }
    ~ReadTransaction() { db_.rollback(); }
    ReadTransaction(const ReadTransaction&) = delete;
    ReadTransaction& operator=(const ReadTransaction&) = delete;

private:
    Database& db_;
};

// BEGIN IMMEDIATE: the write lock taken at once, so that a locked file is
// found before anything is written; rolled back unless committed.
class Transaction {
public:
    explicit Transaction(Database& db);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void commit();

private:
    Database& db_;
    bool done_ = false;
};

} // namespace cli::records
