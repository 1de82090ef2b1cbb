// The two work files of a dedupe run, of any bytes: "dedupe.dat" (truncated records, IDs
// that are not in the catalogue, absurd sizes) through the grouping pass, and "dupelist.dat"
// through the loading pass. Neither may crash or read out of bounds; the list may only show
// records that are in the catalogue, and a file the pass cannot use is a reported failure.
#include "FuzzInput.h"
#include "catalogue/clsDatabase.h"
#include "controls/GridModel.h"
#include "controls/ListColumns.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdlib.h>
#include <string>

namespace {

using namespace corvelle;
namespace fs = std::filesystem;

/// Counts reports instead of showing them.
class CountingMessages final : public MessageSink {
public:
    MessageAnswer show(const Message&) override
    {
        ++count;
        return MessageAnswer::Ok;
    }
    int count = 0;
};

/// A catalogue of a few records in a private folder, made once per process.
struct Fixture {
    Fixture()
    {
        std::string pattern = (fs::temp_directory_path() / "corvelle-fuzz-XXXXXX").string();
        folder = ::mkdtemp(pattern.data());
        catalogue.OpenProject(folder / "data.dat");
        catalogue.AddRecord("/a/", "one", ".txt", 10, 1);
        catalogue.AddRecord("/b/", "one", ".txt", 10, 1);
        catalogue.AddRecord("/c/", "two", ".TXT", 1LL << 33, -1);
        catalogue.AddRecord("/d/", "\xff\xfe", "", 0, 0);
    }
    ~Fixture()
    {
        catalogue.CloseProject();
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }
    fs::path folder;
    clsDatabase catalogue;
};

void write(const fs::path& file, std::string_view bytes)
{
    std::ofstream(file, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static Fixture fixture;
    fuzz::FuzzInput input(data, size);
    const std::uint8_t flags = input.byte();
    const std::uint8_t split = input.byte();
    const std::string_view rest = input.rest();
    // The export file gets whole or cut 613-byte records; the pair file the rest.
    const std::size_t exportBytes = std::min<std::size_t>(rest.size(), split * 41u);
    const fs::path exported = fixture.folder / "dedupe.dat";
    const fs::path pairs = fixture.folder / "dupelist.dat";
    write(exported, rest.substr(0, exportBytes));
    write(pairs, rest.substr(exportBytes));

    DedupeSettings settings;
    settings.blnUseName = (flags & 1) != 0;
    settings.blnUseExtension = (flags & 2) != 0;
    settings.blnUseSize = (flags & 4) != 0;
    settings.blnUseCRC = (flags & 8) != 0 || !settings.anyCriterion();
    settings.lngMatchScore = flags % 101;
    CountingMessages messages;
    WorkHooks hooks;
    hooks.messages = &messages;

    const fs::path grouped = fixture.folder / "grouped.dat";
    const Outcome grouping = fixture.catalogue.FindDupes(exported, grouped, settings, hooks);
    fuzz::check(grouping != Outcome::Failed || messages.count > 0,
                "a failed grouping said nothing");

    GridModel list;
    list.ColumnFormat(dupeListFormat());
    for (const fs::path& file : {pairs, grouped}) {
        messages.count = 0;
        Outcome loading = Outcome::Failed;
        try {
            loading = fixture.catalogue.AddDupes(file, list, hooks);
        } catch (const std::exception&) {
            continue; // a pair file naming a record that cannot be read is raised, with its name
        }
        fuzz::check(loading != Outcome::Failed || messages.count > 0,
                    "a failed loading said nothing");
        for (int row = 1; row < list.RowCount(); ++row) {
            fuzz::check(fixture.catalogue.FindID(list.recordIdAt(row)),
                        "the list shows a record that is not in the catalogue");
        }
    }
    return 0;
}
