#include "airports/airport_database.h"

#include "airports_test_support.h"
#include "core/user_error.h"

#include <fmt/format.h>

#include <cstdlib>

namespace {

using airports_test::AirportsFixture;
using airports_test::nativePath;
namespace fs = std::filesystem;

class AirportDatabase : public AirportsFixture {};

TEST_F(AirportDatabase, ReadsOnceKeepsCompleteAirportsAndRemovesThePlainFile) {
    writeFile("input/airports.xml", "stale plain file from a crash");
    writeDatabase(R"(<airports>
        <airport code="EHRD" iata="RTM" lat="51.9569" lon="4.4372" alt="-15"/>
        <airport code="EHAM" iata="AMS" lat="52.3086" lon="4.7639" alt="-11" stands="2"/>
        <airport code="NOIA" lat="1" lon="1" alt="1" stands="1"/>
        <airport code="NOAL" iata="X" lat="1" lon="1" stands="1"/>
        <airport code="NOLL" iata="X" lat="1" alt="1" stands="1"/>
        <airport code="EHAM" iata="DUP" lat="0" lon="0" alt="0" stands="0"/>
      </airports>)");
    ASSERT_TRUE(gf_readAirports());
    EXPECT_FALSE(fs::exists("input/airports.xml"));
    const std::string text = log();
    for (const char* line : {"==> Missing stands for airport 'EHRD'", "==> Missing IATA for airport 'NOIA'",
                             "==> Missing alt for airport 'NOAL'", "==> Missing latLons for airport 'NOLL'",
                             "3 airports read"}) {
        EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
    }
    ASSERT_TRUE(gf_findAirport("EHRD"));
    EXPECT_EQ(gf_findAirport("EHRD")->stands, 0);
    EXPECT_EQ(gf_findAirport("EHAM")->iata, "AMS");  // the first of a code wins
    EXPECT_FALSE(gf_findAirport("NOIA"));
    EXPECT_FALSE(gf_findAirport("eham"));
    EXPECT_TRUE(gf_isKnownAirport("EHAM"));
    EXPECT_FALSE(gf_isKnownAirport("NOIA"));

    // A second call reads nothing.
    fs::remove("input/airports.enc");
    EXPECT_TRUE(gf_readAirports());
    EXPECT_EQ(gf_airports().size(), 3u);
}

TEST_F(AirportDatabase, AFailedReadKeepsNoPartialDatabaseAndReadsAgainNextTime) {
    struct Row {
        const char* xml;
        const char* message;
    };
    const Row rows[] = {
        {"<root><airports><airport code='A' iata='' lat='1' lon='1' alt='1'", "input/airports.xml not loaded: "},
        {"<root><other/></root>", "88: Missing <airports> root in: input/airports.xml"},
    };
    for (const Row& row : rows) {
        writeDatabase(row.xml);
        try {
            gf_readAirports();
            ADD_FAILURE() << row.xml;
        } catch (const ozr::UserErrorException& e) {
            EXPECT_NE(std::string(e.what()).find(nativePath(row.message)), std::string::npos) << e.what();
        }
        EXPECT_TRUE(gf_airports().empty());
        EXPECT_FALSE(fs::exists("input/airports.xml"));
    }
    // A file that is no encrypted database gives none, also when a plain
    // file of an earlier crash is still there.
    writeFile("input/airports.xml", R"(<airports><airport code="OLD" iata="" lat="1" lon="1" alt="1"/></airports>)");
    writeFile("input/airports.enc", "not sealed");
    EXPECT_THROW(gf_readAirports(), ozr::UserErrorException);
    EXPECT_FALSE(gf_findAirport("OLD"));
    EXPECT_FALSE(fs::exists("input/airports.xml"));
    readSampleDatabase();
    EXPECT_TRUE(gf_findAirport("EGLL"));
}

TEST_F(AirportDatabase, LabelsAndTheClosestAirportRules) {
    EXPECT_EQ(gf_parkAirportLabel({"EHAM", "AMS"}), "EHAM (AMS)");
    EXPECT_EQ(gf_parkAirportLabel({"EHAM", ""}), "EHAM");
    EXPECT_EQ(gf_parkAirportLabel({"", ""}), "?");

    // From (52.0, 5.0): one minute of latitude is one nautical mile here.
    const LatLon p{52.0, 5.0};
    auto at = [&](double nm) { return fmt::format("{:.6f}", p.lat + nm / 60.0); };
    auto airport = [&](const char* code, double nm) {
        return fmt::format(R"(<airport code="{}" iata="" lat="{}" lon="5.0" alt="0" stands="0"/>)", code, at(nm));
    };
    auto standFile = [&](const char* code, double standNm) {
        writeFile(fs::path("airports/my_thirdparty") / (std::string(code) + ".xml"),
                  fmt::format(R"(<root><parkpositions><parkpos id="S{}" latitude="{}" longitude="5.0"/>)"
                              R"(</parkpositions></root>)",
                              code, at(standNm)));
    };
    struct Row {
        const char* name;
        double aaaa_nm, bbbb_nm;              // airport distances (north +, south -)
        double aaaaStand_nm, bbbbStand_nm;    // nearest stand distances
        const char* expected;                 // empty: none
        bool readsStands;
    };
    const Row rows[] = {
        {"nearer met second, its stand nearer", 4.0, -3.0, 2.0, -1.0, "BBBB", true},
        {"nearer met second, neighbour's stand nearer", 4.0, -3.0, 0.5, -1.0, "AAAA", true},
        {"nearer met first, its stand nearer", 3.0, -4.0, 2.0, -3.5, "AAAA", true},
        {"nearer met first, neighbour's stand nearer", 3.0, -4.0, 3.0, -0.1, "BBBB", true},
        {"only one within reach", 4.99, -5.01, 1.0, 1.0, "AAAA", false},
        {"none within reach", 5.01, -6.0, 1.0, 1.0, "", false},
    };
    for (const Row& row : rows) {
        gf_resetAirportDatabase();
        writeDatabase("<airports>" + airport("AAAA", row.aaaa_nm) + airport("BBBB", row.bbbb_nm) + "</airports>");
        ASSERT_TRUE(gf_readAirports());
        standFile("AAAA", row.aaaaStand_nm);
        standFile("BBBB", row.bbbbStand_nm);
        const std::string before = log();
        const auto found = gf_findClosestAirport(p);
        EXPECT_EQ(found ? found->code : "", row.expected) << row.name;
        const std::string added = log().substr(before.size());
        EXPECT_EQ(added.find("is closest, neighbour is") != std::string::npos, row.readsStands) << row.name;
        if (std::string(row.name).find("neighbour's stand nearer") != std::string::npos) {
            const bool aaaa = std::string(row.expected) == "AAAA";
            EXPECT_NE(added.find(fmt::format("Airport {0} is closest, but stand S{1} at neighbouring airport {1} is "
                                             "closer at {2} meters ...",
                                             aaaa ? "BBBB" : "AAAA", row.expected, aaaa ? 926 : 185)),
                      std::string::npos)
                << added;
        }
        EXPECT_FALSE(fs::exists("airport.xml"));
    }

    // Two archived airports in reach: each file is fetched once, not at every
    // search (nothing listens on port 1, so every fetch fails at once).
    fs::remove_all("airports/my_thirdparty");
#ifdef _WIN32
    _putenv_s("GLIM_SITE_BASE_URL", "http://127.0.0.1:1/");
#else
    setenv("GLIM_SITE_BASE_URL", "http://127.0.0.1:1/", 1);
#endif
    gf_resetAirportDatabase();
    writeDatabase("<airports>" + fmt::format(R"(<airport code="AAAA" iata="" lat="{}" lon="5.0" alt="0" stands="1"/>)", at(4.0)) +
                  fmt::format(R"(<airport code="BBBB" iata="" lat="{}" lon="5.0" alt="0" stands="1"/>)", at(-3.0)) +
                  "</airports>");
    ASSERT_TRUE(gf_readAirports());
    for (int search = 0; search < 3; ++search) EXPECT_EQ(gf_findClosestAirport(p)->code, "BBBB");
    const std::string text = log();
    std::size_t fetches = 0;
    for (std::size_t at = text.find("failed to download: "); at != std::string::npos;
         at = text.find("failed to download: ", at + 1)) {
        ++fetches;
    }
    EXPECT_EQ(fetches, 2u) << text;
#ifdef _WIN32
    _putenv_s("GLIM_SITE_BASE_URL", "");
#else
    unsetenv("GLIM_SITE_BASE_URL");
#endif
}

}  // namespace
