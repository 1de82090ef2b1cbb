#include "matching/DuplicateFinder.h"

#include "common/Utf8.h"
#include "matching/NameMatching.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <random>
#include <utility>
#include <vector>

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

using Pairs = std::vector<std::pair<std::size_t, std::size_t>>;

/// Records held in memory; only names, extensions and physical files vary.
struct Records final : GroupingSource {
    std::vector<std::u32string> names;
    std::vector<std::string> extensions;
    std::vector<bool> groupedBefore;
    std::vector<PhysicalFile> files;

    void add(std::u32string name, std::string extension = "", bool grouped = false,
             PhysicalFile file = {})
    {
        names.push_back(std::move(name));
        extensions.push_back(std::move(extension));
        groupedBefore.push_back(grouped);
        files.push_back(file);
    }
    [[nodiscard]] std::size_t count() const override { return names.size(); }
    [[nodiscard]] std::u32string name(std::size_t i) const override { return names[i]; }
    [[nodiscard]] std::string extensionKey(std::size_t i) const override { return extensions[i]; }
    [[nodiscard]] FileSize size(std::size_t) const override { return 0; }
    [[nodiscard]] Checksum crc(std::size_t) const override { return {}; }
    [[nodiscard]] bool grouped(std::size_t i) const override { return groupedBefore[i]; }
    [[nodiscard]] PhysicalFile identity(std::size_t i) const override { return files[i]; }
};

struct Recorder final : GroupingObserver {
    Pairs pairs;
    void pair(std::size_t head, std::size_t dupe) override { pairs.emplace_back(head, dupe); }
    bool headDone(std::size_t) override { return true; }
};

DedupeSettings byName(std::int32_t score, bool byExtension = false)
{
    DedupeSettings s;
    s.blnUseName = true;
    s.blnUseExtension = byExtension;
    s.blnUseSize = s.blnUseCRC = false;
    s.lngMatchScore = score;
    return s;
}

Pairs find(const Records& records, const DedupeSettings& settings, unsigned threads = 2)
{
    DuplicateFinder finder(records, settings);
    finder.setThreads(threads);
    Recorder recorder;
    EXPECT_TRUE(finder.run(recorder));
    return recorder.pairs;
}

/// The rule itself: each head takes every later ungrouped record that it matches and that is
/// not its own physical file.
Pairs sequentialRule(const Records& records, const DedupeSettings& settings)
{
    const NameCleanup cleanup;
    std::vector<std::u32string> prepared;
    for (const std::u32string& name : records.names) {
        prepared.push_back(prepareName(name, cleanup));
    }
    std::vector<bool> grouped = records.groupedBefore;
    Pairs pairs;
    for (std::size_t head = 0; head + 1 < prepared.size(); ++head) {
        for (std::size_t other = head + 1; other < prepared.size(); ++other) {
            if (!grouped[other] &&
                preparedNameScore(prepared[head], prepared[other]) >= settings.lngMatchScore &&
                (!settings.blnUseExtension ||
                 records.extensions[head] == records.extensions[other]) &&
                !records.files[head].sameFileAs(records.files[other])) {
                grouped[other] = true;
                pairs.emplace_back(head, other);
            }
        }
    }
    return pairs;
}

TEST(DuplicateFinder, matchesTheRuleInSmallAndLengthIndexedPartitionsAndNeverPairsOneFile)
{
    // Few letters and many paths per physical file: links meet real copies in every order,
    // some records already grouped by an earlier pass over the same export. Score 0 lets every
    // name pass, so the equality tests and the same-file rule alone decide.
    std::mt19937 rng(17);
    for (int round = 0; round < 200; ++round) {
        // Every tenth partition is large enough for the length index.
        const std::size_t n = round % 10 == 0 ? 150 : rng() % 30;
        Records records;
        for (std::size_t i = 0; i < n; ++i) {
            std::u32string name(rng() % 13, U'a');
            for (char32_t& c : name) {
                c = static_cast<char32_t>(U'a' + rng() % 4);
            }
            const PhysicalFile file =
                rng() % 10 == 0 ? PhysicalFile{} : PhysicalFile{7, 1 + rng() % 6};
            records.add(name, rng() % 2 == 0 ? "MP3" : "OGG", rng() % 8 == 0, file);
        }
        for (const std::int32_t score : {0, 34, 67, 80, 100}) {
            const DedupeSettings settings = byName(score, round % 2 == 0);
            ASSERT_EQ(find(records, settings, 1 + round % 2), sequentialRule(records, settings))
                << "round " << round << ", score " << score;
        }
    }
}

TEST(DuplicateFinderByName, namesWithMoreThan255OfOneCharacterStillPair)
{
    // 280 shared "A"s of 300: score 93. A byte-sized count of 255 must not rule the pair out.
    const std::u32string a = std::u32string(280, U'a') + std::u32string(20, U'b');
    const std::u32string b = std::u32string(280, U'a') + std::u32string(20, U'c');
    for (const std::size_t fillers : {0u, 80u}) {
        Records records;
        records.add(a);
        for (std::size_t i = 0; i < fillers; ++i) {
            records.add(std::u32string(1 + i % 40, U'x'));
        }
        records.add(b);
        const Pairs pairs = find(records, byName(90));
        ASSERT_FALSE(pairs.empty()) << fillers << " fillers";
        EXPECT_EQ(pairs.front(), (std::pair<std::size_t, std::size_t>(0, fillers + 1)));
    }
}

TEST(DuplicateFinderByName, aRecordTakenInOneBlockOfHeadsIsNotPairedAgainInALaterOne)
{
    // Every record has an extension of its own but three; far more heads than one block holds.
    Records records;
    const std::size_t late = 20'000;
    for (std::size_t i = 0; i <= late; ++i) {
        const bool shared = i == 0 || i == late - 1 || i == late;
        records.add(U"song", shared ? "MP3" : std::to_string(i));
    }
    const Pairs expected = {{0, late - 1}, {0, late}};
    EXPECT_EQ(find(records, byName(80, true)), expected);
}

} // namespace
} // namespace corvelle
