#include "common/TextEscapes.h"

#include <gtest/gtest.h>

namespace corvelle {
namespace {

TEST(TextEscapes, tsvIsReversibleAndReadableTextHoldsNoControlCharacters)
{
    EXPECT_EQ(escapeTsv("a\\b\tc\nd\re"), "a\\\\b\\tc\\nd\re");
    EXPECT_EQ(escapeReadable("caf\xc3\xa9\t\x1b[31m\xff"), "caf\xc3\xa9\\t\\x1B[31m\\xFF");
    EXPECT_EQ(escapeReadable("a\\b\nc\x7f"), "a\\\\b\\nc\\x7F");
}

TEST(TextEscapes, utf8Validity)
{
    EXPECT_TRUE(isValidUtf8("plain caf\xc3\xa9 \xf0\x9f\x8e\xb5"));
    EXPECT_FALSE(isValidUtf8("\xc0\xaf"));         // overlong "/"
    EXPECT_FALSE(isValidUtf8("\xed\xa0\x80"));     // a surrogate
    EXPECT_FALSE(isValidUtf8("\xf4\x90\x80\x80")); // past U+10FFFF
    EXPECT_FALSE(isValidUtf8("\xe2\x82"));         // cut short
    EXPECT_EQ(lossyUtf8("a\xffz"), "a\xEF\xBF\xBDz");
}

TEST(TextEscapes, percentEncodedPathsAreAsciiAndDecodeToEveryByte)
{
    std::string all;
    for (int byte = 1; byte < 256; ++byte) {
        all.push_back(static_cast<char>(byte));
    }
    const std::string encoded = percentEncodePath(all);
    for (const char c : encoded) {
        ASSERT_TRUE(c > ' ' && c < 0x7F) << "raw byte " << int(c);
    }
    EXPECT_EQ(percentDecode(encoded), all);
    EXPECT_EQ(fileUrl("/home/a b/50%.txt"), "file:///home/a%20b/50%25.txt");
    EXPECT_EQ(percentDecode("100%"), "100%") << "a lone percent sign is kept";
}

} // namespace
} // namespace corvelle
