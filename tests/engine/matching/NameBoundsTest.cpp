#include "matching/NameBounds.h"

#include "NameEdits.h"
#include "matching/NameMatching.h"
#include "matching/NameTable.h"

#include <gtest/gtest.h>
#include <random>

namespace corvelle {
namespace {

/// The longest common subsequence by the textbook table.
std::size_t plainLcs(std::u32string_view a, std::u32string_view b)
{
    std::vector<std::size_t> row(b.size() + 1, 0);
    for (const char32_t c : a) {
        std::size_t diagonal = 0;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = c == b[j - 1] ? diagonal + 1 : std::max(row[j], row[j - 1]);
            diagonal = above;
        }
    }
    return row.back();
}

/// A name of `length` codes from a small alphabet, so that names share much; some codes are
/// rare (past the directly indexed ones).
std::u32string randomCodes(std::mt19937& rng, std::size_t length, unsigned alphabet)
{
    std::u32string codes(length, 0);
    for (char32_t& c : codes) {
        const unsigned pick = rng() % alphabet;
        c = pick + 1 == alphabet ? static_cast<char32_t>(300 + rng() % 3) : pick;
    }
    return codes;
}

TEST(LcsBound, equalsTheTableForOneWordAndManyWordsAndRareCodes)
{
    std::mt19937 rng(11);
    LcsBound lcs;
    for (int round = 0; round < 1000; ++round) {
        // Lengths around the word boundaries, up to the 300 characters of a name.
        static const std::size_t lengths[] = {0, 1, 5, 17, 63, 64, 65, 127, 128, 129, 300};
        const std::size_t la = round % 3 == 0 ? lengths[rng() % 11] : rng() % 70;
        const unsigned alphabet = 2 + rng() % 6;
        const std::u32string a = randomCodes(rng, la, alphabet);
        lcs.setFirst(a);
        for (int other = 0; other < 3; ++other) {
            const std::u32string b = randomCodes(rng, rng() % 140, alphabet);
            ASSERT_EQ(lcs.with(b), plainLcs(a, b)) << "round " << round << ", |a| " << la;
        }
    }
}

/// A mutation of a name: characters inserted, deleted, swapped or changed, so that the pair
/// is near the score in either direction.
std::u32string mutated(std::mt19937& rng, std::u32string name, unsigned alphabet)
{
    for (int edits = static_cast<int>(rng() % 4); edits >= 0; --edits) {
        const std::size_t at = name.empty() ? 0 : rng() % name.size();
        test::editName(name, rng(), at, static_cast<char32_t>(rng() % alphabet));
    }
    return name;
}

// The bounds that skip a pair are proven never to fall below the recursion's matched count
// (see NameBounds.h); here they are held to it on near names, in both directions.
TEST(NameBounds, neverFallBelowTheMatchedCharactersOfTheRecursion)
{
    std::mt19937 rng(5);
    LcsBound lcs;
    for (int round = 0; round < 5000; ++round) {
        const unsigned alphabet = 2 + rng() % 70; // past the 31 slots of a signature
        const std::u32string a = randomCodes(rng, rng() % 40, alphabet);
        const std::u32string b = mutated(rng, a, alphabet);
        NameTable table;
        const std::uint32_t idA = table.intern(a);
        const std::uint32_t idB = table.intern(b);
        table.code();
        const std::u32string_view codedA = table.text(idA);
        const std::u32string_view codedB = table.text(idB);
        const std::size_t m = std::max(commonLength(codedA, codedB), commonLength(codedB, codedA));
        lcs.setFirst(codedA);
        const std::size_t longest = lcs.with(codedB);
        const std::uint32_t shared =
            sharedBySignature(Signature::of(codedA), Signature::of(codedB));
        ASSERT_LE(m, longest) << "round " << round;
        ASSERT_LE(longest, shared) << "round " << round;
    }
}

TEST(NameBounds, countsThatDoNotFitInAByteRuleNothingOut)
{
    // 280 of one character: the byte holds 255, the pair shares 280.
    const std::u32string a = std::u32string(280, U'a') + U"b";
    const std::u32string b = std::u32string(280, U'a') + U"c";
    NameTable table;
    const Signature signatureA = Signature::of(table.text(table.intern(a)));
    const Signature signatureB = Signature::of(table.text(table.intern(b)));
    EXPECT_GE(sharedBySignature(signatureA, signatureB), 280u);
    EXPECT_GE(sharedBySignature(signatureA, Signature::of(U"bc")), 2u);
}

TEST(NameBounds, theScanFindsTheFirstSignatureThatMayReachTheCount)
{
    // Four at a time where the processor allows: every lane must be read in order.
    std::mt19937 rng(3);
    for (int round = 0; round < 2000; ++round) {
        std::vector<Signature> signatures(rng() % 40);
        for (Signature& s : signatures) {
            s = Signature::of(randomCodes(rng, rng() % 12, 40));
        }
        const Signature query = Signature::of(randomCodes(rng, rng() % 12, 40));
        const std::size_t from = rng() % (signatures.size() + 1);
        const auto needed = static_cast<std::uint32_t>(rng() % 8);
        std::size_t expected = from;
        while (expected < signatures.size() &&
               sharedBySignature(query, signatures[expected]) < needed) {
            ++expected;
        }
        ASSERT_EQ(nextPossibleMatch(signatures, from, query, needed), expected) << round;
    }
}

TEST(NeededMatches, isTheLeastCountThatReachesTheScore)
{
    for (const std::int32_t score : {1, 50, 80, 100, 101}) {
        const NeededMatches needed(40, score);
        for (std::size_t la = 0; la <= 40; ++la) {
            for (std::size_t lb = 0; lb <= 40; ++lb) {
                const std::uint32_t m = needed(la, lb);
                if (la + lb == 0) {
                    EXPECT_EQ(m, score <= 100 ? 0u : 1u);
                    continue;
                }
                if (m <= std::min(la, lb)) {
                    EXPECT_GE(similarityScore(m, la, lb), score);
                }
                if (m > 0 && m - 1 <= std::min(la, lb)) {
                    EXPECT_LT(similarityScore(m - 1, la, lb), score);
                }
                EXPECT_EQ(needed.feasible(la, lb), m <= std::min(la, lb));
            }
        }
    }
}

} // namespace
} // namespace corvelle
