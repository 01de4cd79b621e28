#include "core/paths.h"

#include <gtest/gtest.h>

#include <string>

namespace fs = std::filesystem;

// Stored files, the maker's tools and the user's own folders know these names,
// so a typo is a lost file.
TEST(Paths, WorkingFolderNames) {
    const WorkPaths& w = gf_workPaths();
    struct Row {
        const fs::path& path;
        const char* name;
    };
    const Row rows[] = {
        {w.input, "input"},
        {w.dbaseEnc, "input/dbase.enc"},
        {w.regcodesEnc, "input/AIG-regcodes.enc"},
        {w.regcodesXml, "input/AIG-regcodes.xml"},
        {w.airportsEnc, "input/airports.enc"},
        {w.airportsXml, "input/airports.xml"},
        {w.airportsP3dXml, "input/airports_p3d.xml"},
        {w.myRegcodes, "input/my_regcodes"},
        {w.output, "output"},
        {w.liveriesScanned, "output/LiveriesScanned.xml"},
        {w.info, "output/info"},
        {w.errors, "output/errors"},
        {w.airportsScanLog, "output/info/AirportsScanLog.txt"},
        {w.noFltsimSection, "output/info/AircraftCfgWithNoFltsimSection.txt"},
        {w.modelConversions, "output/info/AirlineModelConversions.txt"},
        {w.inlineRegcodes, "output/errors/InlineRegcodes.txt"},
        {w.invalidAirlines, "output/errors/InvalidAirlineCodes.txt"},
        {w.invalidAircraft, "output/errors/InvalidAircraftCodes.txt"},
        {w.fixes, "output/errors/Fixes.txt"},
        {w.invalidCfgFiles, "output/errors/InvalidAircraftCfgFiles.txt"},
        {w.incompleteFltsim, "output/errors/IncompleFltsimSections.txt"},
        {w.airports, "airports"},
        {w.learned, "airports/learned"},
        {w.learnedStock, "airports/learned/stock"},
        {w.learnedSimaddon, "airports/learned/simaddon"},
        {w.learnedThirdparty, "airports/learned/thirdparty"},
        {w.myOrbx, "airports/my_ORBX"},
        {w.myThirdparty, "airports/my_thirdparty"},
        {w.myParkAirports, "airports/my_park_airports.txt"},
        {w.docs, "docs"},
        {w.tblo, "tblo"},
        {w.tbloZip, "tblo/tblo.zip"},
        {w.newVersion, "new_version"},
        {w.installer, "install_new_version.exe"},
        {w.releaseNotes, "ReleaseNotes.pdf"},
    };
    const fs::path cwd = fs::current_path();
    for (const auto& row : rows) {
        EXPECT_EQ(row.path.generic_string(), row.name);
        // Resolved against the working folder, whatever it holds.
        EXPECT_TRUE(row.path.is_relative()) << row.name;
        const fs::path resolved = fs::absolute(row.path);
        EXPECT_EQ(resolved.lexically_relative(cwd), row.path) << row.name;
    }
}
