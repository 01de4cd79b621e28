// bglwriter <description.txt> <out.bgl>: writes one .bgl file with an airport
// section. The description has one item a line ('#' starts a comment):
//   airport <ident> <altitude mm> <0x3C|0xAB> [name ...]
//   helipad <lat> <lon> <size m> <heading deg>
//   parking <name code> <number> <type> <radius m> <heading deg> <lat> <lon>
// helipad and parking lines belong to the airport line above them.
#include "bgl_writer.h"

#include <fstream>
#include <iostream>
#include <sstream>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: bglwriter <description.txt> <out.bgl>\n";
        return 2;
    }
    std::ifstream in(argv[1]);
    if (!in) {
        std::cerr << "cannot read " << argv[1] << "\n";
        return 1;
    }
    std::vector<bglw::Airport> airports;
    std::string line;
    int lineNumber = 0;
    while (std::getline(in, line)) {
        ++lineNumber;
        std::istringstream words(line);
        std::string kind;
        if (!(words >> kind) || kind[0] == '#') continue;
        bool ok = true;
        if (kind == "airport") {
            bglw::Airport a;
            std::string layout;
            ok = static_cast<bool>(words >> a.ident >> a.alt_mm >> layout);
            a.extended = layout == "0xAB";
            std::string name;
            std::getline(words >> std::ws, name);
            if (!name.empty()) a.names.push_back({name, {}});
            airports.push_back(a);
        } else if (kind == "helipad" && !airports.empty()) {
            bglw::Helipad h;
            ok = static_cast<bool>(words >> h.lat_deg >> h.lon_deg >> h.size_m >> h.hdg_deg);
            airports.back().helipads.push_back(h);
        } else if (kind == "parking" && !airports.empty()) {
            bglw::Parking p;
            ok = static_cast<bool>(words >> p.nameCode >> p.number >> p.type >> p.radius_m >> p.hdg_deg >> p.lat_deg >>
                                   p.lon_deg);
            airports.back().parkings.push_back(p);
        } else {
            ok = false;
        }
        if (!ok) {
            std::cerr << argv[1] << ":" << lineNumber << ": cannot read this line\n";
            return 1;
        }
    }
    try {
        if (!bglw::writeFile(argv[2], bglw::encodeAirports(airports))) {
            std::cerr << "cannot write " << argv[2] << "\n";
            return 1;
        }
    } catch (const std::exception& e) {
        std::cerr << e.what() << "\n";
        return 1;
    }
    return 0;
}
