// Small RAII wrappers over the SQLite C API, with errors raised as StoreError naming the file.
#pragma once

#include "catalogue/clsDatabase.h"

#include <cstdint>
#include <filesystem>
#include <sqlite3.h>
#include <string>
#include <string_view>

namespace corvelle::sqlite {

/// An open database connection.
class Connection {
public:
    Connection() = default;
    ~Connection() { close(); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    void open(const std::filesystem::path& file, bool create);
    void close() noexcept;
    [[nodiscard]] bool isOpen() const { return m_db != nullptr; }
    [[nodiscard]] sqlite3* handle() const { return m_db; }
    [[nodiscard]] const std::filesystem::path& file() const { return m_file; }

    /// Runs statements that return no rows.
    void execute(std::string_view sql);
    /// A StoreError for the connection's last error, with what was being done.
    [[nodiscard]] StoreError error(std::string_view doing) const;

private:
    sqlite3* m_db = nullptr;
    std::filesystem::path m_file;
};

/// A prepared statement, reset after each use.
class Statement {
public:
    Statement() = default;
    Statement(Connection& connection, std::string_view sql);
    ~Statement();
    Statement(Statement&& other) noexcept;
    Statement& operator=(Statement&& other) noexcept;

    void bind(int index, std::int64_t value);
    /// Binds the exact bytes; an empty text is a zero-length blob, never NULL.
    void bindBytes(int index, std::string_view bytes);
    /// Steps once: true when a row is ready, false when done. Errors raise StoreError.
    bool step();
    /// Steps once and returns the raw SQLite result code (for callers that trap failures).
    int stepRaw();
    void reset() noexcept;

    [[nodiscard]] std::int64_t integer(int column) const;
    [[nodiscard]] std::string bytes(int column) const;
    [[nodiscard]] std::string_view bytesView(int column) const;

private:
    Connection* m_connection = nullptr;
    sqlite3_stmt* m_stmt = nullptr;
};

/// Resets a statement when leaving a scope, whatever the path.
class ResetGuard {
public:
    explicit ResetGuard(Statement& statement)
        : m_statement(statement)
    {}
    ~ResetGuard() { m_statement.reset(); }
    ResetGuard(const ResetGuard&) = delete;
    ResetGuard& operator=(const ResetGuard&) = delete;

private:
    Statement& m_statement;
};

} // namespace corvelle::sqlite
