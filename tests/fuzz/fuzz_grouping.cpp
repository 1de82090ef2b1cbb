// Grouping, differentially: for any few names, extensions, sizes, checksums and physical files
// and any settings, the fast finder reports exactly the pairs, in exactly the order, of the
// plain loop that compares every record with every later one. A name is new text or an
// earlier record's name with one character inserted, deleted, swapped or re-cased, so that
// pairs fall near every score.
#include "FuzzInput.h"
#include "NameEdits.h"
#include "ReferenceDedupe.h"

#include <string>
#include <vector>

namespace {

/// The name with one change at a place the input chooses: an inserted byte, a deleted one,
/// two swapped, or a letter's case changed.
std::string edited(std::string name, unsigned change, corvelle::fuzz::FuzzInput& input)
{
    const std::size_t at = input.byte() % (name.size() + 1);
    const char c = (change & 3) == 0  ? static_cast<char>(input.byte())
                   : at < name.size() ? static_cast<char>(name[at] ^ 0x20)
                                      : ' ';
    corvelle::test::editName(name, change, at, c);
    return name;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace corvelle;
    fuzz::FuzzInput input(data, size);
    const std::uint8_t flags = input.byte();
    const DedupeSettings settings = test::settingsFromBits(flags, input.byte() % 101);
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
        const std::uint8_t how = input.byte();
        r.identity = PhysicalFile{1, static_cast<std::uint64_t>(how & 3)};
        if ((how & 4) != 0 && !records.empty()) {
            // Short: the plain loop's cost grows with the cube of near names' length.
            const std::string& earlier = records[input.byte() % records.size()].file;
            r.file = edited(earlier.substr(0, 64), how >> 3, input);
        } else {
            r.file = std::string(input.text().substr(0, 400));
        }
        records.push_back(r);
    }
    fuzz::check(test::finderPairs(records, settings, 1) ==
                    test::referenceGrouping(records, settings).pairs,
                "the finder's pairs differ from the plain loop's");
    return 0;
}
