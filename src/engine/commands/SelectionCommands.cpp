#include "commands/SelectionCommands.h"

#include "commands/DupeVerification.h"
#include "commands/ProtectedFolders.h"
#include "common/TextParts.h"
#include "common/WorkerPool.h"
#include "controls/GridModel.h"
#include "controls/ListColumns.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <span>
#include <unordered_map>

namespace corvelle {
namespace {

using Kind = KeepRule::Kind;

enum class Decision : std::uint8_t { Open, Kept, Selected };

/// One physical file of the list: what the rules need of it, and what was decided.
struct ListedFile {
    std::uint32_t firstRow = 0; ///< where its rows start in ListedFiles' rows
    std::uint32_t rowCount = 0;
    std::int64_t mtimeNs = 0;
    bool missing = false;     ///< could not be examined: never kept
    bool untouchable = false; ///< in a protected folder or a Trash: never selected
    Decision decision = Decision::Open;
};

/// The list's physical files: which one each row names, the rows of each (ascending), and
/// every row's path, all kept back to back rather than one allocation per row.
class ListedFiles {
public:
    explicit ListedFiles(const GridModel& dupes);

    std::vector<ListedFile> files;

    [[nodiscard]] std::uint32_t fileOf(int row) const
    {
        return m_fileOfRow[static_cast<std::size_t>(row)];
    }
    [[nodiscard]] std::span<const int> rowsOf(const ListedFile& file) const
    {
        return std::span<const int>(m_rows).subspan(file.firstRow, file.rowCount);
    }
    [[nodiscard]] std::string_view pathOf(int row) const
    {
        const auto r = static_cast<std::size_t>(row);
        return std::string_view(m_paths).substr(m_pathEnds[r - 1],
                                                m_pathEnds[r] - m_pathEnds[r - 1]);
    }

private:
    std::vector<std::uint32_t> m_fileOfRow; ///< by row (0 unused)
    std::vector<int> m_rows;                ///< the rows of each file, file after file
    std::string m_paths;                    ///< every row's path, row after row
    std::vector<std::size_t> m_pathEnds;    ///< by row: where its path ends (0 for row 0)
};

ListedFiles::ListedFiles(const GridModel& dupes)
{
    const auto rows = static_cast<std::size_t>(dupes.RowCount());
    m_pathEnds.assign(rows, 0);
    m_paths.reserve(rows * 64);
    // Records of one physical file (hard links, one file reached twice) are one file; a
    // record without an identity is a file of its own. Sorting rows by file gathers them.
    struct Key {
        std::uint64_t device;
        std::uint64_t inode;
        std::int32_t unknownId; ///< the record's, when the identity is unknown
        int row;
        auto operator<=>(const Key&) const = default;
        [[nodiscard]] bool sameFileAs(const Key& other) const
        {
            return device == other.device && inode == other.inode && unknownId == other.unknownId;
        }
    };
    std::vector<Key> keys;
    keys.reserve(rows);
    for (int row = 1; row < static_cast<int>(rows); ++row) {
        const RowRecord& record = dupes.recordAt(row);
        const PhysicalFile& identity = record.identity;
        const bool known = identity.known();
        keys.push_back({known ? identity.device : 0, known ? identity.inode : 0,
                        known ? 0 : record.id.value(), row});
        appendDupeRowPath(dupes, row, m_paths);
        m_pathEnds[static_cast<std::size_t>(row)] = m_paths.size();
    }
    std::sort(keys.begin(), keys.end());
    m_fileOfRow.assign(rows, 0);
    m_rows.reserve(keys.size());
    for (std::size_t k = 0; k < keys.size(); ++k) {
        if (k == 0 || !keys[k].sameFileAs(keys[k - 1])) {
            files.push_back({static_cast<std::uint32_t>(m_rows.size()), 0});
        }
        ++files.back().rowCount;
        m_rows.push_back(keys[k].row);
        m_fileOfRow[static_cast<std::size_t>(keys[k].row)] =
            static_cast<std::uint32_t>(files.size() - 1);
    }
}

/// The files of each unit the rule chooses within, unit after unit in list order, each file
/// once in a unit: without a verification every group; after one, every verified set, and
/// the groups not verified.
class SelectionUnits {
public:
    SelectionUnits(const GridModel& dupes, const ListedFiles& listed,
                   const DupeVerification& verification);

    [[nodiscard]] std::size_t size() const { return m_ends.size(); }
    [[nodiscard]] std::span<const std::uint32_t> operator[](std::size_t unit) const
    {
        const std::size_t begin = unit == 0 ? 0 : m_ends[unit - 1];
        return std::span<const std::uint32_t>(m_files).subspan(begin, m_ends[unit] - begin);
    }

private:
    std::vector<std::uint32_t> m_files;
    std::vector<std::size_t> m_ends;
};

SelectionUnits::SelectionUnits(const GridModel& dupes, const ListedFiles& listed,
                               const DupeVerification& verification)
{
    // Each unit is numbered at its first row, so numbers follow the list.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> fileOfUnit; // unit, file
    std::unordered_map<std::uint32_t, std::uint32_t> unitOfSet;
    std::uint32_t units = 0;
    for (int row = 1; row < dupes.RowCount();) {
        const RowRange group = groupRowsOf(dupes, row);
        row = group.end;
        bool verified = false;
        for (int r = group.first; r < group.end && !verified; ++r) {
            verified = verification.stateOf(dupes.recordIdAt(r)) != VerifyState::NotVerified;
        }
        const std::uint32_t groupUnit = verified ? 0 : units++;
        for (int r = group.first; r < group.end; ++r) {
            if (!verified) {
                fileOfUnit.emplace_back(groupUnit, listed.fileOf(r));
                continue;
            }
            const std::uint32_t set = verification.setOf(dupes.recordIdAt(r));
            if (set == 0) {
                continue; // identical to none, or unreadable: never a copy to delete
            }
            const auto [at, added] = unitOfSet.try_emplace(set, units);
            units += added ? 1 : 0;
            fileOfUnit.emplace_back(at->second, listed.fileOf(r));
        }
    }
    // A verified set may take files from later groups.
    std::stable_sort(fileOfUnit.begin(), fileOfUnit.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::uint32_t> lastUnitOf(listed.files.size(), UINT32_MAX);
    m_files.reserve(fileOfUnit.size());
    m_ends.assign(units, 0);
    for (const auto& [unit, file] : fileOfUnit) {
        if (lastUnitOf[file] != unit) {
            lastUnitOf[file] = unit;
            m_files.push_back(file);
        }
        m_ends[unit] = m_files.size();
    }
}

/// What the rule looks at of a unit's files that may be kept, in room kept from one unit to
/// the next (a list of a million rows would otherwise allocate millions of times).
class Candidates {
public:
    /// The unit's files that are not missing, and not selected already unless `evenSelected`.
    std::span<const KeepCandidate> of(std::span<const std::uint32_t> unit,
                                      const ListedFiles& listed, bool evenSelected = false)
    {
        m_files.clear();
        for (const std::uint32_t f : unit) {
            const ListedFile& file = listed.files[f];
            if (file.missing || (!evenSelected && file.decision == Decision::Selected)) {
                continue;
            }
            if (m_files.size() == m_candidates.size()) {
                m_candidates.emplace_back();
            }
            KeepCandidate& candidate = m_candidates[m_files.size()];
            const std::span<const int> rows = listed.rowsOf(file);
            candidate.paths.resize(rows.size());
            for (std::size_t k = 0; k < rows.size(); ++k) {
                candidate.paths[k].row = rows[k];
                candidate.paths[k].path.assign(listed.pathOf(rows[k]));
            }
            candidate.mtimeNs = file.mtimeNs;
            m_files.push_back(f);
        }
        return std::span<const KeepCandidate>(m_candidates).first(m_files.size());
    }
    /// The file of a candidate of the last call.
    [[nodiscard]] std::uint32_t fileOf(std::size_t candidate) const { return m_files[candidate]; }

private:
    std::vector<KeepCandidate> m_candidates;
    std::vector<std::uint32_t> m_files;
};

/// When each file was last modified; a file that cannot be examined is missing. Asked on
/// several threads at once: a look at a file costs microseconds from the cache and far more
/// from the disk, which answers many at once sooner than one after another.
void readModificationTimes(ListedFiles& listed)
{
    constexpr std::size_t kFilesPerTask = 1024;
    WorkerPool pool(std::max(8u, std::thread::hardware_concurrency()));
    const std::size_t files = listed.files.size();
    pool.forEach((files + kFilesPerTask - 1) / kFilesPerTask, [&](std::size_t task) {
        const std::size_t end = std::min(files, (task + 1) * kFilesPerTask);
        for (std::size_t f = task * kFilesPerTask; f < end; ++f) {
            ListedFile& file = listed.files[f];
            const std::optional<PathStatus> status =
                statusOf(listed.pathOf(listed.rowsOf(file).front()));
            file.missing = !status;
            file.mtimeNs = status ? status->mtimeNs : 0;
        }
    });
}

/// What the rules need of each file beyond the list: whether it may be selected, and when it
/// was last modified (only for the rules on time, since examining every file costs).
void examine(ListedFiles& listed, const KeepRule& rule, const ProtectedFolders& protectedFolders,
             FilePlaces& places)
{
    for (ListedFile& file : listed.files) {
        for (const int row : listed.rowsOf(file)) {
            const std::string_view path = listed.pathOf(row);
            file.untouchable =
                file.untouchable || places.isInTrash(path) ||
                (!protectedFolders.empty() && protectedFolders.protects(path, places));
        }
    }
    if (rule.kind == Kind::Oldest || rule.kind == Kind::Newest) {
        readModificationTimes(listed);
    }
}

/// A group whose files were all selected for other groups keeps one after all.
void keepOneInEveryGroup(const GridModel& dupes, ListedFiles& listed,
                         const std::vector<KeepRule>& rules, FilePlaces& places)
{
    Candidates candidates;
    std::vector<std::uint32_t> unit;
    for (int row = 1; row < dupes.RowCount();) {
        const RowRange group = groupRowsOf(dupes, row);
        row = group.end;
        unit.clear();
        bool keepsOne = false;
        for (int r = group.first; r < group.end; ++r) {
            const std::uint32_t f = listed.fileOf(r);
            keepsOne = keepsOne || listed.files[f].decision != Decision::Selected;
            unit.push_back(f);
        }
        if (keepsOne) {
            continue;
        }
        const std::span<const KeepCandidate> all = candidates.of(unit, listed, true);
        const KeepChoice choice = chooseKept(all, rules, places);
        const bool chosen = choice.kept && *choice.kept < all.size();
        listed.files[chosen ? candidates.fileOf(*choice.kept) : unit.front()].decision =
            Decision::Kept;
    }
}

} // namespace

std::string selectionStatusText(const SelectionReport& report)
{
    std::string text = countOf(static_cast<std::int64_t>(report.selected), "file") +
                       " selected in " + countOf(static_cast<std::int64_t>(report.groups), "group");
    if (report.leftAlone > 0) {
        text += "; " + countOf(static_cast<std::int64_t>(report.leftAlone), "group") +
                " left alone: " + report.leftAloneWhy;
    }
    return text;
}

SelectionCommands::SelectionCommands(GridModel& dupes, const ProtectedFolders& protectedFolders,
                                     const DupeVerification& verification)
    : m_dupes(dupes)
    , m_protected(protectedFolders)
    , m_verification(verification)
{}

SelectionReport SelectionCommands::SelectDuplicates(const KeepRule& rule, FilePlaces& places)
{
    SelectionReport report;
    ListedFiles listed(m_dupes);
    examine(listed, rule, m_protected, places);
    const std::vector<KeepRule> rules{rule};
    Candidates candidates;
    // A file kept for one unit is never selected for another: a file in two groups (a chain
    // of names, a hard link) keeps what it was first decided.
    const SelectionUnits units(m_dupes, listed, m_verification);
    for (std::size_t u = 0; u < units.size(); ++u) {
        const KeepChoice choice = chooseKept(candidates.of(units[u], listed), rules, places);
        if (!choice.kept) {
            if (choice.refused && report.leftAlone++ == 0) {
                report.leftAloneWhy = choice.reason;
            }
            continue;
        }
        listed.files[candidates.fileOf(*choice.kept)].decision = Decision::Kept;
        for (const std::uint32_t f : units[u]) {
            ListedFile& file = listed.files[f];
            if (file.decision == Decision::Open && !file.untouchable && !file.missing) {
                file.decision = Decision::Selected;
            }
        }
    }
    keepOneInEveryGroup(m_dupes, listed, rules, places);
    std::vector<int> rows;
    std::int32_t lastGroup = 0;
    for (int row = 1; row < m_dupes.RowCount(); ++row) {
        if (listed.files[listed.fileOf(row)].decision == Decision::Selected) {
            rows.push_back(row);
            const std::int32_t group = m_dupes.recordAt(row).group;
            report.groups += group != lastGroup ? 1 : 0;
            lastGroup = group;
        }
    }
    report.selected = rows.size();
    m_dupes.setSelection(std::move(rows));
    return report;
}

void SelectionCommands::SelectNone()
{
    m_dupes.ClearSelection();
}

void SelectionCommands::InvertWithinGroups()
{
    std::vector<int> rows;
    for (int row = 1; row < m_dupes.RowCount();) {
        const RowRange group = groupRowsOf(m_dupes, row);
        row = group.end;
        bool any = false;
        for (int r = group.first; r < group.end && !any; ++r) {
            any = m_dupes.IsSelected(r);
        }
        for (int r = group.first; any && r < group.end; ++r) {
            if (!m_dupes.IsSelected(r)) {
                rows.push_back(r);
            }
        }
    }
    m_dupes.setSelection(std::move(rows));
}

} // namespace corvelle
