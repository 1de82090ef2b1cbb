// Reads a fuzzer's bytes as the parts of a test case: single bytes for choices, and texts
// that end at a NUL byte (or at the end of the input).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace corvelle::fuzz {

class FuzzInput {
public:
    FuzzInput(const std::uint8_t* data, std::size_t size)
        : m_rest(reinterpret_cast<const char*>(data), size)
    {}

    [[nodiscard]] bool empty() const { return m_rest.empty(); }

    /// The next byte, or 0 at the end.
    std::uint8_t byte()
    {
        if (m_rest.empty()) {
            return 0;
        }
        const auto value = static_cast<std::uint8_t>(m_rest.front());
        m_rest.remove_prefix(1);
        return value;
    }

    /// The bytes up to the next NUL (which is consumed), or all that is left.
    std::string_view text()
    {
        const std::size_t end = m_rest.find('\0');
        const std::string_view part = m_rest.substr(0, end);
        m_rest.remove_prefix(end == std::string_view::npos ? m_rest.size() : end + 1);
        return part;
    }

    /// Everything not read yet.
    std::string_view rest()
    {
        const std::string_view all = m_rest;
        m_rest = {};
        return all;
    }

private:
    std::string_view m_rest;
};

/// A finding: the message goes to stderr and the run stops with a crash libFuzzer records.
[[noreturn]] inline void fail(const char* what)
{
    std::fputs(what, stderr);
    std::fputc('\n', stderr);
    std::abort();
}

inline void check(bool condition, const char* what)
{
    if (!condition) {
        fail(what);
    }
}

} // namespace corvelle::fuzz
