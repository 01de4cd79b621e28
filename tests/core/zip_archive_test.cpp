#include "core/zip_archive.h"

#include "core/files.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

class ZipArchiveTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("glim_zip_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + "_" +
               std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    fs::path dir;
};

struct EntryRow {
    std::string name;
    std::string bytes;
};

// The buffers added are temporaries that die before close(): the archive
// must hold its own copy until it writes.
TEST_F(ZipArchiveTest, WrittenEntriesReadBackByteForByte) {
    const std::vector<EntryRow> rows = {
        {"EGLL.xml", "<root/>\n"},
        {"empty.txt", ""},
        {"bin.dat", std::string("\0\x01\xff\x97zz", 6)},
        {"sub/\xc3\xa9t\xc3\xa9.xml", std::string(200000, 'q')},
    };
    const fs::path target = dir / "out.zip";
    {
        ZipArchive archive;
        ASSERT_TRUE(archive.openNew(target)) << archive.lastError();
        for (const auto& row : rows) ASSERT_TRUE(archive.addData(row.name, std::string(row.bytes)));
        ASSERT_TRUE(archive.close()) << archive.lastError();
    }
    ZipArchive reader;
    ASSERT_TRUE(reader.openReadOnly(target)) << reader.lastError();
    const auto entries = reader.entries();
    ASSERT_EQ(entries.size(), rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(rows[i].name);
        EXPECT_EQ(entries[i].name, rows[i].name);
        EXPECT_EQ(entries[i].size, rows[i].bytes.size());
        const auto content = reader.readContent(entries[i]);
        ASSERT_TRUE(content.has_value()) << reader.lastError();
        EXPECT_EQ(*content, rows[i].bytes);
    }
    EXPECT_EQ(reader.readContent("EGLL.xml").value_or("?"), "<root/>\n");
    EXPECT_FALSE(reader.readContent("missing.xml").has_value());
    EXPECT_FALSE(reader.addData("x", "y"));
}

TEST_F(ZipArchiveTest, NewArchiveReplacesOldFileAndBadFilesDoNotOpen) {
    const fs::path target = dir / "out.zip";
    for (const char* name : {"first.txt", "second.txt"}) {
        ZipArchive archive;
        ASSERT_TRUE(archive.openNew(target));
        ASSERT_TRUE(archive.addData(name, "data"));
        ASSERT_TRUE(archive.close());
    }
    ZipArchive reader;
    ASSERT_TRUE(reader.openReadOnly(target));
    const auto entries = reader.entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].name, "second.txt");

    std::ofstream(dir / "not.zip", std::ios::binary) << "PK but not really a zip file";
    ZipArchive bad;
    EXPECT_FALSE(bad.openReadOnly(dir / "not.zip"));
    EXPECT_FALSE(bad.lastError().empty());
    EXPECT_FALSE(bad.openReadOnly(dir / "missing.zip"));
    EXPECT_TRUE(bad.entries().empty());

    // Discarded without close: nothing is written.
    {
        ZipArchive dropped;
        ASSERT_TRUE(dropped.openNew(dir / "dropped.zip"));
        ASSERT_TRUE(dropped.addData("a", "b"));
    }
    EXPECT_FALSE(fs::exists(dir / "dropped.zip"));
}

// A few kilobytes of deflate that unpack to megabytes: the cap holds in
// memory and on disk, and a refused entry leaves no file behind.
TEST_F(ZipArchiveTest, EntriesBeyondTheCapAreRefusedAndOthersStreamToDisk) {
    const fs::path zipFile = dir / "bomb.zip";
    const std::string big(3u << 20, '\0');
    {
        ZipArchive archive;
        ASSERT_TRUE(archive.openNew(zipFile));
        ASSERT_TRUE(archive.addData("big.bin", big));
        ASSERT_TRUE(archive.close()) << archive.lastError();
    }
    ASSERT_LT(fs::file_size(zipFile), 64u * 1024);
    ZipArchive reader;
    ASSERT_TRUE(reader.openReadOnly(zipFile));
    const ZipEntry entry = reader.entries().at(0);
    ZipEntry understated = entry;  // a directory that lies about the size
    understated.size = 10;
    const fs::path target = dir / "out.bin";
    for (const ZipEntry& e : {entry, understated}) {
        EXPECT_FALSE(reader.readContent(e, 1u << 20).has_value());
        EXPECT_NE(reader.lastError().find("more than 1048576 bytes"), std::string::npos) << reader.lastError();
        EXPECT_FALSE(reader.extractTo(e, target, 1u << 20));
        EXPECT_FALSE(fs::exists(target));
        EXPECT_FALSE(fs::exists(gf_tempPathFor(target)));
    }
    EXPECT_FALSE(reader.readContent("big.bin", 1u << 20).has_value());
    ASSERT_TRUE(reader.extractTo(entry, target, big.size())) << reader.lastError();
    EXPECT_EQ(fs::file_size(target), big.size());
    EXPECT_EQ(reader.readContent(entry).value_or("").size(), big.size());
}

}  // namespace
