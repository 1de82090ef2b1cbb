#include "matching/DuplicateFinder.h"

#include "ReferenceDedupe.h"

#include <gtest/gtest.h>
#include <random>

namespace corvelle {
namespace {

TEST(ExtensionKey, bytesAndDecodedTextGiveOneKeyThatNoOtherExtensionShares)
{
    struct Case {
        std::string_view bytes;
        std::u32string_view text;
        std::string_view key;
    };
    const Case cases[] = {
        {".mp3  ", U".mp3  ", ".MP3"},
        {".`az{@AZ[", U".`az{@AZ[", ".`AZ{@AZ["}, // the neighbours of the letters stay
        {" .txt", U" .txt", " .TXT"},             // only trailing spaces are insignificant
        {".\xd0\xb6", U".\u0436", ".\xd0\x96"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(extensionKey(c.bytes), c.key) << c.bytes;
        EXPECT_EQ(extensionKey(c.text), c.key) << c.bytes;
    }
    // Only the first 300 characters count, a multi-byte one at the cut included.
    EXPECT_EQ(extensionKey(std::string(300, 'a') + "\xc3\xa9"), std::string(300, 'A'));
    EXPECT_EQ(extensionKey(std::string(299, 'a') + "\xc3\xa9"), std::string(299, 'A') + "\xc3\x89");
    // 0xFF is kept as the surrogate U+DCFF, whose three bytes, read back, are three
    // undecodable bytes again: the two extensions must keep different keys.
    const std::string key = extensionKey(std::string_view("\xff"));
    EXPECT_NE(extensionKey(key), key);
    EXPECT_NE(extensionKey(std::string_view("\xfe")), key);
}

using test::finderPairs;
using test::pairIds;
using test::ReferenceRecord;

/// A record of that name and extension; the ID is its place, from 1.
void add(std::vector<ReferenceRecord>& records, std::string name, std::string extension = "",
         PhysicalFile file = {}, bool grouped = false)
{
    const RecordId id{static_cast<std::int32_t>(records.size() + 1)};
    records.push_back({id, std::move(name), std::move(extension), 0, {}, file, grouped});
}

DedupeSettings byName(std::int32_t score, bool byExtension = false)
{
    return test::settingsFromBits(byExtension ? 3 : 1, score);
}

TEST(DuplicateFinder, matchesThePlainLoopInSmallAndLengthIndexedPartitionsAndNeverPairsOneFile)
{
    // Few letters and many paths per physical file: links meet real copies in every order,
    // some records already grouped by an earlier pass over the same export. Score 0 lets every
    // name pass, so the equality tests and the same-file rule alone decide.
    std::mt19937 rng(17);
    for (int round = 0; round < 200; ++round) {
        // Every tenth partition is large enough for the length index.
        const std::size_t n = round % 10 == 0 ? 150 : rng() % 30;
        std::vector<ReferenceRecord> records;
        for (std::size_t i = 0; i < n; ++i) {
            std::string name(rng() % 13, 'a');
            for (char& c : name) {
                c = static_cast<char>('a' + rng() % 4);
            }
            const PhysicalFile file =
                rng() % 10 == 0 ? PhysicalFile{} : PhysicalFile{7, 1 + rng() % 6};
            add(records, name, rng() % 2 == 0 ? "MP3" : "OGG", file, rng() % 8 == 0);
        }
        for (const std::int32_t score : {0, 34, 67, 80, 100}) {
            const DedupeSettings settings = byName(score, round % 2 == 0);
            ASSERT_EQ(finderPairs(records, settings, 1 + round % 2),
                      test::referenceGrouping(records, settings).pairs)
                << "round " << round << ", score " << score;
        }
    }
}

TEST(DuplicateFinderByName, namesWithMoreThan255OfOneCharacterStillPair)
{
    // 280 shared "A"s of 300: score 93. A byte-sized count of 255 must not rule the pair out.
    for (const std::size_t fillers : {0u, 80u}) {
        std::vector<ReferenceRecord> records;
        add(records, std::string(280, 'a') + std::string(20, 'b'));
        for (std::size_t i = 0; i < fillers; ++i) {
            add(records, std::string(1 + i % 40, 'x'));
        }
        add(records, std::string(280, 'a') + std::string(20, 'c'));
        const std::vector<RecordId> ids = pairIds(finderPairs(records, byName(90), 2));
        ASSERT_GE(ids.size(), 2u) << fillers << " fillers";
        EXPECT_EQ(ids[1], records.back().id) << fillers << " fillers";
    }
}

TEST(DuplicateFinderByName, aRecordTakenInOneBlockOfHeadsIsNotPairedAgainInALaterOne)
{
    // Every record has an extension of its own but three; far more heads than one block holds.
    std::vector<ReferenceRecord> records;
    const std::size_t late = 20'000;
    for (std::size_t i = 0; i <= late; ++i) {
        const bool shared = i == 0 || i == late - 1 || i == late;
        add(records, "song", shared ? "MP3" : std::to_string(i));
    }
    EXPECT_EQ(pairIds(finderPairs(records, byName(80, true), 2)),
              (std::vector<RecordId>{records[0].id, records[late - 1].id, records[0].id,
                                     records[late].id}));
}

} // namespace
} // namespace corvelle
