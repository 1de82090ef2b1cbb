#include "DedupePassFixture.h"
#include "catalogue/RecordFiles.h"

namespace corvelle::test {
namespace {

using Export = DedupePasses;

using namespace dedupe_record;

// The layout other programs may read: stated here once, in bytes.
static_assert(kSize == 613 && kIdOffset == 0 && kFileOffset == 4 && kExtensionOffset == 304 &&
              kTextBytes == 300 && kSizeOffset == 604 && kCrcOffset == 608 &&
              kGroupedOffset == 612);
static_assert(kDupePairSize == 8);

TEST_F(Export, recordLayoutIsFixedAndLittleEndianWithTextsInCodePage1252)
{
    add("alpha", ".txt", 5, Checksum{static_cast<CrcValue>(0x80000001u)});
    add("beta", "", (std::int64_t{5} << 32) + 0x01020304, Checksum{-1, true});
    add(std::string(310, 'n'), ".e");
    add("Caf\xc3\xa9 \xe2\x82\xac \xd0\x96 \xff", ".\xc3\xa9");
    ASSERT_EQ(db.ExportRecordset(files.exportFile, hooks()), Outcome::Completed);
    const std::string bytes = readFile(files.exportFile);
    ASSERT_EQ(bytes.size(), 4 * kSize);
    const auto field = [&](std::size_t record, std::size_t offset, std::size_t length) {
        return bytes.substr(record * kSize + offset, length);
    };
    EXPECT_EQ(field(0, kIdOffset, 4), std::string("\x01\0\0\0", 4));
    EXPECT_EQ(field(0, kFileOffset, kTextBytes), "alpha" + std::string(295, ' '));
    EXPECT_EQ(field(0, kExtensionOffset, kTextBytes), ".txt" + std::string(296, ' '));
    EXPECT_EQ(field(0, kSizeOffset, 4), std::string("\x05\0\0\0", 4));
    EXPECT_EQ(field(0, kCrcOffset, 4), std::string("\x01\0\0\x80", 4));
    EXPECT_EQ(field(1, kSizeOffset, 4), "\x04\x03\x02\x01") << "the size's low 32 bits";
    EXPECT_EQ(field(1, kCrcOffset, 4), "\xff\xff\xff\xff");
    EXPECT_EQ(field(2, kFileOffset, kTextBytes), std::string(300, 'n')) << "cut to 300";
    EXPECT_EQ(field(2, kGroupedOffset, 1), std::string(1, '\0'));
    EXPECT_EQ(field(3, kFileOffset, 11), "Caf\xe9 \x80 ? ? ") << "one ? per character it lacks";
    EXPECT_EQ(field(3, kExtensionOffset, 3), ".\xe9 ");
}

TEST_F(Export, replacesAnEarlierFileAndStopsAfterTheCurrentRecord)
{
    writeFile(files.exportFile, std::string(5000, 'x'));
    add("a");
    add("b");
    add("c");
    yield = stopAfterYields(stop, 1);
    EXPECT_EQ(db.ExportRecordset(files.exportFile, hooks()), Outcome::Stopped);
    EXPECT_EQ(readFile(files.exportFile).size(), kSize);
    EXPECT_EQ(db.ID(), "2") << "the cursor rests after the last record exported";
}

TEST_F(Export, failureIsReportedAndReturned)
{
    add("a");
    EXPECT_EQ(db.ExportRecordset(dir / "missing-folder" / "dedupe.dat", hooks()), Outcome::Failed);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, "Error occured exporting records to temp dupe check file");
    // The reason names the file and what the system said.
    EXPECT_NE(messages.shown[0].reason.find("missing-folder/dedupe.dat"), std::string::npos);
    EXPECT_NE(messages.shown[0].reason.find("No such file or directory"), std::string::npos);
}

} // namespace
} // namespace corvelle::test
