#include "core/decrypt.h"
#include "support/test_files.h"

#include "core/data_key.h"
#include "core/log.h"
#include "stream_sealer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr unsigned char kTagMessage = crypto_secretstream_xchacha20poly1305_TAG_MESSAGE;
constexpr unsigned char kTagPush = crypto_secretstream_xchacha20poly1305_TAG_PUSH;
constexpr unsigned char kTagRekey = crypto_secretstream_xchacha20poly1305_TAG_REKEY;
constexpr unsigned char kTagFinal = crypto_secretstream_xchacha20poly1305_TAG_FINAL;

const encryptor::Key kProgramKey = g_dataFileKey;

using test_files::readAll;
using test_files::writeFile;

std::string plainText(std::size_t count) {
    std::mt19937 rng(static_cast<unsigned>(count) + 1);
    std::string text(count, '\0');
    for (auto& c : text) c = static_cast<char>(rng() & 0xFF);
    return text;
}

// A stream of explicitly tagged chunks, for layouts the encryptor never
// writes.
std::string sealChunks(const encryptor::Key& key, const std::vector<std::pair<std::string, unsigned char>>& chunks) {
    encryptor::StreamSealer sealer(key);
    std::string stream = sealer.header();
    for (const auto& [plain, tag] : chunks) stream += sealer.seal(plain, tag);
    return stream;
}

class DecryptTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        // Test binaries of several build trees may run at once: each run gets
        // folders of its own.
        dir = fs::temp_directory_path() /
              (std::string("glim_decrypt_") + info->name() + "_" + std::to_string(std::random_device{}()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        ASSERT_TRUE(gf_logOpen(dir / "Log.txt"));
    }
    void TearDown() override {
        gf_logClose();
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    std::string log() {
        gf_logFlush();
        return readAll(dir / "Log.txt");
    }
    // Stores the bytes as a data file and decrypts it; plain gets the output.
    bool decrypt(const std::string& stored, std::string& plain) {
        writeFile(dir / "data.enc", stored);
        const bool ok = gf_streamDecrypt(dir / "data.enc", dir / "data.xml");
        plain = ok ? readAll(dir / "data.xml") : std::string();
        return ok;
    }
    fs::path dir;
};

}  // namespace

TEST_F(DecryptTest, EncryptorLayoutRoundTrips) {
    struct Row {
        std::size_t plainBytes;
        std::size_t storedBytes;
    };
    // header 24, full chunks 4113, the last chunk plain + 17
    const Row rows[] = {
        {0, 24 + 17},
        {1, 24 + 18},
        {4095, 24 + 4112},
        {4096, 24 + 4113},
        {4097, 24 + 4113 + 18},
        {3 * 4096, 24 + 3 * 4113},
        {3 * 4096 + 5, 24 + 3 * 4113 + 22},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.plainBytes);
        const std::string plain = plainText(row.plainBytes);
        const std::string stored = encryptor::encryptBytes(kProgramKey, plain);
        EXPECT_EQ(stored.size(), row.storedBytes);
        std::string decrypted;
        ASSERT_TRUE(decrypt(stored, decrypted)) << log();
        EXPECT_EQ(decrypted, plain);
    }
    EXPECT_EQ(log(), "");
}

TEST_F(DecryptTest, AcceptedChunkLayouts) {
    const std::string full = plainText(4096);
    struct Row {
        const char* what;
        std::vector<std::pair<std::string, unsigned char>> chunks;
        std::string expected;
    };
    const Row rows[] = {
        {"one short final chunk", {{"abc", kTagFinal}}, "abc"},
        {"a full chunk tagged final", {{full, kTagFinal}}, full},
        {"a full chunk, then an empty final one", {{full, kTagMessage}, {"", kTagFinal}}, full},
        {"push and rekey tags before the final one",
         {{full, kTagPush}, {full, kTagRekey}, {"end", kTagFinal}},
         full + full + "end"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        std::string decrypted;
        ASSERT_TRUE(decrypt(sealChunks(kProgramKey, row.chunks), decrypted)) << log();
        EXPECT_EQ(decrypted, row.expected);
    }
}

TEST_F(DecryptTest, BytesAfterAFullFinalChunkAreNeverRead) {
    // Chunks are read 4113 bytes at a time, so only after a full final chunk
    // do trailing bytes stay outside the last chunk read.
    const std::string plain = plainText(2 * 4096);
    std::string decrypted;
    ASSERT_TRUE(decrypt(encryptor::encryptBytes(kProgramKey, plain) + "trailing garbage", decrypted)) << log();
    EXPECT_EQ(decrypted, plain);
}

TEST_F(DecryptTest, DamagedFilesFailAndLeaveNoOutput) {
    const std::string plain = plainText(3 * 4096 + 100);
    const std::string good = encryptor::encryptBytes(kProgramKey, plain);
    encryptor::Key otherKey = kProgramKey;
    otherKey[0] ^= 1;

    auto flipped = [&](std::size_t at) {
        std::string s = good;
        s[at] = static_cast<char>(s[at] ^ 0x01);
        return s;
    };
    const std::size_t secondChunk = 24 + 4113;
    struct Row {
        const char* what;
        std::string stored;
        const char* reason;
    };
    const Row rows[] = {
        {"a byte of the second chunk flipped", flipped(secondChunk + 100), "Decryption failed"},
        {"a byte of the header flipped", flipped(3), "Decryption failed"},
        {"a byte of the last chunk flipped", flipped(good.size() - 1), "Decryption failed"},
        {"another key", encryptor::encryptBytes(otherKey, plain), "Decryption failed"},
        {"cut inside a chunk", good.substr(0, secondChunk + 2000), "Decryption failed"},
        {"cut before the final chunk", good.substr(0, secondChunk + 2 * 4113), "Stream ends before its final chunk"},
        {"header only", good.substr(0, 24), "Stream ends before its final chunk"},
        {"shorter than a header", good.substr(0, 23), "Input file is shorter than the stream header"},
        {"empty", "", "Input file is shorter than the stream header"},
        {"final chunk shorter than its tag", good.substr(0, 24) + std::string(16, 'x'), "Decryption failed"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        gf_logClose();
        ASSERT_TRUE(gf_logOpen(dir / "Log.txt"));
        writeFile(dir / "data.xml", "a plain file of an earlier run");
        std::string decrypted;
        EXPECT_FALSE(decrypt(row.stored, decrypted));
        EXPECT_FALSE(fs::exists(dir / "data.xml"));
        EXPECT_EQ(log(), std::string("gf_streamDecrypt exception: ") + row.reason + "\n");
    }
}

TEST_F(DecryptTest, MissingInputOrUnwritableOutput) {
    EXPECT_FALSE(gf_streamDecrypt(dir / "missing.enc", dir / "missing.xml"));
    EXPECT_FALSE(fs::exists(dir / "missing.xml"));
    EXPECT_EQ(log(), "gf_streamDecrypt exception: Could not open input file: " + (dir / "missing.enc").string() + "\n");

    gf_logClose();
    ASSERT_TRUE(gf_logOpen(dir / "Log.txt"));
    writeFile(dir / "data.enc", encryptor::encryptBytes(kProgramKey, "x"));
    const fs::path output = dir / "no such folder" / "data.xml";
    EXPECT_FALSE(gf_streamDecrypt(dir / "data.enc", output));
    EXPECT_EQ(log(), "gf_streamDecrypt exception: Could not open output file: " + output.string() + "\n");
}

#ifdef GLIM_ENCRYPTOR_PATH
// The encryptor program itself, as the sample data is made with it.
TEST_F(DecryptTest, EncryptorProgramWritesWhatTheProgramReads) {
    const std::string plain = "<?xml version=\"1.0\"?>\n<root>" + plainText(9000) + "</root>\n";
    writeFile(dir / "plain.xml", plain);
    const std::string command = std::string("\"") + GLIM_ENCRYPTOR_PATH + "\" \"" + (dir / "plain.xml").string() +
                                "\" \"" + (dir / "data.enc").string() + "\"";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(fs::file_size(dir / "data.enc"), 24u + 2 * 4113 + (plain.size() - 2 * 4096) + 17);
    ASSERT_TRUE(gf_streamDecrypt(dir / "data.enc", dir / "data.xml")) << log();
    EXPECT_EQ(readAll(dir / "data.xml"), plain);
}
#endif
