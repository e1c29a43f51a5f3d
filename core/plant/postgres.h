#pragma once
// A connection to the plant's PostgreSQL, on libpq: the server named as libpq
// names it (a postgresql:// URI, "key=value" words, PGHOST, PGSERVICE...) and
// its password from PGPASSFILE or a service file, never from the command line.

#include "core/base/errors.h"
#include "core/records/read_back.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct pg_conn;
struct pg_result;

namespace cli::plant {

// Throws UsageError for a connection text libpq cannot read or that carries
// a password (it would show in the process list and the shell's history).
void checkConnectionText(const std::string& db);

// The server and database a connection text reaches, as libpq resolves them
// (the text's words, else the environment's PGHOST, PGDATABASE, PGSERVICE...):
// the same text for the same place, another for another.
std::string connectionTarget(const std::string& db);

using Parameter = std::optional<std::string>; // none: NULL

// What the server (or libpq) said of a statement that failed, with its
// SQLSTATE ("" where the connection itself failed).
class PgFailed : public RecordFailed {
public:
    PgFailed(const std::string& reason, std::string sqlstate)
        : RecordFailed(reason), sqlstate_(std::move(sqlstate)) {}
    const std::string& sqlstate() const { return sqlstate_; }
    // Whether it is the run's own (data the server will never take: classes
    // 22 and 23, and 54 for a value past the server's limits, such as a serial
    // too long for an index), rather than the server's state for now (a
    // read-only or full database, a lock or statement timeout, a shutdown):
    // only those drop a run, the others are waited out.
    bool dataError() const;

private:
    std::string sqlstate_;
};

// A statement's result: by row and column, or a row at a time as the records
// read it. A whole number that is NULL or not whole is RecordFailed.
class Rows : public records::ResultRows {
public:
    explicit Rows(pg_result* result);
    int count() const;
    std::string text(int row, int column) const;
    long long integer(int row, int column) const;
    bool isNull(int row, int column) const;

    bool next() override { return ++at_ < count(); }
    std::string text(int column) const override { return text(at_, column); }
    std::optional<std::int64_t> whole(int column) const override { return whole(at_, column); }
    bool isNull(int column) const override { return isNull(at_, column); }
    using records::ResultRows::integer;

private:
    std::optional<std::int64_t> whole(int row, int column) const;
    std::unique_ptr<pg_result, void (*)(pg_result*)> result_;
    int at_ = -1;
};

class Postgres {
public:
    // Connects; throws RecordFailed naming the server and libpq's reason.
    // `program` is who holds the connection, as pg_stat_activity shows it
    // where the connection text and PGAPPNAME name no one.
    Postgres(const std::string& db, const char* program);
    // Runs one statement (its parameters as $1, $2, ...); throws PgFailed.
    Rows exec(const std::string& sql, const std::vector<Parameter>& parameters = {});
    // Whether the connection is still there (after a failure).
    bool alive() const;
    // A statement still running once this says so is cancelled (a collector
    // stopping); none: each runs to its end, or to the server's
    // statement_timeout. Asked every 100 ms while a statement runs.
    void giveUpWhen(std::function<bool()> late) { late_ = std::move(late); }
    std::string where() const { return where_; }

private:
    void awaitResult();

    std::unique_ptr<pg_conn, void (*)(pg_conn*)> connection_;
    std::string where_; // the server, for messages
    std::function<bool()> late_;
};

// BEGIN ... COMMIT, rolled back unless committed.
class PgTransaction {
public:
    enum class Kind {
        Write,
        // A report's statements all reading the store as it was at its first.
        ReadSnapshot,
    };
    explicit PgTransaction(Postgres& db, Kind kind = Kind::Write);
    ~PgTransaction();
    PgTransaction(const PgTransaction&) = delete;
    PgTransaction& operator=(const PgTransaction&) = delete;
    // Its commit on the server's disk before commit() returns, even where the
    // server is set to lose the last commits in a crash (synchronous_commit =
    // off): what is confirmed after it must not be lost. A stronger setting
    // is kept.
    void durable();
    void commit();

private:
    Postgres& db_;
    bool done_ = false;
};

} // namespace cli::plant
