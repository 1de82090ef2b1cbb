// MatchReasons: why two rows of the duplicate list are there together. The grouping paired each
// group's head (its first row) with every later row of the group; for the current row the line
// names the row it was paired with and the outcome of each test the dedupe had ticked, from the
// catalogue's records and the settings of that dedupe, never from the cells' text.
#pragma once

#include "common/DedupeSettings.h"
#include "common/Types.h"

#include <optional>
#include <string>
#include <vector>

namespace corvelle {

class DupeVerification;
class GridModel;
class clsDatabase;

class MatchReasons {
public:
    /// A dedupe with these settings has just loaded the list.
    void listLoaded(const GridModel& dupes, const DedupeSettings& settings);
    /// The list was emptied: nothing is explained any more.
    void clear();
    /// A restored record came back under a new ID.
    void renumber(RecordId from, RecordId to);

    /// One line for the row: "Paired with '…': name 86% ("REPORT" / "REPORT"), extension
    /// equal, size equal, CRC of the first 1 MB equal; identical byte for byte to another
    /// copy". Empty for no row, or a list no dedupe of this run loaded.
    [[nodiscard]] std::string explain(int row, const GridModel& dupes, clsDatabase& catalogue,
                                      const DupeVerification& verification) const;

private:
    /// The row of the group the row was paired with, or -1 when that row is no longer listed.
    [[nodiscard]] int partnerRow(int row, const GridModel& dupes) const;
    [[nodiscard]] std::string outcomes(clsDatabase& catalogue, RecordId a, RecordId b) const;

    std::optional<DedupeSettings> m_settings;
    std::vector<RecordId> m_heads; ///< by group number (0 unused)
};

} // namespace corvelle
