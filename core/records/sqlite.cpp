#include "sqlite.h"

#include "core/base/errors.h"

#include <sqlite3.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

namespace cli::records {

namespace {

// The file as an SQLite URI that says nothing changes it while it is read:
// then SQLite needs nothing beside it.
std::string immutable(const std::string& path) {
    std::string uri = "file:";
#if defined(_WIN32)
    if (path.size() > 1 && path[1] == ':')
        uri += "/";
#endif
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte) || std::strchr("/-_.:~", c)) {
            uri += c;
        } else if (c == '\\') {
            uri += "/";
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", byte);
            uri += escaped;
        }
    }
    return uri + "?immutable=1";
}

} // namespace

Database::Database(const std::string& path, Mode mode, int busy) : path_(path), busy_(busy) {
    const int flags =
        (mode == Mode::AsItIs ? SQLITE_OPEN_READONLY | SQLITE_OPEN_URI : SQLITE_OPEN_READWRITE) |
        (mode == Mode::Create ? SQLITE_OPEN_CREATE : 0) | SQLITE_OPEN_NOMUTEX;
    const std::string name = mode == Mode::AsItIs ? immutable(path) : path;
    if (sqlite3_open_v2(name.c_str(), &db_, flags, nullptr) != SQLITE_OK) {
        // A failed open still holds a handle, which no destructor will close:
        // closed here once its reason is taken (a window that tries again and
        // again would leak one a try).
        const std::unique_ptr<sqlite3, int (*)(sqlite3*)> failed(db_, sqlite3_close_v2);
        std::error_code unknown;
        if (mode == Mode::Existing &&
            !std::filesystem::exists(std::filesystem::u8path(path), unknown))
            throw RecordFailed("还没有记录库 " + path + "：selftest --serial 记下第一次自检时建立");
        fail("打不开记录库");
    }
    sqlite3_busy_timeout(db_, busy);
    sqlite3_extended_result_codes(db_, 1);
}

Database::~Database() {
    sqlite3_close_v2(db_);
}

void Database::fail(const std::string& doing) const {
    const char* reason = db_ ? sqlite3_errmsg(db_) : "out of memory";
    const int code = db_ ? sqlite3_errcode(db_) & 0xFF : SQLITE_NOMEM;
    const std::string said = doing + "：" + path_ + "：" + reason;
    if (code == SQLITE_CANTOPEN || code == SQLITE_READONLY || code == SQLITE_PERM)
        throw CannotWrite(said);
    throw RecordFailed(said);
}

void Database::exec(const std::string& sql) {
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK)
        fail("记录库出错");
}

Statement Database::prepare(const std::string& sql) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK)
        fail("记录库出错");
    return Statement(*this, statement);
}

void Database::rollback() noexcept {
    // Where even this fails, SQLite drops the open transaction with the
    // connection: nothing of it reaches the file.
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
}

long Database::changes() const {
    return sqlite3_changes(db_);
}

std::int64_t Database::lastRowId() const {
    return sqlite3_last_insert_rowid(db_);
}

Statement::~Statement() {
    sqlite3_finalize(statement_);
}

Statement& Statement::bind(int index, const std::string& text) {
    if (sqlite3_bind_text(statement_, index, text.data(), static_cast<int>(text.size()),
                          SQLITE_TRANSIENT) != SQLITE_OK)
        db_.fail("记录库出错");
    return *this;
}

Statement& Statement::bind(int index, std::int64_t value) {
    if (sqlite3_bind_int64(statement_, index, value) != SQLITE_OK)
        db_.fail("记录库出错");
    return *this;
}

Statement& Statement::bindAll(const std::vector<std::string>& texts) {
    for (std::size_t i = 0; i < texts.size(); ++i)
        bind(static_cast<int>(i + 1), texts[i]);
    return *this;
}

bool Statement::step() {
    const int result = sqlite3_step(statement_);
    if (result == SQLITE_ROW)
        return true;
    if (result == SQLITE_DONE)
        return false;
    db_.fail("记录库出错");
}

void Statement::run() {
    while (step()) {
    }
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
}

std::string Statement::text(int column) const {
    const auto* text = sqlite3_column_text(statement_, column);
    return text ? std::string(reinterpret_cast<const char*>(text),
                              static_cast<std::size_t>(sqlite3_column_bytes(statement_, column)))
                : std::string();
}

std::optional<std::int64_t> Statement::whole(int column) const {
    if (sqlite3_column_type(statement_, column) != SQLITE_INTEGER)
        return std::nullopt;
    return sqlite3_column_int64(statement_, column);
}

bool Statement::isNull(int column) const {
    return sqlite3_column_type(statement_, column) == SQLITE_NULL;
}

Transaction::Transaction(Database& db) : db_(db) {
    db_.exec("BEGIN IMMEDIATE");
}

Transaction::~Transaction() {
    if (!done_)
        db_.rollback();
}

void Transaction::commit() {
    db_.exec("COMMIT");
    done_ = true;
}

} // namespace cli::records
