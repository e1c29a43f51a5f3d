#include "postgres.h"

#include "core/base/errors.h"

#include <libpq-fe.h>

#include <cerrno>
#include <cstdlib>
#include <poll.h>

namespace cli::plant {

void checkConnectionText(const std::string& db) {
    char* error = nullptr;
    std::unique_ptr<PQconninfoOption, void (*)(PQconninfoOption*)> options(
        PQconninfoParse(db.c_str(), &error), PQconninfoFree);
    if (!options) {
        const std::string why = error ? error : "内存不足";
        PQfreemem(error);
        throw UsageError("--db 的 PostgreSQL 连接写法不对：" + why);
    }
    for (const PQconninfoOption* o = options.get(); o->keyword; ++o)
        if (std::string(o->keyword) == "password" && o->val && *o->val)
            throw UsageError("--db 里不能写密码（别人在进程列表和命令历史里看得到）："
                             "用 PGPASSFILE 指向的密码文件或服务文件（PGSERVICE）");
}

bool PgFailed::dataError() const {
    const std::string kind = sqlstate_.substr(0, 2);
    return kind == "22" || kind == "23" || kind == "54";
}

std::string connectionTarget(const std::string& db) {
    using Options = std::unique_ptr<PQconninfoOption, void (*)(PQconninfoOption*)>;
    char* error = nullptr;
    const Options given(PQconninfoParse(db.c_str(), &error), PQconninfoFree);
    PQfreemem(error);
    const Options defaults(PQconndefaults(), PQconninfoFree);
    auto valueIn = [](const Options& options, const std::string& keyword) -> std::string {
        for (const PQconninfoOption* o = options.get(); o && o->keyword; ++o)
            if (keyword == o->keyword && o->val)
                return o->val;
        return "";
    };
    std::string target;
    for (const char* keyword : {"service", "host", "hostaddr", "port", "dbname", "user"}) {
        std::string value = valueIn(given, keyword);
        target += std::string(keyword) + "=" +
                  (value.empty() ? valueIn(defaults, keyword) : value) + "\n";
    }
    return target;
}

Rows::Rows(pg_result* result) : result_(result, PQclear) {}

int Rows::count() const {
    return PQntuples(result_.get());
}

std::string Rows::text(int row, int column) const {
    return std::string(PQgetvalue(result_.get(), row, column),
                       static_cast<std::size_t>(PQgetlength(result_.get(), row, column)));
}

std::optional<std::int64_t> Rows::whole(int row, int column) const {
    if (isNull(row, column))
        return std::nullopt;
    const char* value = PQgetvalue(result_.get(), row, column);
    char* end = nullptr;
    errno = 0;
    const long long number = std::strtoll(value, &end, 10);
    if (end == value || *end != '\0' || errno == ERANGE)
        return std::nullopt;
    return number;
}

long long Rows::integer(int row, int column) const {
    if (const std::optional<std::int64_t> value = whole(row, column))
        return *value;
    throw records::notWhole(column, isNull(row, column), text(row, column));
}

bool Rows::isNull(int row, int column) const {
    return PQgetisnull(result_.get(), row, column) != 0;
}

namespace {

// libpq's messages end with a line break.
std::string trimmed(const char* message) {
    std::string text = message ? message : "";
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return text;
}

} // namespace

namespace {

// libpq waits for a server that does not answer as long as TCP does, and
// for a connection whose peer vanished mid-query for hours: a collector
// would sit there, deaf to SIGTERM. Bounds where the connection text and
// the environment set none (theirs come later, and win).
pg_conn* connect(const std::string& db, const char* program) {
    std::vector<const char*> keywords, values;
    auto bound = [&](const char* keyword, const char* environment, const char* value) {
        if (!std::getenv(environment)) {
            keywords.push_back(keyword);
            values.push_back(value);
        }
    };
    bound("connect_timeout", "PGCONNECT_TIMEOUT", "10");
    keywords.insert(keywords.end(), {"keepalives_idle", "keepalives_interval", "keepalives_count"});
    values.insert(values.end(), {"30", "10", "3"});
    keywords.push_back("fallback_application_name");
    values.push_back(program);
    keywords.push_back("dbname");
    values.push_back(db.c_str());
    keywords.push_back(nullptr);
    values.push_back(nullptr);
    return PQconnectdbParams(keywords.data(), values.data(), 1);
}

} // namespace

Postgres::Postgres(const std::string& db, const char* program)
    : connection_(connect(db, program), PQfinish) {
    if (!connection_)
        throw RecordFailed("PostgreSQL：内存不足");
    if (PQstatus(connection_.get()) != CONNECTION_OK)
        throw RecordFailed("连不上 PostgreSQL：" + trimmed(PQerrorMessage(connection_.get())));
    where_ = std::string("PostgreSQL ") + PQdb(connection_.get()) + "@" +
             (PQhost(connection_.get()) ? PQhost(connection_.get()) : "");
    // Our messages are the program's; the server's notices stay in its log.
    PQsetNoticeProcessor(
        connection_.get(), [](void*, const char*) {}, nullptr);
}

Rows Postgres::exec(const std::string& sql, const std::vector<Parameter>& parameters) {
    pg_conn* connection = connection_.get();
    std::vector<const char*> values;
    for (const Parameter& p : parameters)
        values.push_back(p ? p->c_str() : nullptr);
    // Without parameters as a plain query, which may hold several statements.
    const int sent =
        values.empty() ? PQsendQuery(connection, sql.c_str())
                       : PQsendQueryParams(connection, sql.c_str(), static_cast<int>(values.size()),
                                           nullptr, values.data(), nullptr, nullptr, 0);
    if (sent == 1)
        awaitResult();
    // The last result, as PQexec gives it (the failing one where one failed).
    pg_result* result = nullptr;
    for (pg_result* next = sent == 1 ? PQgetResult(connection) : nullptr; next;
         next = PQgetResult(connection)) {
        PQclear(result);
        result = next;
    }
    Rows rows(result);
    const ExecStatusType status = result ? PQresultStatus(result) : PGRES_FATAL_ERROR;
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
        const char* state = result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
        throw PgFailed(
            where_ + "：" +
                trimmed(result ? PQresultErrorMessage(result) : PQerrorMessage(connection)),
            state ? state : "");
    }
    return rows;
}

// Waits for the server's answer, cancelling the statement where it still
// runs when it is too late (its transaction then fails: "canceling statement
// due to user request").
void Postgres::awaitResult() {
    pg_conn* connection = connection_.get();
    bool cancelled = false;
    while (PQisBusy(connection)) {
        pollfd answer{PQsocket(connection), POLLIN, 0};
        if (poll(&answer, 1, 100) == 0 && !cancelled && late_ && late_()) {
            cancelled = true;
            std::unique_ptr<PGcancel, void (*)(PGcancel*)> cancel(PQgetCancel(connection),
                                                                  PQfreeCancel);
            char why[256];
            if (cancel)
                PQcancel(cancel.get(), why, sizeof why);
        }
        if (PQconsumeInput(connection) == 0)
            return; // the connection lost: PQgetResult says so
    }
}

bool Postgres::alive() const {
    return PQstatus(connection_.get()) == CONNECTION_OK;
}

PgTransaction::PgTransaction(Postgres& db, Kind kind) : db_(db) {
    db_.exec(kind == Kind::ReadSnapshot ? "BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY"
                                        : "BEGIN");
}

PgTransaction::~PgTransaction() {
    if (done_ || !db_.alive())
        return;
    try {
        db_.exec("ROLLBACK");
    } catch (const RecordFailed&) {
        // The server drops a transaction whose connection it loses.
    }
}

void PgTransaction::durable() {
    db_.exec("SELECT set_config('synchronous_commit', 'on', true) "
             "WHERE current_setting('synchronous_commit') = 'off'");
}

void PgTransaction::commit() {
    db_.exec("COMMIT");
    done_ = true;
}

} // namespace cli::plant
