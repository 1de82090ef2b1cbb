#include "matching/NameMatching.h"

#include "ReferenceDedupe.h"
#include "matching/NameText.h"

#include <gtest/gtest.h>
#include <random>

namespace corvelle {
namespace {

using test::naiveCommonLength;

std::u32string u(std::string_view utf8)
{
    return decodeName(utf8);
}

TEST(NameCleanup, bracketsAreStrippedParenthesesFirstWithoutNesting)
{
    EXPECT_EQ(StripBracketedText(u("a (b (c) d) e")), u("a  d e"));
    EXPECT_EQ(StripBracketedText(u("x (unclosed")), u("x "));
    EXPECT_EQ(StripBracketedText(u("a) b")), u("a b"));
    EXPECT_EQ(StripBracketedText(u("[a(b]c)")), u(""));
    EXPECT_EQ(StripBracketedText(u("{keep} <these>")), u("{keep} <these>"));
}

TEST(NameCleanup, numbersSymbolsAndSpacesAreIndependentTests)
{
    EXPECT_EQ(CleanName(u("Track 01"), true, false, false), u("Track "));
    EXPECT_EQ(CleanName(u("rock-n_roll!"), false, true, false), u("rocknroll"));
    EXPECT_EQ(CleanName(u("a b-c 1"), false, true, false), u("a bc 1")) << "space survives";
    EXPECT_EQ(CleanName(u("a b-c 1"), false, true, true), u("abc1"));
    // Only ASCII letters and digits survive Remove Symbols: accented, non-Latin and letters
    // whose upper case is ASCII (dotless i, long s) are dropped, as are full-width digits.
    EXPECT_EQ(CleanName(u("Café ıſ Ж ３"), false, true, false), u("Caf   "));
    EXPECT_EQ(CleanName(u("１２3"), true, false, false), u("１２"));
}

TEST(NameCleanup, invalidBytesAreCharactersOfTheirOwn)
{
    const std::u32string name = decodeName("a\xff"
                                           "b");
    ASSERT_EQ(name.size(), 3u);
    EXPECT_TRUE(isEscapedByte(name[1]));
    EXPECT_EQ(CleanName(name, false, true, false), u("ab")) << "never a letter or digit";
    EXPECT_EQ(upperChar(name[1]), name[1]);
    EXPECT_NE(decodeName("\xfe")[0], decodeName("\xff")[0]);
    // Overlong forms and encoded surrogates are invalid, byte by byte.
    EXPECT_EQ(decodeName("\xc0\xaf").size(), 2u);
    EXPECT_EQ(decodeName("\xed\xa0\x80").size(), 3u);
}

TEST(NameSimilarityRatio, workedExamplesAndEdges)
{
    EXPECT_DOUBLE_EQ(NameSimilarity(u("ABCD"), u("abxd")), 0.75);
    EXPECT_DOUBLE_EQ(NameSimilarity(u("Hello"), u("hELLO")), 1.0);
    EXPECT_DOUBLE_EQ(NameSimilarity(u(""), u("")), 1.0);
    EXPECT_DOUBLE_EQ(NameSimilarity(u(""), u("x")), 0.0);
    EXPECT_EQ(similarityScore(1, 8, 8), 12) << "12.5 rounds to even";
    EXPECT_EQ(similarityScore(3, 8, 8), 38) << "37.5 rounds to even";
    // Upper case is the simple Unicode mapping; names outside code page 1252 never collapse
    // to question marks.
    EXPECT_EQ(upperChar(U'ß'), U'ß');
    EXPECT_DOUBLE_EQ(NameSimilarity(u("привет"), u("ПРИВЕТ")), 1.0);
    EXPECT_DOUBLE_EQ(NameSimilarity(u("привет"), u("日本語")), 0.0);
}

TEST(NameSimilarityRatio, fastSearchEqualsTheTripleLoopOnRandomNames)
{
    std::mt19937 rng(7);
    for (int round = 0; round < 20000; ++round) {
        const int alphabet = 2 + static_cast<int>(rng() % 5);
        std::u32string a(rng() % 14, U'A');
        std::u32string b(rng() % 14, U'A');
        for (auto& c : a) {
            c = static_cast<char32_t>(U'A' + rng() % static_cast<unsigned>(alphabet));
        }
        for (auto& c : b) {
            c = static_cast<char32_t>(U'A' + rng() % static_cast<unsigned>(alphabet));
        }
        const int la = static_cast<int>(a.size());
        const int lb = static_cast<int>(b.size());
        ASSERT_EQ(static_cast<int>(commonLength(a, b)), naiveCommonLength(a, b, 1, la, 1, lb))
            << std::string(a.begin(), a.end()) << " / " << std::string(b.begin(), b.end());
    }
}

TEST(NamePreparation, cutsTrimsCleansAndUpperCases)
{
    const NameCleanup all;
    EXPECT_EQ(prepareName(u("  Track 01 (Live) "), all), u("TRACK"));
    EXPECT_EQ(prepareName(u("(only brackets)"), all), u(""));
    const NameCleanup none{false, false, false, false};
    EXPECT_EQ(prepareName(u(" a\tb "), none), u("A\tB")) << "only spaces are trimmed";
    // Characters after the 300th never count.
    const std::u32string longA = std::u32string(300, U'x') + U"tail-a";
    const std::u32string longB = std::u32string(300, U'x') + U"other";
    EXPECT_EQ(prepareName(longA, none), prepareName(longB, none));
    // Clean-up happens before upper-casing: a dotless i is a symbol, not an I.
    EXPECT_EQ(prepareName(u("ıx"), all), u("X"));
}

} // namespace
} // namespace corvelle
