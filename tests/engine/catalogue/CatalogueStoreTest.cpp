#include "TestSupport.h"
#include "catalogue/clsDatabase.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

namespace corvelle {
namespace {

class CatalogueStore : public ::testing::Test {
protected:
    void SetUp() override { db.OpenProject(dir / "data.dat"); }

    test::TempDir dir;
    clsDatabase db;
};

/// A catalogue as the window keeps it, and one for a single run that keeps each folder once.
class EitherCatalogue : public CatalogueStore, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override
    {
        if (GetParam()) {
            db.openScratch(dir / "scratch.dat");
        } else {
            CatalogueStore::SetUp();
        }
    }
};

INSTANTIATE_TEST_SUITE_P(CatalogueStore, EitherCatalogue, ::testing::Bool());

TEST_P(EitherCatalogue, aPathIsCataloguedOnceAndTheKeyComparesEveryFieldsExactBytes)
{
    const std::string odd = std::string("tab\there\nnl\xff\xfe", 13);
    ASSERT_EQ(db.AddRecord("/d\xe9/", odd, ".\x80", 5, -1), 1_id);
    EXPECT_EQ(db.AddRecord("/d\xe9/", odd, ".\x80", 5, -1), 0_id);
    ASSERT_EQ(db.AddRecord("", "", "", 0, 0), 2_id);
    EXPECT_EQ(db.AddRecord("", "", "", 0, 0), 0_id) << "empty texts must still be unique";
    ASSERT_TRUE(db.FindID(1_id));
    EXPECT_EQ(db.Path() + db.File() + db.Extension(), "/d\xe9/" + odd + ".\x80");

    ASSERT_NE(db.AddRecord("/a/", "x", ".txt", 5, 7), 0_id);
    EXPECT_NE(db.AddRecord("/A/", "X", ".TXT", 5, 7), 0_id) << "differing in case";
    EXPECT_NE(db.AddRecord("/a/", "x", ".txt", 5, 8), 0_id) << "checksum only";
    EXPECT_NE(db.AddRecord("/a/", "x", ".txt", 5 + (std::int64_t{1} << 32), 7), 0_id)
        << "sizes equal in their low 32 bits";
    EXPECT_EQ(db.RecordCount(), 6);

    // Every record reads back whole, through the cursor as by its ID.
    std::vector<std::string> paths;
    db.MoveFirst();
    while (!db.Eof()) {
        paths.push_back(db.Path() + db.File() + db.Extension());
        db.MoveNext();
    }
    EXPECT_EQ(paths, (std::vector<std::string>{"/d\xe9/" + odd + ".\x80", "", "/a/x.txt",
                                               "/A/X.TXT", "/a/x.txt", "/a/x.txt"}));
    db.DeleteRecord(1_id);
    ASSERT_TRUE(db.FindID(3_id));
    EXPECT_EQ(db.currentRecord().path, "/a/");
}

// Sizes, checksums and physical files in general make the round trip through the grouping
// pass's equivalence test.
TEST_F(CatalogueStore, physicalFilesWithTheTopBitSetRoundTripAndMakeNoPathNew)
{
    // Numbers with the top bit set must survive SQLite's signed integers.
    const PhysicalFile file{0x8000000000000801ull, 0xFFFFFFFFFFFFFFF0ull};
    const RecordId id = db.AddRecord("/a/", "big", ".iso", 5, -1, file);
    EXPECT_EQ(db.AddRecord("/a/", "big", ".iso", 5, -1, PhysicalFile{1, 2}), 0_id);
    ASSERT_TRUE(db.FindID(id));
    EXPECT_EQ(db.currentRecord().identity, file);
}

TEST_F(CatalogueStore, idsAboveSixteenBitsAreFoundAndDeletedAndNoIdIsEverReused)
{
    for (int i = 0; i < 33000; ++i) {
        ASSERT_EQ(db.AddRecord("/p/", "f" + std::to_string(i), "", i, 0), RecordId{i + 1});
    }
    ASSERT_TRUE(db.FindID(32768_id));
    EXPECT_EQ(db.File(), "f32767");
    db.DeleteRecord(32768_id);
    EXPECT_FALSE(db.FindID(32768_id));
    EXPECT_EQ(db.RecordCount(), 32999);

    // A reused ID would let a row listed before the deletion name another file.
    db.DeleteRecord(33000_id);
    EXPECT_EQ(db.AddRecord("/", "b", "", 1, 0), 33001_id);
    db.DeleteRecords();
    EXPECT_EQ(db.AddRecord("/", "c", "", 1, 0), 33002_id);
}

TEST(CatalogueStoreUpgrade, aCatalogueWithoutPhysicalFilesGainsThemUnknownAndKeepsItsKey)
{
    // A catalogue file as it was written before records kept their physical file.
    test::TempDir dir;
    const auto file = dir / "data.dat";
    sqlite3* old = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &old), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(old,
                           "CREATE TABLE FileList (ID INTEGER PRIMARY KEY AUTOINCREMENT,"
                           " Path BLOB NOT NULL, File BLOB NOT NULL, Extension BLOB NOT NULL,"
                           " Size INTEGER NOT NULL, CRC INTEGER NOT NULL,"
                           " CrcFailed INTEGER NOT NULL DEFAULT 0);"
                           "CREATE UNIQUE INDEX PrimaryKey ON FileList"
                           " (Path, File, Extension, Size, CRC);"
                           "INSERT INTO FileList (Path, File, Extension, Size, CRC)"
                           " VALUES (CAST('/a/' AS BLOB), CAST('old' AS BLOB), x'', 3, 0);",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(old);

    // Opened twice: the first opening upgrades it, the second finds it upgraded.
    for (int opening = 0; opening < 2; ++opening) {
        clsDatabase db;
        db.OpenProject(file);
        EXPECT_EQ(db.File(), "old") << "it rests on its first record";
        EXPECT_FALSE(db.currentRecord().identity.known());
        EXPECT_EQ(db.AddRecord("/a/", "old", "", 3, 0), 0_id) << "a catalogued path is not new";
        if (opening == 0) {
            ASSERT_EQ(db.AddRecord("/a/", "new", "", 3, 0, PhysicalFile{5, 6}), 2_id);
        }
        ASSERT_TRUE(db.FindID(2_id)) << "opening " << opening;
        EXPECT_EQ(db.currentRecord().identity, (PhysicalFile{5, 6}));
    }
    // Opened for a fresh run, it is emptied (it bears no mark of this store to start anew).
    clsDatabase db;
    db.openEmptied(file);
    EXPECT_EQ(db.RecordCount(), 0);
    EXPECT_EQ(db.AddRecord("/a/", "later", "", 3, 0), 3_id);
}

TEST(CatalogueStoreErrors, aFileThatIsNoCatalogueIsRefusedAndLeftAsItWas)
{
    test::TempDir dir;
    const std::string text = "this is not a database at all, just text";
    test::writeFile(dir / "text.dat", text);
    {
        // A database, but of something else.
        sqlite3* other = nullptr;
        ASSERT_EQ(sqlite3_open((dir / "other.db").c_str(), &other), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(other, "CREATE TABLE Songs (Title TEXT)", nullptr, nullptr, nullptr),
                  SQLITE_OK);
        sqlite3_close(other);
    }
    const std::string otherBytes = test::readFile(dir / "other.db");
    // Opening for a fresh run, which empties a catalogue, must not empty them either.
    for (const char* name : {"text.dat", "other.db"}) {
        clsDatabase db;
        EXPECT_THROW(db.OpenProject(dir / name), NotACatalogue) << name;
        EXPECT_THROW(db.openEmptied(dir / name), NotACatalogue) << name;
        EXPECT_FALSE(db.isOpen());
    }
    EXPECT_EQ(test::readFile(dir / "text.dat"), text);
    EXPECT_EQ(test::readFile(dir / "other.db"), otherBytes);
}

TEST(CatalogueStoreErrors, openingEmptiedStartsAfreshEvenFromTheDamageOfAKilledRun)
{
    test::TempDir dir;
    const auto file = dir / "data.dat";
    {
        clsDatabase db;
        db.OpenProject(file);
        for (int i = 0; i < 3000; ++i) {
            db.AddRecord("/some/folder/", "file " + std::to_string(i), ".txt", i, i);
        }
        db.CloseProject();
    }
    // A commit cut short leaves the first page written and the ones after it torn.
    {
        std::string bytes = test::readFile(file);
        ASSERT_GT(bytes.size(), 3u * 8192);
        std::fill(bytes.begin() + 8192, bytes.begin() + 3 * 8192, '\xAB');
        test::writeFile(file, bytes);
    }
    EXPECT_THROW(
        {
            clsDatabase damaged;
            damaged.OpenProject(file);
            damaged.DeleteRecords();
        },
        StoreError);

    for (int run = 0; run < 2; ++run) {
        clsDatabase db;
        db.openEmptied(file); // its first page still bears the store's application_id mark
        EXPECT_EQ(db.RecordCount(), 0) << "run " << run;
        EXPECT_TRUE(db.AddRecord("/a/", "x", ".txt", 1, 0));
        db.CloseProject();
    }
}

} // namespace
} // namespace corvelle
