// The loading pass: the pair file becomes numbered, shaded groups in the duplicate grid.
#include "catalogue/DatabaseImpl.h"
#include "common/PosixFile.h"
#include "controls/GridModel.h"
#include "controls/ListColumns.h"

#include <algorithm>
#include <fcntl.h>
#include <string>
#include <unordered_map>

namespace corvelle {
namespace {

constexpr Color kBlueShade = 16707305; // red 233, green 238, blue 254
constexpr Color kRoseShade = 15330558; // red 254, green 236, blue 233

struct DupePair {
    RecordId head;
    RecordId dupe;
};

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

} // namespace

Outcome clsDatabase::AddDupes(const std::filesystem::path& strFileName, GridModel& objVsg,
                              const WorkHooks& hooks)
{
    hooks.setProgress(0.0f);
    objVsg.RowCount(1);
    const std::vector<DupePair> pairs = readPairs(strFileName);

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
    const std::vector<std::optional<CatalogueRecord>> records = m_impl->fetch(ids);
    const auto find = [&](RecordId id) -> const CatalogueRecord* {
        const auto at = std::lower_bound(ids.begin(), ids.end(), id);
        const auto& record = records[static_cast<std::size_t>(at - ids.begin())];
        return record ? &*record : nullptr;
    };

    RecordId lastHead; // 0 at first, which names no record
    RecordId lastFound;
    int group = 0;
    bool shade = false;
    int groupFirstRow = -1; // the first grid row of the current group
    const auto appendRow = [&](const CatalogueRecord& record) {
        const RecordCells cells{record.id,        record.path, record.file,
                                record.extension, record.size, record.crc.value};
        objVsg.AppendRow(dupeListRow(cells, group), RowRecord{record.id, group, record.size});
        lastFound = record.id;
    };

    const double total = static_cast<double>(pairs.size());
    for (std::size_t k = 0; k < pairs.size(); ++k) {
        const DupePair& pair = pairs[k];
        if (pair.head != lastHead) {
            if (const CatalogueRecord* head = find(pair.head)) {
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
            if (const CatalogueRecord* dupe = find(pair.dupe)) {
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
