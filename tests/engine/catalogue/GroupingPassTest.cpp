#include "DedupePassFixture.h"
#include "ReferenceDedupe.h"

#include <filesystem>
#include <random>

namespace corvelle::test {
namespace {

using Rec = ReferenceRecord;
using Result = ReferenceResult;

class Grouping : public DedupePasses {
protected:
    std::vector<Rec> catalogue(const std::vector<Rec>& wanted)
    {
        std::vector<Rec> added;
        int folder = 0;
        for (Rec r : wanted) {
            r.id = add(r.file, r.extension, r.size, r.crc, "/f" + std::to_string(folder++) + "/",
                       r.identity);
            added.push_back(r);
        }
        return added;
    }

    Result runPasses(const DedupeSettings& settings)
    {
        EXPECT_EQ(db.ExportRecordset(files.exportFile, hooks()), Outcome::Completed);
        const Outcome outcome = db.FindDupes(files.exportFile, files.pairFile, settings, hooks());
        EXPECT_NE(outcome, Outcome::Failed);
        return Result{readFile(files.pairFile), readFile(files.exportFile)};
    }
};

TEST_F(Grouping, recordsThatOnlyLookAlikeAreNeverPaired)
{
    // 5 GiB and 1 GiB agree in their low 32 bits; so do 4 GiB + 7 and 7.
    catalogue({{{}, "a", ".iso", std::int64_t{5} << 30, {}},
               {{}, "b", ".iso", std::int64_t{1} << 30, {}},
               {{}, "c", ".iso", (std::int64_t{1} << 32) + 7, {}},
               {{}, "d", ".iso", 7, {}}});
    DedupeSettings s;
    s.blnUseCRC = false;
    EXPECT_EQ(runPasses(s).pairs, "");

    // Two failed checksums agree with nothing: only the two real 0xFFFFFFFF checksums pair.
    db.DeleteRecords();
    const auto r = catalogue({{{}, "a", ".x", 3, {-1, true}},
                              {{}, "b", ".x", 3, {-1, true}},
                              {{}, "c", ".x", 3, {-1, false}},
                              {{}, "d", ".x", 3, {-1, false}}});
    EXPECT_EQ(pairIds(runPasses(DedupeSettings{}).pairs),
              (std::vector<RecordId>{r[2].id, r[3].id}));
    EXPECT_EQ(caption.last(), "1 Duplicate(s) Found");
}

TEST_F(Grouping, byNameAStopEndsAfterTheHeadThatSawItWithOneProgressValuePerHead)
{
    // Near names, so that the heads before the stop take records of names other than their
    // own; the stop comes at the ninth head's checkpoint.
    std::vector<Rec> wanted;
    for (int i = 0; i < 40; ++i) {
        wanted.push_back(
            {{},
             "Song " + std::string(1, static_cast<char>('a' + i % 7)) + (i % 3 == 0 ? "x" : ""),
             ".mp3",
             i,
             {},
             PhysicalFile{5, static_cast<std::uint64_t>(i + 1)}});
    }
    const auto r = catalogue(wanted);
    const DedupeSettings s = settingsFromBits(1, 80);
    ASSERT_EQ(db.ExportRecordset(files.exportFile, hooks()), Outcome::Completed);
    progress.values.clear();
    yield = stopAfterYields(stop, 9);
    EXPECT_EQ(db.FindDupes(files.exportFile, files.pairFile, s, hooks()), Outcome::Stopped);
    EXPECT_EQ(readFile(files.pairFile), referenceGrouping(r, s, 9).pairs);
    std::vector<float> expected{0.0f};
    for (int head = 1; head <= 9; ++head) {
        expected.push_back(percentOf(head, 39));
    }
    EXPECT_EQ(progress.values, expected);
}

// --- One physical file under several paths ------------------------------------------------

constexpr PhysicalFile kFile{2049, 100};
constexpr PhysicalFile kOtherFile{2049, 200};

/// A record of "song.mp3", 7 bytes, checksum 9: under the default settings and by name every
/// such record matches every other.
Rec song(PhysicalFile identity)
{
    return Rec{{}, "song", ".mp3", 7, {9}, identity};
}

/// The equality tests alone, and the name test on top, take different ways through the pass.
class SameFile : public Grouping, public ::testing::WithParamInterface<DedupeSettings> {};

INSTANTIATE_TEST_SUITE_P(Grouping, SameFile,
                         ::testing::Values(DedupeSettings{}, settingsFromBits(0xFF, 100),
                                           settingsFromBits(0xFF, 80)));

TEST_P(SameFile, hardLinksOfOneFileAreNeverPairedButACopyTakesTheLinksTheHeadLeft)
{
    const auto links = catalogue(std::vector<Rec>(13, song(kFile)));
    const Result alone = runPasses(GetParam());
    EXPECT_EQ(alone.pairs, "");
    EXPECT_EQ(alone.exported, referenceGrouping(links, GetParam()).exported) << "nothing marked";

    // The head leaves its own links and takes the real copies; each copy, a head in its turn,
    // takes the head's links that follow it.
    db.DeleteRecords();
    const auto r = catalogue(
        {song(kFile), song(kFile), song(kOtherFile), song(kFile), song(kOtherFile), song(kFile)});
    const Result got = runPasses(GetParam());
    EXPECT_EQ(pairIds(got.pairs), (std::vector<RecordId>{r[0].id, r[2].id, r[0].id, r[4].id,
                                                         r[2].id, r[3].id, r[2].id, r[5].id}));
    EXPECT_EQ(caption.last(), "4 Duplicate(s) Found");
}

// Random catalogues and settings: the pass must write byte-identical files to the plain loop.
// Names and extensions outside code page 1252, 33-bit sizes and failed checksums come in
// two rounds of three; the third round reads back an export file the pass did not just write.
class GroupingEquivalence : public Grouping {
protected:
    std::mt19937 rng{20261206};

    template <typename T> const T& pick(const std::vector<T>& from)
    {
        return from[rng() % from.size()];
    }

    std::vector<Rec> randomCatalogue(std::size_t n, bool codePageOnly)
    {
        static const std::vector<std::string> pieces = {
            "Song",     "song", "SONG", " ",  "01", "1",   "(Live)", "[x]", "-", "\xc3\xa9",
            "\xc3\x89", "a",    "b",    "ab", "  ", "Mix", "mi",     "x(",  ")"};
        static const std::vector<std::string> foreign = {"\xd0\x96", "\xd0\xb6", "\xff",
                                                         "\xe6\x97\xa5"};
        static const std::vector<std::string> extensions = {".txt", ".TXT", ".txt ", ".mp3",
                                                            "",     ".Mp3", " .txt", ".\xd0\x96"};
        std::vector<Rec> records;
        for (std::size_t i = 0; i < n; ++i) {
            Rec r{{},
                  "",
                  pick(extensions),
                  static_cast<std::int64_t>(rng() % 4),
                  Checksum{static_cast<std::int32_t>(rng() % 3) - 1, false},
                  PhysicalFile{1, i + 1}};
            for (int k = static_cast<int>(rng() % 5); k > 0; --k) {
                r.file += (!codePageOnly && rng() % 6 == 0) ? pick(foreign) : pick(pieces);
            }
            if (codePageOnly) {
                r.extension = extensions[rng() % 7];
            } else {
                r.size = r.size.bytes() + (rng() % 5 == 0 ? (std::int64_t{1} << 32) : 0);
                r.crc.failed = r.crc.value == -1 && rng() % 2 == 0;
            }
            if (rng() % 8 == 0) {
                r.identity = {}; // added without one
            } else if (i > 0 && rng() % 3 == 0) {
                // Another path of an earlier record's file: its content, often its name too.
                const Rec& file = records[rng() % i];
                r = Rec{{},
                        rng() % 2 == 0 ? file.file : r.file,
                        file.extension,
                        file.size,
                        file.crc,
                        file.identity};
            }
            records.push_back(r);
        }
        return records;
    }
};

TEST_F(GroupingEquivalence, smallCataloguesWithEverySetting)
{
    for (int round = 0; round < 1500; ++round) {
        const unsigned flags = rng();
        // Scores also outside 0..100.
        const DedupeSettings s =
            settingsFromBits(flags, static_cast<std::int32_t>(rng() % 107) - 3);
        const bool codePageOnly = round % 3 == 0;

        db.DeleteRecords();
        const auto r = catalogue(randomCatalogue(rng() % 25, codePageOnly));
        ASSERT_EQ(db.ExportRecordset(files.exportFile, hooks()), Outcome::Completed);
        const auto copy = dir / "copy.dat";
        std::filesystem::copy_file(files.exportFile, copy,
                                   std::filesystem::copy_options::overwrite_existing);
        ASSERT_NE(db.FindDupes(files.exportFile, files.pairFile, s, hooks()), Outcome::Failed);
        const Result expected = referenceGrouping(r, s);
        ASSERT_EQ(readFile(files.pairFile), expected.pairs) << "round " << round;
        ASSERT_EQ(readFile(files.exportFile), expected.exported) << "round " << round;
        if (codePageOnly) {
            ASSERT_NE(db.FindDupes(copy, dir / "pairs2.dat", s, hooks()), Outcome::Failed);
            ASSERT_EQ(readFile(dir / "pairs2.dat"), expected.pairs) << "read back, round " << round;
        }
        // Without work files the run keeps their contents in memory, to the same list.
        GridModel throughFiles = dupeGrid();
        GridModel inMemory = dupeGrid();
        const DedupeRunHooks run{hooks(), nullptr, nullptr};
        ASSERT_EQ(runDedupe(db, s, files, throughFiles, run), Outcome::Completed);
        ASSERT_EQ(runDedupe(db, s, DedupeFiles::none(), inMemory, run), Outcome::Completed);
        ASSERT_EQ(gridText(inMemory), gridText(throughFiles)) << "round " << round;
    }
}

} // namespace
} // namespace corvelle::test
