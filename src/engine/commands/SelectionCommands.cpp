#include "commands/SelectionCommands.h"

#include "catalogue/clsDatabase.h"
#include "commands/DupeVerification.h"
#include "commands/ProtectedFolders.h"
#include "controls/GridModel.h"
#include "controls/ListColumns.h"

#include <algorithm>
#include <map>
#include <unordered_map>

namespace corvelle {
namespace {

using Kind = KeepRule::Kind;

/// One physical file of the list: the rows naming it, and what the rules need of it.
struct ListedFile {
    std::vector<int> rows; ///< ascending
    std::int64_t mtimeNs = 0;
    bool missing = false;     ///< could not be examined: never kept
    bool untouchable = false; ///< in a protected folder or a Trash: never selected
    enum class Decision : std::uint8_t { Open, Kept, Selected } decision = Decision::Open;
};

struct IdentityHash {
    std::size_t operator()(const PhysicalFile& file) const noexcept
    {
        return std::hash<std::uint64_t>{}(file.inode * 0x9E3779B97F4A7C15ull ^ file.device);
    }
};

/// The list's physical files, and which one each row names.
struct ListedFiles {
    std::vector<ListedFile> files;
    std::vector<std::size_t> ofRow; ///< by row (0 unused)
    std::vector<std::string> paths; ///< by row (0 unused)
};

ListedFiles listedFiles(const GridModel& dupes, clsDatabase& catalogue)
{
    ListedFiles listed;
    const auto rows = static_cast<std::size_t>(dupes.RowCount());
    std::vector<RecordId> ids;
    ids.reserve(rows);
    for (int row = 1; row < dupes.RowCount(); ++row) {
        ids.push_back(dupes.recordIdAt(row));
    }
    // Records of one physical file (hard links, one file reached twice) are one file; a
    // record without an identity is a file of its own.
    const std::vector<PhysicalFile> identities = catalogue.physicalFilesOf(ids);
    std::unordered_map<PhysicalFile, std::size_t, IdentityHash> byIdentity;
    std::unordered_map<std::int32_t, std::size_t> byRecord;
    listed.ofRow.assign(rows, 0);
    listed.paths.resize(rows);
    for (std::size_t r = 1; r < rows; ++r) {
        const PhysicalFile identity = identities[r - 1];
        const std::size_t next = listed.files.size();
        const std::size_t file = identity.known()
                                     ? byIdentity.try_emplace(identity, next).first->second
                                     : byRecord.try_emplace(ids[r - 1].value(), next).first->second;
        if (file == next) {
            listed.files.emplace_back();
        }
        listed.ofRow[r] = file;
        listed.files[file].rows.push_back(static_cast<int>(r));
        listed.paths[r] = dupeRowPath(dupes, static_cast<int>(r));
    }
    return listed;
}

/// The files of each unit the rule chooses within, in list order: without a verification
/// every group; after one, every verified set, and the groups not verified.
std::vector<std::vector<std::size_t>> selectionUnits(const GridModel& dupes,
                                                     const ListedFiles& listed,
                                                     const DupeVerification& verification)
{
    std::vector<std::pair<int, std::vector<std::size_t>>> units; // first row, files
    std::map<std::uint32_t, std::size_t> unitOfSet;
    const auto addFile = [&](std::vector<std::size_t>& unit, int row) {
        const std::size_t file = listed.ofRow[static_cast<std::size_t>(row)];
        if (std::find(unit.begin(), unit.end(), file) == unit.end()) {
            unit.push_back(file);
        }
    };
    for (int row = 1; row < dupes.RowCount();) {
        const RowRange group = groupRowsOf(dupes, row);
        row = group.end;
        bool verified = false;
        for (int r = group.first; r < group.end && !verified; ++r) {
            verified = verification.stateOf(dupes.recordIdAt(r)) != VerifyState::NotVerified;
        }
        if (!verified) {
            units.emplace_back(group.first, std::vector<std::size_t>{});
            for (int r = group.first; r < group.end; ++r) {
                addFile(units.back().second, r);
            }
            continue;
        }
        for (int r = group.first; r < group.end; ++r) {
            const std::uint32_t set = verification.setOf(dupes.recordIdAt(r));
            if (set == 0) {
                continue; // identical to none, or unreadable: never a copy to delete
            }
            const auto [at, added] = unitOfSet.try_emplace(set, units.size());
            if (added) {
                units.emplace_back(r, std::vector<std::size_t>{});
            }
            addFile(units[at->second].second, r);
        }
    }
    std::stable_sort(units.begin(), units.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::vector<std::size_t>> out;
    out.reserve(units.size());
    for (auto& [first, files] : units) {
        out.push_back(std::move(files));
    }
    return out;
}

/// What the rule looks at of the unit's files that may be kept: those not selected already,
/// unless `evenSelected`.
std::vector<KeepCandidate> candidatesOf(const std::vector<std::size_t>& unit,
                                        const ListedFiles& listed,
                                        std::vector<std::size_t>& candidateFiles,
                                        bool evenSelected = false)
{
    std::vector<KeepCandidate> candidates;
    candidateFiles.clear();
    for (const std::size_t f : unit) {
        const ListedFile& file = listed.files[f];
        if (file.missing || (!evenSelected && file.decision == ListedFile::Decision::Selected)) {
            continue;
        }
        KeepCandidate candidate;
        for (const int row : file.rows) {
            candidate.paths.push_back({row, listed.paths[static_cast<std::size_t>(row)]});
        }
        candidate.mtimeNs = file.mtimeNs;
        candidates.push_back(std::move(candidate));
        candidateFiles.push_back(f);
    }
    return candidates;
}

/// What the rules need of each file beyond the catalogue: when it was last modified (only
/// for the rules on time, since examining every file costs), whether it may be selected.
void examine(ListedFiles& listed, const KeepRule& rule, const ProtectedFolders& protectedFolders,
             FilePlaces& places)
{
    const bool byTime = rule.kind == Kind::Oldest || rule.kind == Kind::Newest;
    for (ListedFile& file : listed.files) {
        for (const int row : file.rows) {
            const std::string& path = listed.paths[static_cast<std::size_t>(row)];
            file.untouchable =
                file.untouchable || places.isInTrash(path) ||
                (!protectedFolders.empty() && protectedFolders.protects(path, places));
        }
        if (byTime) {
            const std::optional<PathStatus> status =
                statusOf(listed.paths[static_cast<std::size_t>(file.rows.front())]);
            file.missing = !status;
            file.mtimeNs = status ? status->mtimeNs : 0;
        }
    }
}

} // namespace

std::string selectionStatusText(const SelectionReport& report)
{
    std::string text = std::to_string(report.selected) +
                       (report.selected == 1 ? " file selected in " : " files selected in ") +
                       std::to_string(report.groups) + (report.groups == 1 ? " group" : " groups");
    if (report.leftAlone > 0) {
        text += "; " + std::to_string(report.leftAlone) +
                (report.leftAlone == 1 ? " group left alone: " : " groups left alone: ") +
                report.leftAloneWhy;
    }
    return text;
}

SelectionCommands::SelectionCommands(clsDatabase& catalogue, GridModel& dupes,
                                     const ProtectedFolders& protectedFolders,
                                     const DupeVerification& verification)
    : m_catalogue(catalogue)
    , m_dupes(dupes)
    , m_protected(protectedFolders)
    , m_verification(verification)
{}

SelectionReport SelectionCommands::SelectDuplicates(const KeepRule& rule, FilePlaces& places)
{
    using Decision = ListedFile::Decision;
    SelectionReport report;
    ListedFiles listed = listedFiles(m_dupes, m_catalogue);
    examine(listed, rule, m_protected, places);
    const std::vector<KeepRule> rules{rule};
    std::vector<std::size_t> candidateFiles;
    // A file kept for one unit is never selected for another: a file in two groups (a chain
    // of names, a hard link) keeps what it was first decided.
    for (const std::vector<std::size_t>& unit : selectionUnits(m_dupes, listed, m_verification)) {
        const std::vector<KeepCandidate> candidates = candidatesOf(unit, listed, candidateFiles);
        const KeepChoice choice = chooseKept(candidates, rules, places);
        if (!choice.kept) {
            if (choice.refused && report.leftAlone++ == 0) {
                report.leftAloneWhy = choice.reason;
            }
            continue;
        }
        listed.files[candidateFiles[*choice.kept]].decision = Decision::Kept;
        for (const std::size_t f : unit) {
            ListedFile& file = listed.files[f];
            if (file.decision == Decision::Open && !file.untouchable && !file.missing) {
                file.decision = Decision::Selected;
            }
        }
    }
    // A group whose files were all selected for other groups keeps one after all.
    for (int row = 1; row < m_dupes.RowCount();) {
        const RowRange group = groupRowsOf(m_dupes, row);
        row = group.end;
        std::vector<std::size_t> unit;
        bool keepsOne = false;
        for (int r = group.first; r < group.end; ++r) {
            const std::size_t f = listed.ofRow[static_cast<std::size_t>(r)];
            keepsOne = keepsOne || listed.files[f].decision != Decision::Selected;
            unit.push_back(f);
        }
        if (keepsOne) {
            continue;
        }
        const KeepChoice choice =
            chooseKept(candidatesOf(unit, listed, candidateFiles, true), rules, places);
        const bool chosen = choice.kept && *choice.kept < candidateFiles.size();
        listed.files[chosen ? candidateFiles[*choice.kept] : unit.front()].decision =
            Decision::Kept;
    }
    std::vector<int> rows;
    std::int32_t lastGroup = 0;
    for (int row = 1; row < m_dupes.RowCount(); ++row) {
        if (listed.files[listed.ofRow[static_cast<std::size_t>(row)]].decision ==
            Decision::Selected) {
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
