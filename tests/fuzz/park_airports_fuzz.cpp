// Bytes of any shape as airports/my_park_airports.txt: reading must not
// crash, and the entry written back must be read again, whatever the file
// held around it (a byte-order mark carried into a sorted line would hide it).
#include "airports/airport_database.h"
#include "airports/park_airports.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <pugixml.hpp>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

struct FuzzFolder {
    fs::path dir;
    FuzzFolder() {
        dir = fs::temp_directory_path() / ("glim_park_airports_fuzz_" + std::to_string(::getpid()));
        fs::create_directories(dir / "airports");
        // A small database read once: the codes the corpus uses.
        pugi::xml_document document;
        document.load_string(R"(<a><airport code="EHAM" iata="AMS" lat="52.3" lon="4.76" alt="-11" stands="2"/>
            <airport code="EGLL" iata="LHR" lat="51.47" lon="-0.46" alt="83" stands="1"/>
            <airport code="LFPG" iata="CDG" lat="49.0" lon="2.55" alt="392" stands="1"/></a>)");
        for (pugi::xml_node airport : document.child("a").children("airport")) {
            lf_readAirportElement(airport, airport.attribute("code").as_string());
        }
    }
    ~FuzzFolder() {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const FuzzFolder folder;
    // The program works in its working folder; the fuzzer's own paths
    // (corpus, artefacts) are relative to the caller's, so the folder is
    // entered for each input only.
    const fs::path callerFolder = fs::current_path();
    fs::current_path(folder.dir);
    {
        std::ofstream out("airports/my_park_airports.txt", std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    lf_readMyParkAirports();
    gf_addDestinationAirport("EHAM", {52.3, 4.76});
    gf_writeMyParkAirports();
    lf_readMyParkAirports();
    bool found = false;
    for (const ParkAirport& p : gf_parkAirportsCopy()) found = found || p.code == "EHAM";
    if (!found) std::abort();
    gf_resetParkAirports();
    fs::current_path(callerFolder);
    return 0;
}
