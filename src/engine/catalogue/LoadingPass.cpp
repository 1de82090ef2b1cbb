// The loading pass: the pair file becomes numbered, shaded groups in the duplicate grid.
#include "catalogue/DatabaseImpl.h"
#include "common/PosixFile.h"
#include "controls/GridModel.h"
#include "controls/ListColumns.h"

#include <algorithm>
#include <fcntl.h>
#include <optional>
#include <string>
#include <unordered_map>

namespace corvelle {
namespace {

constexpr Color kBlueShade = 16707305; // red 233, green 238, blue 254
constexpr Color kRoseShade = 15330558; // red 254, green 236, blue 233

std::vector<DupePair> readPairs(const std::filesystem::path& file)
{
    UniqueFd fd = openFile(file, O_RDONLY);
    std::vector<DupePair> pairs;
    std::string buffer(kDupePairSize * 65536, '\0');
    while (true) {
        const std::size_t got = readFully(fd.get(), buffer.data(), buffer.size(), file);
        for (std::size_t at = 0; at + kDupePairSize <= got; at += kDupePairSize) {
            pairs.push_back({RecordId{getInt32(buffer.data() + at)},
                             RecordId{getInt32(buffer.data() + at + 4)}});
        }
        if (got < buffer.size()) {
            break; // a trailing partial pair is no pair
        }
    }
    closeFile(fd, file);
    return pairs;
}

/// A record as its row shows it, and the file it was made from.
struct FoundRecord {
    RecordCells cells;
    PhysicalFile identity;
};

/// The records the pairs name, read once in ID order and kept compactly while the rows are
/// built in pair order: names and extensions back to back in one text, and each folder, which
/// many records share, once.
class FoundRecords {
public:
    explicit FoundRecords(std::size_t expected) { m_records.reserve(expected); }

    void add(const CatalogueRecord& record)
    {
        const auto [folder, added] =
            m_folderIndex.try_emplace(record.path, static_cast<std::uint32_t>(m_folders.size()));
        if (added) {
            m_folders.push_back(&folder->first);
        }
        m_records.push_back(Found{record.id, folder->second, m_text.size(),
                                  static_cast<std::uint32_t>(record.file.size()),
                                  static_cast<std::uint32_t>(record.extension.size()),
                                  record.crc.value, record.size, record.identity});
        m_text += record.file;
        m_text += record.extension;
    }

    /// The record; nothing when the catalogue has no record with that ID.
    [[nodiscard]] std::optional<FoundRecord> find(RecordId id) const
    {
        const auto at =
            std::lower_bound(m_records.begin(), m_records.end(), id,
                             [](const Found& f, RecordId wanted) { return f.id < wanted; });
        if (at == m_records.end() || at->id != id) {
            return std::nullopt;
        }
        const std::string_view text(m_text);
        return FoundRecord{RecordCells{at->id, *m_folders[at->folder],
                                       text.substr(at->text, at->fileBytes),
                                       text.substr(at->text + at->fileBytes, at->extensionBytes),
                                       at->size, at->crc},
                           at->identity};
    }

private:
    struct Found {
        RecordId id;
        std::uint32_t folder = 0;
        std::size_t text = 0; // where the name starts in m_text; the extension follows it
        std::uint32_t fileBytes = 0;
        std::uint32_t extensionBytes = 0;
        CrcValue crc = 0;
        FileSize size = 0;
        PhysicalFile identity;
    };

    std::vector<Found> m_records; // in ascending ID order
    std::string m_text;
    std::unordered_map<std::string, std::uint32_t> m_folderIndex;
    std::vector<const std::string*> m_folders; // by index, pointing at m_folderIndex's keys
};

} // namespace

Outcome clsDatabase::AddDupes(const std::filesystem::path& strFileName, GridModel& objVsg,
                              const WorkHooks& hooks)
{
    hooks.setProgress(0.0f);
    objVsg.RowCount(1);
    const std::vector<DupePair> pairs =
        strFileName.empty() ? std::move(m_impl->keptPairs()) : readPairs(strFileName);
    m_impl->keptPairs().clear();

    // Look every ID up once, in ascending order through the store's key, before the rows are
    // built in pair order.
    std::vector<RecordId> ids;
    ids.reserve(pairs.size() * 2);
    for (const DupePair& pair : pairs) {
        ids.push_back(pair.head);
        ids.push_back(pair.dupe);
    }
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    FoundRecords records(ids.size());
    m_impl->fetchEach(ids, [&](const CatalogueRecord& record) { records.add(record); });
    std::vector<RecordId>().swap(ids);

    RecordId lastHead; // 0 at first, which names no record
    RecordId lastFound;
    int group = 0;
    bool shade = false;
    int groupFirstRow = -1; // the first grid row of the current group
    const auto appendRow = [&](const FoundRecord& record) {
        const RecordCells& cells = record.cells;
        objVsg.AppendRow(dupeListRow(cells, group),
                         RowRecord{cells.id, group, cells.size, record.identity});
        lastFound = cells.id;
    };

    const double total = static_cast<double>(pairs.size());
    for (std::size_t k = 0; k < pairs.size(); ++k) {
        const DupePair& pair = pairs[k];
        if (pair.head != lastHead) {
            if (const std::optional<FoundRecord> head = records.find(pair.head)) {
                ++group;
                groupFirstRow = objVsg.RowCount();
                appendRow(*head);
                lastHead = pair.head;
                shade = !shade;
            }
        }
        // A duplicate is only ever shown under its own head: if the head is no longer in
        // the catalogue, the row would join whatever group came before.
        if (pair.head == lastHead) {
            if (const std::optional<FoundRecord> dupe = records.find(pair.dupe)) {
                appendRow(*dupe);
            }
        }
        // Shade the two newest rows, but never the header or a row of an earlier group.
        const int lastRow = objVsg.RowCount() - 1;
        if (groupFirstRow >= 1 && lastRow >= groupFirstRow) {
            objVsg.CellBackColor(std::max(groupFirstRow, lastRow - 1), 0, lastRow,
                                 objVsg.ColCount() - 1, shade ? kBlueShade : kRoseShade);
        }
        if (!hooks.checkpoint(static_cast<double>(k + 1), total)) {
            break;
        }
    }
    if (lastFound) {
        m_impl->find(lastFound); // the cursor rests on the last record found
    }
    return hooks.stopRequested() ? Outcome::Stopped : Outcome::Completed;
}

} // namespace corvelle
