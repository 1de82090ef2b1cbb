#include "matching/DuplicateFinder.h"

#include "common/Utf8.h"

#include <cstdint>
#include <gtest/gtest.h>

namespace corvelle {
namespace {

TEST(ExtensionKey, asciiAndUnicodeInputGiveTheSameKey)
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
        {"", U"", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(extensionKey(c.bytes), c.key) << c.bytes;
        EXPECT_EQ(extensionKey(c.text), c.key) << c.bytes;
    }
}

TEST(ExtensionKey, onlyTheFirst300CharactersCount)
{
    const std::string upper(300, 'A');
    EXPECT_EQ(extensionKey(std::string(310, 'a')), upper);
    EXPECT_EQ(extensionKey(std::u32string(310, U'a')), upper);
    // A non-ASCII byte past the cut does not change the key.
    EXPECT_EQ(extensionKey(std::string(300, 'a') + "\xc3\xa9"), upper);
    EXPECT_EQ(extensionKey(std::string(299, 'a') + "\xc3\xa9"), std::string(299, 'A') + "\xc3\x89");
}

TEST(ExtensionKey, anUndecodableByteNeverEqualsTheBytesOfItsKey)
{
    // 0xFF is kept as the surrogate U+DCFF, whose three bytes, read back, are three
    // undecodable bytes again: the two extensions must keep different keys.
    const std::string key = extensionKey(std::string_view("\xff"));
    EXPECT_EQ(key, "\xed\xb3\xbf");
    EXPECT_NE(extensionKey(key), key);
    EXPECT_NE(extensionKey(std::string_view("\xfe")), key);
}

TEST(Utf8Encoding, everyLengthBoundaryDecodesBackToItself)
{
    for (const char32_t c :
         {U'\0', U'\x7F', U'\x80', U'\u07FF', U'\u0800', U'\uFFFF', U'\U00010000', U'\U0010FFFF'}) {
        std::string bytes;
        appendUtf8(bytes, c);
        char32_t decoded = 0;
        ASSERT_EQ(utf8SequenceAt(bytes, 0, decoded), bytes.size())
            << std::hex << static_cast<std::uint32_t>(c);
        EXPECT_EQ(decoded, c);
    }
}

} // namespace
} // namespace corvelle
