#include "airports/learned_path.h"

#include "airports_test_support.h"

namespace {

using airports_test::WorkFolder;
namespace fs = std::filesystem;

class LearnedPath : public WorkFolder {};

// The writer's folder of a publisher and the reader's file of a reference
// read with that publisher must be one path: learning is kept only then.
TEST_F(LearnedPath, ReaderAndWriterAgreeForEveryKindOfAirport) {
    struct Row {
        const char* reference;
        const char* publisher;
        const char* learned;  // empty: no learned file
    };
    const Row rows[] = {
        {"archive/stock/EHAM.xml", "stock", "airports/learned/stock/EHAM.xml"},
        {"airports\\stock\\EGLL.xml", "stock", "airports/learned/stock/EGLL.xml"},
        {"airports\\my_ORBX\\EGLL.xml", "ORBX", "airports/learned/thirdparty/ORBX/EGLL.xml"},
        {"airports\\my_thirdparty\\EGLL.xml", "simaddon", "airports/learned/simaddon/EGLL.xml"},
        {"airports\\my_thirdparty\\EGLL.xml", "  Vendor ", "airports/learned/thirdparty/Vendor/EGLL.xml"},
        {"archive/thirdparty/My%20Vendor/EGLL.xml", "", "airports/learned/thirdparty/My Vendor/EGLL.xml"},
        {"archive/thirdparty/My%20Vendor/EGLL.xml", "My Vendor", "airports/learned/thirdparty/My Vendor/EGLL.xml"},
        {"airports\\my_thirdparty\\EGLL.xml", "", "airports/learned/thirdparty/EGLL.xml"},
        {"airports\\my_thirdparty\\EGLL.XML", "stock", "airports/learned/stock/EGLL.xml"},
        {"airports\\my_thirdparty\\EGLL.txt", "stock", ""},
        {"", "stock", ""},
        // Publishers never lead out of the learned folder.
        {"archive/stock/EHAM.xml", "..", "airports/learned/thirdparty/EHAM.xml"},
        {"archive/stock/EHAM.xml", "../../..", "airports/learned/thirdparty/EHAM.xml"},
        {"archive/stock/EHAM.xml", "a/../b", "airports/learned/thirdparty/a .. b/EHAM.xml"},
        {"archive/stock/EHAM.xml", "C:\\Windows", "airports/learned/thirdparty/C  Windows/EHAM.xml"},
        {"archive/stock/EHAM.xml", "Vendor.", "airports/learned/thirdparty/Vendor/EHAM.xml"},
    };
    for (const Row& row : rows) {
        const fs::path read = lf_learnedPathOf(row.reference, row.publisher);
        EXPECT_EQ(read.generic_string(), row.learned) << row.reference << " / " << row.publisher;
        if (*row.learned != '\0' && std::string(row.reference).find("%20") == std::string::npos) {
            const std::string code = fs::path(row.learned).stem().string();
            EXPECT_EQ(gf_learnedPathOf(row.publisher, code), read) << row.publisher;
        }
    }
}

TEST_F(LearnedPath, SanitisedNamesStayOneFolderDeep) {
    for (const char* publisher : {"..", ".", "...", "/", "\\", ":", "a/b", "..\\x", " .. ", "%2e%2e", "\x01"}) {
        const fs::path folder = gf_learnedFolderOf(publisher);
        const fs::path relative = folder.lexically_relative("airports/learned/thirdparty");
        EXPECT_FALSE(relative.empty()) << publisher;
        for (const auto& part : relative) EXPECT_NE(part.string(), "..") << publisher;
        EXPECT_LE(std::distance(relative.begin(), relative.end()), 1) << publisher;
    }
}

}  // namespace
