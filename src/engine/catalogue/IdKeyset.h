// IdKeyset: the cursor's ordered set of record IDs. IDs only ever arrive in increasing order,
// so a sorted array serves: lookups are a binary search, deletions leave a tombstone that a
// later compaction sweeps away.
#pragma once

#include "common/Types.h"

#include <cstddef>
#include <vector>

namespace corvelle {

class IdKeyset {
public:
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

    [[nodiscard]] std::size_t size() const { return m_ids.size() - m_dead; }
    [[nodiscard]] bool empty() const { return size() == 0; }
    [[nodiscard]] RecordId at(std::size_t index) const { return m_ids[index]; }

    void clear();
    /// Adds an ID greater than every ID held; returns its index.
    std::size_t append(RecordId id);
    /// Index of a live ID, or npos.
    [[nodiscard]] std::size_t find(RecordId id) const;
    /// Removes an ID if present. Indexes held before the call are no longer valid.
    void erase(RecordId id);

    [[nodiscard]] std::size_t first() const { return nextLive(0); }
    [[nodiscard]] std::size_t next(std::size_t index) const { return nextLive(index + 1); }
    [[nodiscard]] std::size_t last() const;
    /// Index of the first live ID greater than id, or npos.
    [[nodiscard]] std::size_t after(RecordId id) const;

private:
    [[nodiscard]] std::size_t nextLive(std::size_t from) const;
    void compact();

    std::vector<RecordId> m_ids;
    std::vector<bool> m_isDead;
    std::size_t m_dead = 0;
};

} // namespace corvelle
