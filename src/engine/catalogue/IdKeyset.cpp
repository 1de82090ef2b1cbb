#include "catalogue/IdKeyset.h"

#include <algorithm>
#include <cassert>

namespace corvelle {

void IdKeyset::clear()
{
    m_ids.clear();
    m_isDead.clear();
    m_dead = 0;
}

std::size_t IdKeyset::append(RecordId id)
{
    assert(m_ids.empty() || id > m_ids.back());
    m_ids.push_back(id);
    m_isDead.push_back(false);
    return m_ids.size() - 1;
}

std::size_t IdKeyset::find(RecordId id) const
{
    const auto at = std::lower_bound(m_ids.begin(), m_ids.end(), id);
    if (at == m_ids.end() || *at != id) {
        return npos;
    }
    const auto index = static_cast<std::size_t>(at - m_ids.begin());
    return m_isDead[index] ? npos : index;
}

void IdKeyset::erase(RecordId id)
{
    const std::size_t index = find(id);
    if (index == npos) {
        return;
    }
    m_isDead[index] = true;
    ++m_dead;
    // Sweep once the dead outnumber an eighth of the array: each sweep costs O(n) and comes
    // after n/8 deletions, so a deletion costs O(1) on average.
    if (m_dead > 64 && m_dead * 8 > m_ids.size()) {
        compact();
    }
}

std::size_t IdKeyset::last() const
{
    for (std::size_t i = m_ids.size(); i-- > 0;) {
        if (!m_isDead[i]) {
            return i;
        }
    }
    return npos;
}

std::size_t IdKeyset::after(RecordId id) const
{
    const auto at = std::upper_bound(m_ids.begin(), m_ids.end(), id);
    return nextLive(static_cast<std::size_t>(at - m_ids.begin()));
}

std::size_t IdKeyset::nextLive(std::size_t from) const
{
    for (std::size_t i = from; i < m_ids.size(); ++i) {
        if (!m_isDead[i]) {
            return i;
        }
    }
    return npos;
}

void IdKeyset::compact()
{
    std::size_t out = 0;
    for (std::size_t i = 0; i < m_ids.size(); ++i) {
        if (!m_isDead[i]) {
            m_ids[out++] = m_ids[i];
        }
    }
    m_ids.resize(out);
    m_isDead.assign(out, false);
    m_dead = 0;
}

} // namespace corvelle
