// The archive reader: opening and creating, the record table, key lookup, reading and verifying
// records, and crafted files that must fail cleanly.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "archive/VornDb.h"
#include "archive/VornDbWriter.h"
#include "archive/VornMd5.h"
#include "support/TempDir.h"

namespace {

namespace fs = std::filesystem;
using vorn::TRawRecord;
using vorn::TVornDb;
using vorn::TVornDbWriter;
using vorn::test::Bytes;

Bytes BytesOf(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

using vorn::test::ReadFile;
using vorn::test::WriteFile;

class VornDbTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(m_dir.path().empty()); }

    fs::path Path(const std::string& name) const { return m_dir / name; }

    // Writes writer's archive as name and opens a reader on it in mode.
    std::string Save(const TVornDbWriter& writer, const std::string& name = "test.dat") {
        const fs::path path = Path(name);
        WriteFile(path, writer.Build());
        return path.string();
    }
    static void OpenReader(TVornDb& db, const std::string& path, vorn::TOpenModes mode = vorn::opReadOnly) {
        db.SetFileName(path);
        db.SetOpenMode(mode);
    }

    vorn::test::TempDir m_dir{"vorndb-"};
};

// ---- opening and creating ----

TEST_F(VornDbTest, UpdateOnMissingFileCreatesTheEmptyArchive) {
    TVornDb db;
    EXPECT_EQ(db.OpenMode(), vorn::opUpdate);
    db.SetFileName(Path("new.dat").string());
    ASSERT_TRUE(db.Open());
    EXPECT_TRUE(db.Opened());
    EXPECT_EQ(db.RecordCount(), 0);
    const Bytes expected = {0x56, 0x4E, 0x44, 0x62, 0, 0, 0, 0, 0x0C, 0, 0, 0};
    EXPECT_EQ(ReadFile(Path("new.dat")), expected);

    TVornDb again; // the created file reads as an archive with no records
    OpenReader(again, Path("new.dat").string());
    EXPECT_TRUE(again.Open());
    EXPECT_EQ(again.RecordCount(), 0);
}

TEST_F(VornDbTest, ReadOnlyOnMissingFileFailsAndCreatesNothing) {
    TVornDb db;
    OpenReader(db, Path("missing.dat").string());
    EXPECT_FALSE(db.Open());
    EXPECT_FALSE(db.Opened());
    EXPECT_FALSE(fs::exists(Path("missing.dat")));
}

TEST_F(VornDbTest, OverwriteReplacesAnExistingArchive) {
    TVornDbWriter writer;
    writer.AddRecord("a", 1, BytesOf("data"));
    const std::string path = Save(writer);
    TVornDb db;
    OpenReader(db, path, vorn::opOverwrite);
    ASSERT_TRUE(db.Open());
    EXPECT_EQ(db.RecordCount(), 0);
    EXPECT_EQ(ReadFile(path).size(), 12u);
}

TEST_F(VornDbTest, UpdateDoesNotOverwriteAnUnreadableFile) {
    // A directory exists but cannot be read as an archive; it must not be replaced.
    fs::create_directories(Path("folder.dat"));
    TVornDb db;
    OpenReader(db, Path("folder.dat").string(), vorn::opUpdate);
    EXPECT_FALSE(db.Open());
    EXPECT_TRUE(fs::is_directory(Path("folder.dat")));
}

TEST_F(VornDbTest, CreateInMissingFolderFails) {
    TVornDb db;
    OpenReader(db, Path("no/such/folder/vorn.dat").string(), vorn::opOverwrite);
    EXPECT_FALSE(db.Open());
    EXPECT_FALSE(db.Opened());
}

TEST_F(VornDbTest, SignatureIsNotChecked) {
    TVornDbWriter writer;
    writer.AddRecord("brush", 1, BytesOf("texels"));
    Bytes file = writer.Build();
    file[0] = 'X', file[1] = 'Y', file[2] = 'Z', file[3] = 0;
    WriteFile(Path("odd.dat"), file);
    TVornDb db;
    OpenReader(db, Path("odd.dat").string());
    ASSERT_TRUE(db.Open());
    Bytes data;
    EXPECT_TRUE(db.ReadRecord("brush", data));
    EXPECT_EQ(data, BytesOf("texels"));
}

TEST_F(VornDbTest, SettingTheSameFileNameForcesAReRead) {
    TVornDbWriter one;
    one.AddRecord("a", 1, BytesOf("1"));
    const std::string path = Save(one);
    TVornDb db;
    OpenReader(db, path);
    ASSERT_TRUE(db.EnsureOpen());
    ASSERT_EQ(db.RecordCount(), 1);

    TVornDbWriter two = one;
    two.AddRecord("b", 1, BytesOf("2"));
    Save(two);
    EXPECT_TRUE(db.EnsureOpen()); // already open: the file is not read again
    EXPECT_EQ(db.RecordCount(), 1);
    db.SetFileName(path);
    EXPECT_FALSE(db.Opened());
    EXPECT_TRUE(db.EnsureOpen());
    EXPECT_EQ(db.RecordCount(), 2);
}

TEST_F(VornDbTest, OpenModeChangeWaitsForTheNextOpen) {
    TVornDbWriter writer;
    writer.AddRecord("a", 1, BytesOf("1"));
    const std::string path = Save(writer);
    const Bytes before = ReadFile(path);
    TVornDb db;
    OpenReader(db, path);
    ASSERT_TRUE(db.Open());
    db.SetOpenMode(vorn::opOverwrite);
    EXPECT_TRUE(db.Opened());
    EXPECT_TRUE(db.EnsureOpen());
    EXPECT_EQ(db.RecordCount(), 1);
    EXPECT_EQ(ReadFile(path), before);
    EXPECT_TRUE(db.Open()); // now the new mode applies
    EXPECT_EQ(ReadFile(path).size(), 12u);
}

// ---- the table ----

TEST_F(VornDbTest, EmptyTableAndIndicesOutOfRange) {
    TVornDbWriter empty;
    TVornDb db;
    OpenReader(db, Save(empty));
    ASSERT_TRUE(db.Open());
    EXPECT_EQ(db.RecordCount(), 0);
    EXPECT_EQ(db.RecordType(0), 0);
    EXPECT_EQ(db.RecordKey(0), "[invalid-record-#]");

    TVornDbWriter writer;
    writer.AddRecord("first", 7, BytesOf("x"));
    OpenReader(db, Save(writer));
    ASSERT_TRUE(db.Open());
    EXPECT_EQ(db.RecordKey(-1), "[invalid-record-#]");
    EXPECT_EQ(db.RecordKey(1), "[invalid-record-#]");
    EXPECT_EQ(db.RecordType(-1), 0);
    EXPECT_EQ(db.RecordType(1), 0);
    EXPECT_EQ(db.RecordKey(0), "first");
    EXPECT_EQ(db.RecordType(0), 7);
}

TEST_F(VornDbTest, TableHoldsEveryRecordHeaderField) {
    TRawRecord raw = TVornDbWriter::MakeRecord("Key", 0xFFFE, BytesOf("plain bytes"), 45292.5);
    raw.Secure = 0x1234;
    raw.Vector = {1, 2, 3, 4, 5, 6, 7, 8};
    TVornDbWriter writer;
    writer.AddRawRecord(raw);
    TVornDb db;
    OpenReader(db, Save(writer));
    ASSERT_TRUE(db.Open());
    const vorn::TRecordInfo* info = db.Record(0);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->Key, "Key");
    EXPECT_EQ(info->Offset, 12);
    EXPECT_EQ(info->RecordType, 0xFFFE); // zero-extended
    EXPECT_EQ(info->UnpackedSize, 11);
    EXPECT_EQ(info->StoredSize, static_cast<std::int32_t>(raw.Stored.size()));
    EXPECT_EQ(info->Timestamp, 45292.5);
    EXPECT_EQ(info->Checksum, vorn::Md5Of("plain bytes", 11));
    EXPECT_EQ(info->Secure, 0x34); // low byte only
    EXPECT_EQ(info->Vector, raw.Vector);
}

TEST_F(VornDbTest, KeyLengthBelowOneGivesAnEmptyKey) {
    TVornDbWriter writer;
    TRawRecord negative = TVornDbWriter::MakeRecord("", 1, BytesOf("first"));
    negative.KeyLength = -5;
    writer.AddRawRecord(negative);
    writer.AddRecord("", 1, BytesOf("second")); // length 0
    writer.AddRecord("third", 1, BytesOf("third"));
    TVornDb db;
    OpenReader(db, Save(writer));
    ASSERT_TRUE(db.Open());
    ASSERT_EQ(db.RecordCount(), 3);
    EXPECT_EQ(db.RecordKey(0), "");
    EXPECT_EQ(db.RecordKey(1), "");
    EXPECT_EQ(db.RecordKey(2), "third");
    Bytes data;
    EXPECT_TRUE(db.ReadRecord("", data)); // the first empty key
    EXPECT_EQ(data, BytesOf("first"));
    EXPECT_TRUE(db.ReadRecord("third", data));
    EXPECT_EQ(data, BytesOf("third"));
}

TEST_F(VornDbTest, KeysMatchIgnoringAsciiCaseOnly) {
    TVornDbWriter writer;
    writer.AddRecord("Brush", 1, BytesOf("earlier"));
    writer.AddRecord("BRUSH", 1, BytesOf("later"));
    writer.AddRecord("\xC4qu", 1, BytesOf("upper A umlaut"));
    TVornDb db;
    OpenReader(db, Save(writer));
    ASSERT_TRUE(db.Open());
    EXPECT_EQ(db.IndexOf("brush"), 0);
    EXPECT_EQ(db.IndexOf("BRUSH"), 0);
    EXPECT_EQ(db.IndexOf("bRuSh"), 0);
    EXPECT_EQ(db.IndexOf("brush "), -1);
    EXPECT_EQ(db.IndexOf("\xC4QU"), 2);  // ASCII letters fold
    EXPECT_EQ(db.IndexOf("\xE4qu"), -1); // a byte above 127 matches only itself
    EXPECT_EQ(db.IndexOf(""), -1);
    Bytes data;
    EXPECT_TRUE(db.ReadRecord("BRUSH", data));
    EXPECT_EQ(data, BytesOf("earlier"));
}

TEST_F(VornDbTest, FailureWhileReadingRecordHeadersKeepsTheEntriesReadSoFar) {
    TVornDbWriter writer;
    writer.AddRecord("a", 1, BytesOf("1"));
    writer.AddRecord("b", 1, BytesOf("2"));
    Bytes file = writer.Build();
    // Point the second entry's offset past the end of the file: its last four bytes.
    const auto past = static_cast<std::uint32_t>(file.size() + 100);
    for (int i = 0; i < 4; ++i) file[file.size() - 4 + i] = static_cast<std::uint8_t>(past >> (8 * i));
    WriteFile(Path("t.dat"), file);
    TVornDb db;
    OpenReader(db, Path("t.dat").string());
    EXPECT_FALSE(db.Open());
    ASSERT_EQ(db.RecordCount(), 1);
    EXPECT_EQ(db.RecordKey(0), "a");
    Bytes data;
    EXPECT_FALSE(db.ReadRecord("a", data)); // every read reads the whole table again
}

TEST_F(VornDbTest, TableLongerThanTheLimitIsRefused) {
    // Entries with empty keys, all pointing at one record; the file holds every one of them.
    TVornDbWriter writer;
    writer.AddRecord("", 1, BytesOf("r"));
    for (std::int32_t count : {TVornDb::kMaxRecordCount, TVornDb::kMaxRecordCount + 1}) {
        Bytes file = writer.Build();
        const Bytes entry(file.end() - 8, file.end());
        for (std::int32_t i = 1; i < count; ++i) file.insert(file.end(), entry.begin(), entry.end());
        for (int i = 0; i < 4; ++i) file[4 + i] = static_cast<std::uint8_t>(count >> (8 * i));
        WriteFile(Path("long.dat"), file);
        TVornDb db;
        OpenReader(db, Path("long.dat").string());
        EXPECT_EQ(db.Open(), count <= TVornDb::kMaxRecordCount) << count;
        EXPECT_EQ(db.RecordCount(), count <= TVornDb::kMaxRecordCount ? count : 0);
    }
}

// ---- reading records ----

TEST_F(VornDbTest, ReadRecordRoundTrip) {
    Bytes big(100000);
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<std::uint8_t>(i * 7 + i / 300);
    TVornDbWriter writer;
    writer.AddRecord("small", 2, BytesOf("x"));
    writer.AddRecord("big", 1, big);
    TVornDb db;
    OpenReader(db, Save(writer));
    ASSERT_TRUE(db.Open());
    Bytes data = {9, 9};
    EXPECT_TRUE(db.ReadRecord("big", data));
    EXPECT_EQ(data, big);
    EXPECT_TRUE(db.ReadRecord("SMALL", data));
    EXPECT_EQ(data, BytesOf("x"));
    EXPECT_FALSE(db.ReadRecord("missing", data));
    EXPECT_TRUE(data.empty());
}

TEST_F(VornDbTest, UnpackedSizeZeroIsNeverRead) {
    TVornDbWriter writer;
    writer.AddRecord("empty", 1, Bytes());
    TVornDb db;
    OpenReader(db, Save(writer));
    ASSERT_TRUE(db.Open());
    Bytes data;
    EXPECT_FALSE(db.ReadRecord("empty", data));
}

TEST_F(VornDbTest, StreamOneByteLongerOrShorterThanUnpackedSizeFails) {
    const Bytes plain = BytesOf("exactly twenty bytes");
    for (int delta : {-1, +1}) {
        TRawRecord raw = TVornDbWriter::MakeRecord("r", 1, plain);
        raw.UnpackedSize += delta;
        // The checksum matches the first UnpackedSize bytes (or those plus one more), so only
        // the length is wrong.
        Bytes claimed = plain;
        claimed.resize(static_cast<std::size_t>(raw.UnpackedSize), 'x');
        raw.Checksum = vorn::Md5Of(claimed.data(), claimed.size());
        TVornDbWriter writer;
        writer.AddRawRecord(raw);
        TVornDb db;
        OpenReader(db, Save(writer));
        ASSERT_TRUE(db.Open());
        Bytes data;
        EXPECT_FALSE(db.ReadRecord("r", data)) << "size off by " << delta;
        EXPECT_TRUE(data.empty());
    }
}

TEST_F(VornDbTest, AnyFlippedChecksumBitFails) {
    const TRawRecord good = TVornDbWriter::MakeRecord("r", 1, BytesOf("checked data"));
    for (int bit = 0; bit < 128; ++bit) {
        TRawRecord raw = good;
        raw.Checksum[bit / 8] ^= static_cast<std::uint8_t>(1 << (bit % 8));
        TVornDbWriter writer;
        writer.AddRawRecord(raw);
        TVornDb db;
        OpenReader(db, Save(writer));
        ASSERT_TRUE(db.Open());
        Bytes data;
        EXPECT_FALSE(db.ReadRecord("r", data)) << "bit " << bit;
    }
}

TEST_F(VornDbTest, SecureFlagOnPlainDataReads) {
    TRawRecord raw = TVornDbWriter::MakeRecord("r", 1, BytesOf("not enciphered"));
    raw.Secure = 1;
    TVornDbWriter writer;
    writer.AddRawRecord(raw);
    TVornDb db;
    OpenReader(db, Save(writer));
    ASSERT_TRUE(db.Open());
    EXPECT_EQ(db.Record(0)->Secure, 1);
    Bytes data;
    EXPECT_TRUE(db.ReadRecord("r", data));
    EXPECT_EQ(data, BytesOf("not enciphered"));
}

TEST_F(VornDbTest, ReadRecordReplacesTheTable) {
    TVornDbWriter one;
    one.AddRecord("a", 1, BytesOf("1"));
    const std::string path = Save(one);
    TVornDb db;
    OpenReader(db, path);
    ASSERT_TRUE(db.Open());
    TVornDbWriter two;
    two.AddRecord("b", 1, BytesOf("2"));
    two.AddRecord("a", 1, BytesOf("new"));
    Save(two);
    Bytes data;
    EXPECT_TRUE(db.ReadRecord("a", data));
    EXPECT_EQ(data, BytesOf("new"));
    EXPECT_EQ(db.RecordCount(), 2);
}

TEST_F(VornDbTest, ReadStreamWritesAtTheStreamPosition) {
    TVornDbWriter writer;
    writer.AddRecord("r", 1, BytesOf("XYZ"));
    TVornDb db;
    OpenReader(db, Save(writer));
    ASSERT_TRUE(db.Open());
    vorn::TMemoryStream stream;
    stream.Write("abcd", 4);
    ASSERT_TRUE(stream.Seek(1));
    EXPECT_TRUE(db.ReadStream("r", stream));
    EXPECT_EQ(stream.Data(), BytesOf("aXYZ"));
    EXPECT_EQ(stream.Position(), 4);
    EXPECT_FALSE(db.ReadStream("missing", stream));
    EXPECT_EQ(stream.Data(), BytesOf("aXYZ"));
}

TEST(InflateExact, AcceptsBytesAfterTheStreamEnd) {
    Bytes stored = vorn::Deflate(BytesOf("payload"));
    stored.push_back(0xAA);
    Bytes out;
    EXPECT_TRUE(vorn::detail::InflateExact(stored.data(), stored.size(), 7, out));
    EXPECT_EQ(out, BytesOf("payload"));
    EXPECT_FALSE(vorn::detail::InflateExact(stored.data(), 0, 7, out));
    EXPECT_TRUE(out.empty());
}

// ---- crafted files ----

struct CraftedCase {
    const char* file;
    bool opens;
    const char* key; // read after a successful open; nullptr = nothing to read
    bool reads;
};

void PrintTo(const CraftedCase& c, std::ostream* out) {
    *out << c.file;
}

class CraftedArchive : public ::testing::TestWithParam<CraftedCase> {};

TEST_P(CraftedArchive, FailsCleanly) {
    const CraftedCase& c = GetParam();
    const std::string path = std::string(PALLIMOR_TEST_DATA) + "/" + c.file;
    ASSERT_TRUE(fs::exists(path)) << path;
    const Bytes before = ReadFile(path);
    TVornDb db;
    db.SetFileName(path);
    db.SetOpenMode(vorn::opUpdate); // must read, never replace, an existing file
    EXPECT_EQ(db.Open(), c.opens);
    if (!c.opens) {
        EXPECT_EQ(db.RecordCount(), 0);
    }
    if (c.key) {
        Bytes data;
        EXPECT_EQ(db.ReadRecord(c.key, data), c.reads);
        if (!c.reads) {
            EXPECT_TRUE(data.empty());
        }
    }
    EXPECT_EQ(ReadFile(path), before);

    // The same bytes read from memory give the same answers.
    TVornDb memory;
    memory.SetMemory(before);
    memory.SetOpenMode(vorn::opUpdate);
    EXPECT_EQ(memory.Open(), c.opens);
    EXPECT_EQ(memory.RecordCount(), db.RecordCount());
    if (c.key) {
        Bytes data;
        EXPECT_EQ(memory.ReadRecord(c.key, data), c.reads);
    }
}

INSTANTIATE_TEST_SUITE_P(
    VornDb, CraftedArchive,
    ::testing::Values(CraftedCase{"header-truncated.dat", false, nullptr, false},
                      CraftedCase{"record-count-too-large.dat", false, nullptr, false},
                      CraftedCase{"record-count-negative.dat", false, nullptr, false},
                      CraftedCase{"key-length-too-large.dat", false, nullptr, false},
                      CraftedCase{"key-length-past-end.dat", false, nullptr, false},
                      CraftedCase{"table-offset-past-end.dat", false, nullptr, false},
                      CraftedCase{"table-offset-negative.dat", false, nullptr, false},
                      CraftedCase{"record-offset-past-end.dat", false, nullptr, false},
                      CraftedCase{"record-offset-negative.dat", false, nullptr, false},
                      CraftedCase{"record-header-truncated.dat", false, nullptr, false},
                      CraftedCase{"stored-size-past-end.dat", true, "good", false},
                      CraftedCase{"stored-size-negative.dat", true, "good", false},
                      CraftedCase{"unpacked-size-above-cap.dat", true, "big", false},
                      CraftedCase{"unpacked-size-negative.dat", true, "good", false},
                      CraftedCase{"unpacked-size-larger-than-stream.dat", true, "good", false},
                      CraftedCase{"stream-longer-than-unpacked-size.dat", true, "good", false},
                      CraftedCase{"stream-not-zlib.dat", true, "good", false},
                      CraftedCase{"stream-truncated.dat", true, "good", false},
                      CraftedCase{"stream-needs-dictionary.dat", true, "good", false},
                      // Image records that are sound archive records: the reader hands them out.
                      CraftedCase{"image-texels-one-byte-short.dat", true, "image", true},
                      CraftedCase{"image-texture-size-overflow.dat", true, "image", true}),
    [](const ::testing::TestParamInfo<CraftedCase>& info) {
        std::string name;
        for (const char* p = info.param.file; *p && *p != '.'; ++p) name += std::isalnum(*p) ? *p : '_';
        return name;
    });

} // namespace
