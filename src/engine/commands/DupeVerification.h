// DupeVerification: what Verify Duplicates found for the rows of the duplicate list: each row's
// file identical byte for byte to another listed copy, identical to none, or unreadable or
// changed; and which files are copies of one content (the verified sets), for Select
// Duplicates. Kept by record ID, a few bytes each, so it follows the rows through deletes and
// restores and costs little for a million rows. Rows are never removed or regrouped by it.
#pragma once

#include "actions/Verify.h"
#include "common/Types.h"

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace corvelle {

class GridModel;

enum class VerifyState : std::uint8_t { NotVerified, Identical, NotIdentical, Unreadable, Changed };

/// What one verification found, in numbers.
struct VerifySummary {
    std::size_t groups = 0;         ///< groups in the list
    std::size_t groupsVerified = 0; ///< of those, verified to the end
    std::size_t identical = 0;      ///< rows
    std::size_t notIdentical = 0;
    std::size_t unreadable = 0; ///< unreadable or changed
};

/// "Verified 12 groups: 30 files identical to another copy, 2 identical to none, 1 unreadable
/// or changed", with how far a stopped verification came.
std::string verifySummaryText(const VerifySummary& summary);

class DupeVerification {
public:
    /// Takes the results of verifyGroups over candidateGroups(dupes), made on the list as it is
    /// now. Sets sharing a file are joined: all their files are equal. Groups without a
    /// result (not finished before a stop) stay not verified.
    VerifySummary apply(const GridModel& dupes, std::vector<VerifyResult> results);
    /// Forgets everything: the list was loaded anew or emptied.
    void clear();

    /// Whether a verification has given any row of this list a state.
    [[nodiscard]] bool any() const { return m_any; }
    [[nodiscard]] VerifyState stateOf(RecordId id) const;
    /// The verified set the record's file is in, from 1; 0 for none.
    [[nodiscard]] std::uint32_t setOf(RecordId id) const;
    /// What the state means for a person, with the reason of an unreadable or changed file.
    [[nodiscard]] std::string describe(RecordId id) const;

    /// A restored record came back under a new ID, as the same file.
    void renumber(RecordId from, RecordId to);

private:
    void set(RecordId id, VerifyState state, std::uint32_t verifiedSet);

    std::vector<VerifyState> m_states; // by record ID
    std::vector<std::uint32_t> m_sets; // by record ID
    std::unordered_map<std::int32_t, std::string> m_reasons;
    bool m_any = false;
};

} // namespace corvelle
