#include "matching/NameClasses.h"

#include "matching/NameMatching.h"

#include <algorithm>
#include <utility>

namespace corvelle {

SearchCounts& SearchCounts::operator+=(const SearchCounts& other)
{
    visited += other.visited;
    comparedExactly += other.comparedExactly;
    matched += other.matched;
    return *this;
}

NameClasses NameClasses::of(std::span<const std::uint32_t> partitionOf,
                            std::span<const std::uint32_t> nameOf,
                            std::span<const std::uint8_t> grouped,
                            const std::function<PhysicalFile(std::size_t)>& fileOf)
{
    // Sorted by (partition, name, position), each class's members are one run.
    std::vector<std::pair<std::uint64_t, std::uint32_t>> keyed;
    for (std::size_t i = 0; i < partitionOf.size(); ++i) {
        if (partitionOf[i] != kNoClass) {
            keyed.emplace_back(std::uint64_t{partitionOf[i]} << 32 | nameOf[i],
                               static_cast<std::uint32_t>(i));
        }
    }
    std::sort(keyed.begin(), keyed.end());

    NameClasses classes;
    classes.classOf.assign(partitionOf.size(), kNoClass);
    classes.openStart.push_back(0);
    for (std::size_t k = 0; k < keyed.size();) {
        const std::uint64_t key = keyed[k].first;
        const auto c = static_cast<std::uint32_t>(classes.nameOf.size());
        classes.nameOf.push_back(static_cast<std::uint32_t>(key));
        classes.partition.push_back(static_cast<std::uint32_t>(key >> 32));
        classes.first.push_back(keyed[k].second);
        const PhysicalFile firstFile = fileOf(keyed[k].second);
        std::uint32_t openEnd = 0;
        std::uint32_t linkedEnd = 0;
        for (; k < keyed.size() && keyed[k].first == key; ++k) {
            const std::uint32_t position = keyed[k].second;
            classes.classOf[position] = c;
            if (grouped[position] == 0) {
                classes.open.push_back(position);
                openEnd = position + 1;
                if (position != classes.first[c] && firstFile.sameFileAs(fileOf(position))) {
                    linkedEnd = position + 1;
                }
            }
        }
        classes.openEnd.push_back(openEnd);
        classes.linkedEnd.push_back(linkedEnd);
        classes.openStart.push_back(static_cast<std::uint32_t>(classes.open.size()));
    }
    return classes;
}

SimilarClasses::SimilarClasses(const NameClasses& classes, const NameTable& names,
                               std::int32_t matchScore)
    : m_classes(classes)
    , m_names(names)
    , m_matchScore(matchScore)
    , m_needed(names.maxLength(), matchScore)
{
    index();
}

void SimilarClasses::index()
{
    const std::size_t count = m_classes.count();
    const std::uint32_t partitions = count == 0 ? 0 : m_classes.partition.back() + 1;
    m_rank.assign(count, 0);
    m_partitionSize.assign(partitions, 0);
    m_runStart.assign(partitions + 1, 0);
    std::vector<std::uint32_t> order;
    // Classes are numbered partition by partition.
    for (std::uint32_t begin = 0; begin < count;) {
        const std::uint32_t p = m_classes.partition[begin];
        std::uint32_t end = begin;
        while (end < count && m_classes.partition[end] == p) {
            ++end;
        }
        order.resize(end - begin);
        for (std::uint32_t c = begin; c < end; ++c) {
            order[c - begin] = c;
        }
        std::sort(order.begin(), order.end(), [&](std::uint32_t x, std::uint32_t y) {
            return m_classes.first[x] < m_classes.first[y];
        });
        for (std::size_t r = 0; r < order.size(); ++r) {
            m_rank[order[r]] = static_cast<std::uint32_t>(r);
        }
        std::stable_sort(order.begin(), order.end(), [&](std::uint32_t x, std::uint32_t y) {
            return lengthOf(x) < lengthOf(y);
        });
        addRuns(order);
        m_runStart[p + 1] = static_cast<std::uint32_t>(m_runs.size());
        m_partitionSize[p] = end - begin;
        begin = end;
    }
    // A partition without classes has no runs: it ends where the one before it ended.
    for (std::uint32_t p = 0; p < partitions; ++p) {
        if (m_partitionSize[p] == 0) {
            m_runStart[p + 1] = m_runStart[p];
        }
    }
}

/// Adds one run per name length of a partition's classes, given by length and then first.
void SimilarClasses::addRuns(const std::vector<std::uint32_t>& order)
{
    for (std::size_t k = 0; k < order.size();) {
        const std::size_t length = lengthOf(order[k]);
        const auto runBegin = static_cast<std::uint32_t>(m_entries.size());
        for (; k < order.size() && lengthOf(order[k]) == length; ++k) {
            const std::uint32_t c = order[k];
            m_entries.push_back({c, m_classes.first[c], m_classes.openEnd[c]});
            m_signatures.push_back(Signature::of(m_names.text(m_classes.nameOf[c])));
        }
        m_runs.push_back({static_cast<std::uint32_t>(length), runBegin,
                          static_cast<std::uint32_t>(m_entries.size())});
    }
}

std::size_t SimilarClasses::laterClasses(std::uint32_t c) const
{
    return m_partitionSize[m_classes.partition[c]] - 1 - m_rank[c];
}

bool SimilarClasses::matches(std::uint32_t taker, std::uint32_t taken) const
{
    return preparedNameScore(m_names.text(m_classes.nameOf[taker]),
                             m_names.text(m_classes.nameOf[taken])) >= m_matchScore;
}

void SimilarClasses::find(std::uint32_t c, std::vector<ClassMatch>& out, SearchCounts& counts) const
{
    const std::uint32_t p = m_classes.partition[c];
    const std::size_t la = m_names.length(m_classes.nameOf[c]);
    LcsBound lcs;
    lcs.setFirst(m_names.text(m_classes.nameOf[c]));
    for (std::uint32_t r = m_runStart[p]; r < m_runStart[p + 1]; ++r) {
        if (m_needed.feasible(la, m_runs[r].length)) {
            findInRun(c, m_runs[r], lcs, out, counts);
        }
    }
}

void SimilarClasses::findInRun(std::uint32_t c, const LengthRun& run, LcsBound& lcs,
                               std::vector<ClassMatch>& out, SearchCounts& counts) const
{
    const std::uint32_t nameA = m_classes.nameOf[c];
    const std::uint32_t firstA = m_classes.first[c];
    const std::uint32_t needed = m_needed(m_names.length(nameA), run.length);
    const Signature signatureA = Signature::of(m_names.text(nameA));
    const auto later = std::upper_bound(
        m_entries.begin() + run.begin, m_entries.begin() + run.end, firstA,
        [](std::uint32_t first, const Entry& entry) { return first < entry.first; });
    const auto begin = static_cast<std::size_t>(later - m_entries.begin());
    counts.visited += run.end - begin;
    const std::span<const Signature> signatures(m_signatures.data(), run.end);
    for (std::size_t k = nextPossibleMatch(signatures, begin, signatureA, needed); k < run.end;
         k = nextPossibleMatch(signatures, k + 1, signatureA, needed)) {
        const Entry& b = m_entries[k];
        // The later class is taken only when it has an open member after this class's
        // first; this class only when its first head can have left one after the later
        // class's first.
        const bool takesB = b.openEnd > firstA + 1;
        const bool takenByB = m_classes.linkedEnd[c] > b.first + 1;
        const std::uint32_t nameB = m_classes.nameOf[b.cls];
        if ((!takesB && !takenByB) || lcs.with(m_names.text(nameB)) < needed) {
            continue;
        }
        ++counts.comparedExactly;
        if (takesB && matches(c, b.cls)) {
            out.push_back({c, b.cls});
            ++counts.matched;
        }
        if (takenByB && matches(b.cls, c)) {
            out.push_back({b.cls, c});
            ++counts.matched;
        }
    }
}

} // namespace corvelle
