#include "matching/NameTable.h"

#include <algorithm>
#include <array>
#include <functional>
#include <unordered_map>
#include <utility>

namespace corvelle {

std::uint32_t NameTable::intern(std::u32string_view name)
{
    if (2 * (size() + 1) > m_slots.size()) {
        grow();
    }
    const std::uint64_t hash = std::hash<std::u32string_view>{}(name);
    const std::size_t slot = slotOf(name, hash);
    if (m_slots[slot] != 0) {
        return m_slots[slot] - 1;
    }
    const auto id = static_cast<std::uint32_t>(size());
    m_chars.insert(m_chars.end(), name.begin(), name.end());
    m_start.push_back(static_cast<std::uint32_t>(m_chars.size()));
    m_hashes.push_back(hash);
    m_slots[slot] = id + 1;
    m_maxLength = std::max(m_maxLength, name.size());
    return id;
}

/// The slot that holds this name, or the free slot where it goes.
std::size_t NameTable::slotOf(std::u32string_view name, std::uint64_t hash) const
{
    const std::size_t mask = m_slots.size() - 1;
    std::size_t slot = hash & mask;
    while (m_slots[slot] != 0) {
        const std::uint32_t id = m_slots[slot] - 1;
        if (m_hashes[id] == hash && text(id) == name) {
            break;
        }
        slot = (slot + 1) & mask;
    }
    return slot;
}

void NameTable::grow()
{
    std::vector<std::uint32_t> slots(std::max<std::size_t>(64, 2 * m_slots.size()), 0);
    const std::size_t mask = slots.size() - 1;
    for (std::uint32_t id = 0; id < size(); ++id) {
        std::size_t slot = m_hashes[id] & mask;
        while (slots[slot] != 0) {
            slot = (slot + 1) & mask;
        }
        slots[slot] = id + 1;
    }
    m_slots = std::move(slots);
}

namespace {

/// Counts of each character: ASCII in an array, the rest in a map.
class CharacterCounts {
public:
    void add(char32_t c)
    {
        if (c < m_ascii.size()) {
            ++m_ascii[c];
        } else {
            ++m_other[c];
        }
    }
    /// (count, character) of every character seen, the most frequent first.
    [[nodiscard]] std::vector<std::pair<std::uint32_t, char32_t>> ranked() const
    {
        std::vector<std::pair<std::uint32_t, char32_t>> all;
        for (std::size_t c = 0; c < m_ascii.size(); ++c) {
            if (m_ascii[c] != 0) {
                all.emplace_back(m_ascii[c], static_cast<char32_t>(c));
            }
        }
        for (const auto& [c, n] : m_other) {
            all.emplace_back(n, c);
        }
        std::sort(all.begin(), all.end(), std::greater<>());
        return all;
    }

private:
    std::array<std::uint32_t, 128> m_ascii{};
    std::unordered_map<char32_t, std::uint32_t> m_other;
};

} // namespace

void NameTable::code()
{
    CharacterCounts counts;
    for (const char32_t c : m_chars) {
        counts.add(c);
    }
    const auto ranked = counts.ranked();
    std::array<std::uint32_t, 128> asciiCode{};
    std::unordered_map<char32_t, std::uint32_t> otherCode;
    for (std::size_t k = 0; k < ranked.size(); ++k) {
        const char32_t c = ranked[k].second;
        if (c < asciiCode.size()) {
            asciiCode[c] = static_cast<std::uint32_t>(k);
        } else {
            otherCode.emplace(c, static_cast<std::uint32_t>(k));
        }
    }
    for (char32_t& c : m_chars) {
        c = static_cast<char32_t>(c < asciiCode.size() ? asciiCode[c] : otherCode.at(c));
    }
    m_codeCount = ranked.size();

    m_slots = {};
    m_hashes = {};
}

} // namespace corvelle
