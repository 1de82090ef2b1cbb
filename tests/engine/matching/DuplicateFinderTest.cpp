#include "matching/DuplicateFinder.h"

#include "ReferenceDedupe.h"

#include <cctype>
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
    // Every record has an extension of its own but four; far more heads than one block holds.
    // The first two share a name; the two late ones have names of their own near it.
    std::vector<ReferenceRecord> records;
    const std::size_t late = 20'000;
    for (std::size_t i = 0; i <= late; ++i) {
        const bool shared = i <= 1 || i == late - 1 || i == late;
        add(records,
            i == late - 1 ? "songs"
            : i == late   ? "somg"
                          : "song",
            shared ? "MP3" : std::to_string(i));
    }
    EXPECT_EQ(pairIds(finderPairs(records, byName(75, true), 2)),
              (std::vector<RecordId>{records[0].id, records[1].id, records[0].id,
                                     records[late - 1].id, records[0].id, records[late].id}));
}

TEST(DuplicateFinderByName, aHeadOfALaterNameComparesItsOwnNameFirst)
{
    // 'CBCABB' against 'BAAC' matches 1 character, 'BAAC' against 'CBCABB' 2: scores 20 and
    // 40. The first head leaves its own file's other path; the later name takes it at 30.
    std::vector<ReferenceRecord> records;
    add(records, "CBCABB", "", PhysicalFile{1, 1});
    add(records, "BAAC", "", PhysicalFile{1, 2});
    add(records, "CBCABB", "", PhysicalFile{1, 1});
    const DedupeSettings settings = test::settingsFromBits(1, 30);
    EXPECT_EQ(pairIds(finderPairs(records, settings, 1)),
              (std::vector<RecordId>{records[1].id, records[2].id}));
    EXPECT_EQ(finderPairs(records, settings, 1), test::referenceGrouping(records, settings).pairs);
}

/// Names near each other: a few stems, each copy changed by inserted, deleted, swapped or
/// re-cased characters, bracketed text, digits, spaces and letters outside ASCII, so that
/// pairs fall on both sides of every score, and clean-up makes many of them equal.
class NearNames {
public:
    explicit NearNames(unsigned seed)
        : m_rng(seed)
    {}

    std::string next()
    {
        if (m_made.empty() || m_rng() % 4 == 0) {
            m_made.push_back(stem());
        } else {
            m_made.push_back(changed(m_made[m_rng() % m_made.size()]));
        }
        return m_made.back();
    }

private:
    std::string stem()
    {
        // Few letters make many equally long common runs, where the score depends on which
        // name comes first.
        if (m_rng() % 3 == 0) {
            std::string name(4 + m_rng() % 6, 'a');
            for (char& c : name) {
                c = static_cast<char>('a' + m_rng() % 3);
            }
            return name;
        }
        static const char* const words[] = {"Song",   "Live", "night", "Café", "Жар", "ıx",
                                            "Straße", "a",    "mix",   "IMG",  "01",  "(1)",
                                            "[HQ]",   "x(",   ")",     "  ",   "-",   "日本"};
        std::string name;
        for (int k = static_cast<int>(m_rng() % 5); k > 0; --k) {
            name += words[m_rng() % std::size(words)];
            name += m_rng() % 3 == 0 ? "" : " ";
        }
        return name;
    }

    std::string changed(std::string name)
    {
        static const char* const pieces[] = {"e", "E", "1", "é", "É", " ", "(", ")", "[b]", "_"};
        for (int edits = 1 + static_cast<int>(m_rng() % 3); edits > 0; --edits) {
            const std::size_t at = name.empty() ? 0 : m_rng() % name.size();
            switch (m_rng() % 5) {
            case 0:
                name.insert(at, pieces[m_rng() % std::size(pieces)]);
                break;
            case 1:
                name.erase(at, 1); // may cut a multi-byte letter: an invalid byte is a name too
                break;
            case 2:
                if (at + 1 < name.size()) {
                    std::swap(name[at], name[at + 1]);
                }
                break;
            case 3:
                for (char& c : name) {
                    c = m_rng() % 2 == 0 ? c : static_cast<char>(std::toupper(c));
                }
                break;
            default:
                name += " (" + std::to_string(m_rng() % 3) + ")";
            }
        }
        return name;
    }

    std::mt19937 m_rng;
    std::vector<std::string> m_made;
};

TEST(DuplicateFinderByName, nearNamesGiveThePlainLoopsPairsForEveryCleanUpAndScore)
{
    std::mt19937 rng(2026);
    for (int round = 0; round < 160; ++round) {
        NearNames names(static_cast<unsigned>(round));
        std::vector<ReferenceRecord> records;
        const std::size_t n = 10 + rng() % 80;
        for (std::size_t i = 0; i < n; ++i) {
            // Now and then another path of an earlier record's file, or a record grouped by
            // an earlier pass over the same export.
            PhysicalFile file{3, i + 1};
            std::string name = names.next();
            if (i > 0 && rng() % 6 == 0) {
                const ReferenceRecord& linked = records[rng() % i];
                file = linked.identity;
                name = rng() % 2 == 0 ? linked.file : name;
            }
            add(records, name, rng() % 5 == 0 ? "JPG" : "MP3", file, rng() % 15 == 0);
        }
        static const std::int32_t scores[] = {1, 30, 50, 67, 75, 80, 90, 95, 99, 100, 101};
        for (int k = 0; k < 4; ++k) {
            // Name alone or with extension, and any clean-up.
            const unsigned bits = 1 | (rng() % 2 == 0 ? 2 : 0) | (rng() % 16) << 4;
            const DedupeSettings settings = test::settingsFromBits(bits, scores[rng() % 11]);
            ASSERT_EQ(finderPairs(records, settings, 1 + round % 2),
                      test::referenceGrouping(records, settings).pairs)
                << "round " << round << ", settings " << bits << ", score "
                << settings.lngMatchScore;
        }
    }
}

} // namespace
} // namespace corvelle
