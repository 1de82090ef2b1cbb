#include "catalogue/Sqlite.h"

#include <utility>

namespace corvelle::sqlite {

void Connection::open(const std::filesystem::path& file, bool create)
{
    close();
    m_file = file;
    const int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0) |
                      SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_EXRESCODE;
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(file.c_str(), &db, flags, nullptr);
    m_db = db;
    if (rc != SQLITE_OK) {
        StoreError failure = error(create ? "creating" : "opening");
        close();
        throw failure;
    }
}

void Connection::close() noexcept
{
    if (m_db != nullptr) {
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
}

void Connection::execute(std::string_view sql)
{
    const std::string text(sql);
    if (sqlite3_exec(m_db, text.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
        throw error("running \"" + text + "\" on");
    }
}

StoreError Connection::error(std::string_view doing) const
{
    const char* reason = m_db != nullptr ? sqlite3_errmsg(m_db) : "out of memory";
    return StoreError("Catalogue error " + std::string(doing) + " '" + m_file.string() +
                      "': " + reason);
}

Statement::Statement(Connection& connection, std::string_view sql)
    : m_connection(&connection)
{
    if (sqlite3_prepare_v3(connection.handle(), sql.data(), static_cast<int>(sql.size()),
                           SQLITE_PREPARE_PERSISTENT, &m_stmt, nullptr) != SQLITE_OK) {
        throw connection.error("preparing \"" + std::string(sql) + "\" on");
    }
}

Statement::~Statement()
{
    sqlite3_finalize(m_stmt);
}

Statement::Statement(Statement&& other) noexcept
    : m_connection(std::exchange(other.m_connection, nullptr))
    , m_stmt(std::exchange(other.m_stmt, nullptr))
{}

Statement& Statement::operator=(Statement&& other) noexcept
{
    if (this != &other) {
        sqlite3_finalize(m_stmt);
        m_connection = std::exchange(other.m_connection, nullptr);
        m_stmt = std::exchange(other.m_stmt, nullptr);
    }
    return *this;
}

void Statement::bind(int index, std::int64_t value)
{
    if (sqlite3_bind_int64(m_stmt, index, value) != SQLITE_OK) {
        throw m_connection->error("binding a value on");
    }
}

void Statement::bindBytes(int index, std::string_view bytes)
{
    const int rc = bytes.empty() ? sqlite3_bind_zeroblob(m_stmt, index, 0)
                                 : sqlite3_bind_blob64(m_stmt, index, bytes.data(), bytes.size(),
                                                       SQLITE_STATIC);
    if (rc != SQLITE_OK) {
        throw m_connection->error("binding a text on");
    }
}

bool Statement::step()
{
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW) {
        return true;
    }
    if (rc == SQLITE_DONE) {
        return false;
    }
    StoreError failure = m_connection->error("reading or writing");
    reset();
    throw failure;
}

int Statement::stepRaw()
{
    return sqlite3_step(m_stmt);
}

void Statement::reset() noexcept
{
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
}

std::int64_t Statement::integer(int column) const
{
    return sqlite3_column_int64(m_stmt, column);
}

std::string_view Statement::bytesView(int column) const
{
    const void* data = sqlite3_column_blob(m_stmt, column);
    const int size = sqlite3_column_bytes(m_stmt, column);
    if (data == nullptr || size <= 0) {
        return {};
    }
    return {static_cast<const char*>(data), static_cast<std::size_t>(size)};
}

std::string Statement::bytes(int column) const
{
    return std::string(bytesView(column));
}

} // namespace corvelle::sqlite
