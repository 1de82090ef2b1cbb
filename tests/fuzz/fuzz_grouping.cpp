// Name clean-up, similarity and grouping, differentially: for any few names, extensions,
// sizes and checksums and any settings, the fast finder reports exactly the pairs, in exactly
// the order, of the plain loop that compares every record with every later one, and never
// pairs two records of one physical file.
#include "FuzzInput.h"
#include "ReferenceDedupe.h"
#include "catalogue/RecordFiles.h"
#include "matching/DuplicateFinder.h"
#include "matching/NameText.h"

#include <string>
#include <vector>

namespace {

using namespace corvelle;

class Records final : public GroupingSource {
public:
    explicit Records(const std::vector<test::ReferenceRecord>& records)
        : m_records(records)
    {}
    [[nodiscard]] std::size_t count() const override { return m_records.size(); }
    [[nodiscard]] std::u32string name(std::size_t i) const override
    {
        return decodeName(m_records[i].file, 300);
    }
    [[nodiscard]] std::string extensionKey(std::size_t i) const override
    {
        return corvelle::extensionKey(m_records[i].extension);
    }
    [[nodiscard]] FileSize size(std::size_t i) const override { return m_records[i].size; }
    [[nodiscard]] Checksum crc(std::size_t i) const override { return m_records[i].crc; }
    [[nodiscard]] bool grouped(std::size_t) const override { return false; }
    [[nodiscard]] PhysicalFile identity(std::size_t i) const override
    {
        return m_records[i].identity;
    }

private:
    const std::vector<test::ReferenceRecord>& m_records;
};

/// The pairs as the pair file holds them: head ID, duplicate ID.
class PairBytes final : public GroupingObserver {
public:
    void pair(std::size_t head, std::size_t dupe) override
    {
        char record[kDupePairSize];
        putInt32(record, static_cast<std::int32_t>(head + 1));
        putInt32(record + 4, static_cast<std::int32_t>(dupe + 1));
        bytes.append(record, sizeof record);
    }
    bool headDone(std::size_t) override { return true; }
    std::string bytes;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::FuzzInput input(data, size);
    const std::uint8_t flags = input.byte();
    DedupeSettings settings;
    settings.blnUseName = (flags & 1) != 0;
    settings.blnUseExtension = (flags & 2) != 0;
    settings.blnUseSize = (flags & 4) != 0;
    settings.blnUseCRC = (flags & 8) != 0;
    settings.blnRemoveBracketedText = (flags & 16) != 0;
    settings.blnRemoveNumbers = (flags & 32) != 0;
    settings.blnRemoveSymbols = (flags & 64) != 0;
    settings.blnRemoveSpaces = (flags & 128) != 0;
    settings.lngMatchScore = input.byte() % 101;
    if (!settings.anyCriterion()) {
        return 0;
    }

    static const char* const extensions[] = {".txt", ".TXT",   ".txt ",     "",
                                             ".jpg", ".Jpg  ", ".\xc3\xa9", ".\xc3\x89"};
    std::vector<test::ReferenceRecord> records;
    while (!input.empty() && records.size() < 8) {
        const std::uint8_t kind = input.byte();
        test::ReferenceRecord r;
        r.id = RecordId(static_cast<std::int32_t>(records.size() + 1));
        r.extension = extensions[kind & 7];
        r.size = (kind >> 3) & 3;
        r.crc.value = static_cast<std::int32_t>((kind >> 5) & 1);
        r.crc.failed = (kind >> 6) == 3;
        // Identities 0 (not known) to 3: records sharing one are one file reached twice.
        r.identity = PhysicalFile{1, static_cast<std::uint64_t>(input.byte() & 3)};
        r.file = std::string(input.text().substr(0, 400));
        records.push_back(r);
    }

    const Records source(records);
    DuplicateFinder finder(source, settings);
    finder.setThreads(1);
    PairBytes found;
    finder.run(found);
    fuzz::check(found.bytes == test::referenceGrouping(records, settings).pairs,
                "the finder's pairs differ from the plain loop's");
    return 0;
}
