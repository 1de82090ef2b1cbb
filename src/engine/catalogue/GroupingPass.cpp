// The grouping pass: reads the export file, finds the duplicate pairs, marks the grouped
// records in the export file and writes the pairs to the pair file; or, when no work files
// are wanted, does the same with what the export kept in memory.
#include "catalogue/DatabaseImpl.h"
#include "common/PosixFile.h"
#include "matching/DuplicateFinder.h"
#include "matching/NameMatching.h"
#include "matching/NameText.h"

#include <algorithm>
#include <fcntl.h>
#include <optional>
#include <string>

namespace corvelle {
namespace {

Message groupingFailedMessage(const std::exception& error)
{
    Message message{"Error creating duplicate list", MessageIcon::Critical, MessageButtons::Ok};
    message.reason = error.what();
    return message;
}

std::string countCaption(std::size_t found)
{
    return std::to_string(found) + " Duplicate(s) Found";
}

/// The grouping source over what the export remembers, or over what was read back from an
/// export file it did not write (texts in code page 1252, sizes of 32 bits).
class SnapshotSource final : public GroupingSource {
public:
    SnapshotSource(const ExportSnapshot& snapshot, bool codePage1252)
        : m_snapshot(snapshot)
        , m_codePage1252(codePage1252)
    {}
    [[nodiscard]] std::size_t count() const override { return m_snapshot.size(); }
    [[nodiscard]] std::u32string name(std::size_t i) const override
    {
        return m_codePage1252 ? decodeCodePage1252(m_snapshot.name(i))
                              : decodeName(m_snapshot.name(i), kNameFieldChars);
    }
    [[nodiscard]] std::string extensionKey(std::size_t i) const override
    {
        return m_codePage1252 ? corvelle::extensionKey(decodeCodePage1252(m_snapshot.extension(i)))
                              : corvelle::extensionKey(m_snapshot.extension(i));
    }
    [[nodiscard]] FileSize size(std::size_t i) const override { return m_snapshot.sizes[i]; }
    [[nodiscard]] Checksum crc(std::size_t i) const override { return m_snapshot.crcs[i]; }
    [[nodiscard]] bool grouped(std::size_t i) const override { return m_snapshot.grouped[i] != 0; }
    [[nodiscard]] PhysicalFile identity(std::size_t i) const override
    {
        return m_snapshot.physicalFiles[i];
    }

private:
    const ExportSnapshot& m_snapshot;
    bool m_codePage1252;
};

/// Reads an export file into a snapshot. Texts keep their code-page bytes (trailing padding
/// dropped); nothing tells a failed checksum apart, so none is taken as failed. The file has
/// no room for the records' physical files: they are left unknown here.
ExportSnapshot readExportFile(int fd, const std::filesystem::path& file)
{
    using namespace dedupe_record;
    ExportSnapshot snapshot;
    std::string buffer(kSize * 4096, '\0');
    while (true) {
        const std::size_t got = readFully(fd, buffer.data(), buffer.size(), file);
        for (std::size_t at = 0; at + kSize <= got; at += kSize) {
            const char* record = buffer.data() + at;
            const auto text = [&](std::size_t offset) {
                std::string_view field(record + offset, kTextBytes);
                return field.substr(0, field.find_last_not_of(' ') + 1);
            };
            snapshot.add(RecordId{getInt32(record + kIdOffset)}, text(kFileOffset),
                         text(kExtensionOffset), getInt32(record + kSizeOffset),
                         Checksum{getInt32(record + kCrcOffset)}, PhysicalFile{});
            snapshot.grouped.back() = static_cast<std::uint8_t>(record[kGroupedOffset]);
        }
        if (got < buffer.size()) {
            break; // a trailing partial record is no record
        }
    }
    return snapshot;
}

/// Writes the pairs as they are found, to the pair file or to memory, and keeps the count,
/// the progress and the stop check.
class PairWriter final : public GroupingObserver {
public:
    /// `file` null: the pairs go to `kept`.
    PairWriter(const ExportSnapshot& records, BufferedWriter* file, std::vector<DupePair>& kept,
               const WorkHooks& hooks)
        : m_records(records)
        , m_file(file)
        , m_kept(kept)
        , m_hooks(hooks)
    {}

    void pair(std::size_t head, std::size_t dupe) override
    {
        const DupePair found{m_records.ids[head], m_records.ids[dupe]};
        if (m_file != nullptr) {
            char bytes[kDupePairSize];
            putInt32(bytes, found.head.value());
            putInt32(bytes + 4, found.dupe.value());
            m_file->write(bytes, sizeof bytes);
        } else {
            m_kept.push_back(found);
        }
        m_newlyGrouped.push_back(dupe);
        if (m_hooks.caption != nullptr) {
            m_hooks.setCaption(countCaption(m_newlyGrouped.size()));
        }
    }

    bool headDone(std::size_t head) override
    {
        return m_hooks.checkpoint(static_cast<double>(head + 1),
                                  static_cast<double>(m_records.size() - 1));
    }

    [[nodiscard]] const std::vector<std::size_t>& newlyGrouped() const { return m_newlyGrouped; }

private:
    const ExportSnapshot& m_records;
    BufferedWriter* m_file;
    std::vector<DupePair>& m_kept;
    const WorkHooks& m_hooks;
    std::vector<std::size_t> m_newlyGrouped;
};

/// Sets the Grouped byte of the records at these positions. Where marks are dense, a window
/// of records is read, marked and written back whole, which costs far less than one write
/// per record.
void markGrouped(int fd, std::vector<std::size_t> positions, const std::filesystem::path& file)
{
    using namespace dedupe_record;
    constexpr std::size_t kWindowRecords = 1711; // about 1 MiB
    constexpr std::size_t kDense = 32;
    std::sort(positions.begin(), positions.end());
    std::string window;
    for (std::size_t k = 0; k < positions.size();) {
        const std::size_t first = positions[k] / kWindowRecords * kWindowRecords;
        std::size_t end = k;
        while (end < positions.size() && positions[end] < first + kWindowRecords) {
            ++end;
        }
        if (end - k < kDense) {
            const char one = 1;
            for (; k < end; ++k) {
                writeAllAt(fd, &one, 1,
                           static_cast<std::int64_t>(positions[k] * kSize + kGroupedOffset), file);
            }
            continue;
        }
        const auto offset = static_cast<std::int64_t>(first * kSize);
        window.resize(kWindowRecords * kSize);
        const std::size_t got = readFullyAt(fd, window.data(), window.size(), offset, file);
        for (; k < end; ++k) {
            window[(positions[k] - first) * kSize + kGroupedOffset] = 1;
        }
        writeAllAt(fd, window.data(), got, offset, file);
    }
}

} // namespace

Outcome clsDatabase::FindDupes(const std::filesystem::path& strFileName1,
                               const std::filesystem::path& strFileName2,
                               const DedupeSettings& settings, const WorkHooks& hooks)
{
    hooks.setProgress(0.0f);
    hooks.setCaption(countCaption(0));
    ExportSnapshot& remembered = m_impl->lastExport();
    std::vector<DupePair>& kept = m_impl->keptPairs();
    kept.clear();
    try {
        // No export file: the export kept its records in memory alone.
        const bool recordsInMemory = strFileName1.empty();
        UniqueFd records = recordsInMemory ? UniqueFd() : openFile(strFileName1, O_RDWR);
        const bool pairsInMemory = strFileName2.empty();
        UniqueFd pairs;
        if (!pairsInMemory) {
            std::filesystem::remove(strFileName2);
            pairs = openFile(strFileName2, O_WRONLY | O_CREAT | O_TRUNC);
        }

        // What the export remembers serves while the file is exactly as it left it.
        const bool fresh =
            recordsInMemory ||
            (!remembered.file.empty() && FileIdentity::of(strFileName1) == remembered.identity);
        ExportSnapshot readBack;
        if (!fresh) {
            readBack = readExportFile(records.get(), strFileName1);
            // The catalogue keeps each record's physical file under its ID, and an ID never
            // names another record later, so these are the files the records were exported
            // from. A record deleted since has an unknown file, as a record added without one.
            if (m_impl->isOpen()) {
                readBack.physicalFiles = m_impl->physicalFilesOf(readBack.ids);
            }
        }
        ExportSnapshot& input = fresh ? remembered : readBack;
        SnapshotSource source(input, !fresh);

        std::optional<BufferedWriter> pairOut;
        if (!pairsInMemory) {
            pairOut.emplace(pairs.get(), strFileName2);
        }
        PairWriter writer(input, pairOut ? &*pairOut : nullptr, kept, hooks);
        DuplicateFinder finder(source, settings);
        const bool completed = finder.run(writer);

        for (const std::size_t position : writer.newlyGrouped()) {
            input.grouped[position] = 1;
        }
        if (pairOut) {
            pairOut->flush();
            closeFile(pairs, strFileName2);
        }
        if (!recordsInMemory) {
            markGrouped(records.get(), writer.newlyGrouped(), strFileName1);
            closeFile(records, strFileName1);
            if (fresh) {
                remembered.identity = FileIdentity::of(strFileName1).value_or(FileIdentity{});
            }
        }
        return completed ? Outcome::Completed : Outcome::Stopped;
    } catch (const std::exception& error) {
        remembered.clear();
        kept.clear();
        hooks.report(groupingFailedMessage(error));
        return Outcome::Failed;
    }
}

} // namespace corvelle
