// The distinct prepared names of a by-name grouping, each kept once. Records with equal names
// share an id, so a name is compared once for all of them. Once every name is in, the
// characters are replaced by codes ranked by frequency: comparisons only ask whether two
// characters are equal, which codes answer as the characters did, and the signatures of the
// bounds give the most frequent characters a slot each.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace corvelle {

class NameTable {
public:
    /// The id of this name: the same for an equal name, the next free one for a new name.
    std::uint32_t intern(std::u32string_view name);

    /// Replaces the characters by codes from 0, the most frequent first. No name may be
    /// added afterwards.
    void code();

    [[nodiscard]] std::size_t size() const { return m_start.size() - 1; }
    /// The coded name (after code()).
    [[nodiscard]] std::u32string_view text(std::uint32_t id) const
    {
        return {m_chars.data() + m_start[id], m_start[id + 1] - m_start[id]};
    }
    [[nodiscard]] std::size_t length(std::uint32_t id) const
    {
        return m_start[id + 1] - m_start[id];
    }
    [[nodiscard]] std::size_t maxLength() const { return m_maxLength; }
    /// Codes run from 0 to codeCount() - 1.
    [[nodiscard]] std::size_t codeCount() const { return m_codeCount; }

private:
    void grow();
    [[nodiscard]] std::size_t slotOf(std::u32string_view name, std::uint64_t hash) const;

    std::vector<char32_t> m_chars;         // every name, one after the other
    std::vector<std::uint32_t> m_start{0}; // name id: m_chars[m_start[id] .. m_start[id + 1])
    std::vector<std::uint64_t> m_hashes;   // by name id
    std::vector<std::uint32_t> m_slots;    // open addressing: name id + 1, 0 when free
    std::size_t m_maxLength = 0;
    std::size_t m_codeCount = 0;
};

} // namespace corvelle
