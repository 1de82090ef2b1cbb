// The two work files of a dedupe run, of any bytes: "dedupe.dat" (truncated records, IDs
// that are not in the catalogue, absurd sizes) through the grouping pass, and "dupelist.dat"
// through the loading pass. Neither may crash or read out of bounds; the list may only show
// records that are in the catalogue, and a file the pass cannot use is a reported failure.
#include "FuzzInput.h"
#include "TestSupport.h"
#include "catalogue/clsDatabase.h"
#include "controls/GridModel.h"
#include "controls/ListColumns.h"

namespace {

using namespace corvelle;

/// A catalogue of a few records in a private folder, made once per process.
struct Fixture {
    Fixture()
    {
        catalogue.OpenProject(folder / "data.dat");
        catalogue.AddRecord("/a/", "one", ".txt", 10, 1);
        catalogue.AddRecord("/b/", "one", ".txt", 10, 1);
        catalogue.AddRecord("/c/", "two", ".TXT", 1LL << 33, -1);
        catalogue.AddRecord("/d/", "\xff\xfe", "", 0, 0);
    }
    test::TempDir folder;
    clsDatabase catalogue;
};

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
    const auto exported = fixture.folder / "dedupe.dat";
    const auto pairs = fixture.folder / "dupelist.dat";
    test::writeFile(exported, rest.substr(0, exportBytes));
    test::writeFile(pairs, rest.substr(exportBytes));

    DedupeSettings settings;
    settings.blnUseName = (flags & 1) != 0;
    settings.blnUseExtension = (flags & 2) != 0;
    settings.blnUseSize = (flags & 4) != 0;
    settings.blnUseCRC = (flags & 8) != 0 || !settings.anyCriterion();
    settings.lngMatchScore = flags % 101;
    test::RecordingMessages messages;
    WorkHooks hooks;
    hooks.messages = &messages;

    const auto grouped = fixture.folder / "grouped.dat";
    const Outcome grouping = fixture.catalogue.FindDupes(exported, grouped, settings, hooks);
    fuzz::check(grouping != Outcome::Failed || !messages.shown.empty(),
                "a failed grouping said nothing");

    GridModel list;
    list.ColumnFormat(dupeListFormat());
    for (const auto& file : {pairs, grouped}) {
        messages.shown.clear();
        Outcome loading = Outcome::Failed;
        try {
            loading = fixture.catalogue.AddDupes(file, list, hooks);
        } catch (const std::exception&) {
            continue; // a pair file naming a record that cannot be read is raised, with its name
        }
        fuzz::check(loading != Outcome::Failed || !messages.shown.empty(),
                    "a failed loading said nothing");
        for (int row = 1; row < list.RowCount(); ++row) {
            fuzz::check(fixture.catalogue.FindID(list.recordIdAt(row)),
                        "the list shows a record that is not in the catalogue");
        }
    }
    return 0;
}
