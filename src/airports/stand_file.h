// The stand file format: one writer for every form (learned, hand-made and
// generated files) and the reader of a file's stand list.
//
//   root/meta          the program's file header
//   root/parameters    <parameter name=".." value=".."/> per value
//   root/parkpositions <parkpos id=".." ...><opt reg=".." .../></parkpos>
#pragma once

#include "airports/stand_records.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <pugixml.hpp>

enum class StandFileForm : int {
    learned = 0,    // learned and hand-made files
    generated = 1,  // files the add-on airport scan writes
};

// What the Dbase knows of a registration. The stand files leave out airline
// and type of a registration the Dbase knows, and take them from it on
// reading, so the files follow the Dbase's corrections.
struct StandDbaseRecord {
    std::string airline;
    std::string type;
    std::string opr;  // operator; wins over airline when not empty
};
using StandRegistrationLookup = std::function<std::optional<StandDbaseRecord>(std::string_view registration)>;
// Installs the Dbase's lookup (an empty function: no Dbase, every
// registration unknown). Set before any stand file is read or written.
void gf_setStandRegistrationLookup(StandRegistrationLookup lookup);
std::optional<StandDbaseRecord> gf_lookupStandRegistration(std::string_view registration);

// Writes a stand file through a temporary file beside path (missing parent
// folders are made). handmade says whether the record is a hand-made
// airport's: then every stand is written whole, with altitude and quality
// factors; it is an argument because the scan writes generated files on its
// own threads while the park airport's flag belongs to the worker. True when
// the file was saved.
bool gf_writeAirportFile(const AirportFile& record, const std::filesystem::path& path, StandFileForm form,
                         std::uint32_t simVariant, bool handmade);
// Appends root/parameters; false when a node could not be made.
bool lf_writeParameters(pugi::xml_node root, const AirportFile& record, StandFileForm form, bool handmade);

// Appends the stands of a document (root/parkpositions, or parkpositions of
// a document without root) to stands, their options with origin 1. With
// problems given, every entry that is not used or could not be written back
// as it was read adds its message there; without, an unusable stand is
// logged. A missing, empty or repeated id throws ozr::UserErrorException 93
// or 94 (the stands appended before stay), naming idStopsIn when that is
// given; with problems given and no idStopsIn (a file the user made, which
// must never be written back short of an entry), such an entry is skipped
// and reported instead, and the rest of the file is read.
void lf_readParkpositions(const pugi::xml_document& document, std::vector<Stand>& stands,
                          std::vector<std::string>* problems = nullptr, std::string_view idStopsIn = {});
// Appends one stand read from a parkpos element; false when it was skipped:
// a stand at 0/0, one without latitude, longitude or radius, or one whose
// numbers do not read whole or are out of range (the message says which
// attribute; heading is 0 when absent). problems as above.
bool lf_readParkpos(pugi::xml_node parkpos, const std::string& id, std::uint32_t origin, std::vector<Stand>& stands,
                    std::vector<std::string>* problems = nullptr);
// A number attribute's text read whole: one finite decimal number, blanks
// around it allowed; nothing for "52,31", "52.3x", "", "nan" or "1e999". The
// XML library reads such a text as far as it goes ("52,31" as 52, a stand
// 35 km away), and the close would write the cut value back.
std::optional<double> gf_wholeNumber(std::string_view text);
// The same for a decimal integer: "3" and " 3 ", not "3x" or "3.5".
std::optional<std::int64_t> gf_wholeInteger(std::string_view text);
// An attribute of a parkpos or opt element whose name is one of the file
// form's names in other letters ("Latitude"): its message, else empty. Read
// under its right name the value would be missing (latitude 0, no cargo),
// and the close would write the wrong value under the right name.
std::string gf_attributeNameSlip(pugi::xml_node element);
// A radius in metres the traffic can use (the largest stand the .bgl decoder
// takes is below 200 m).
bool gf_usableStandRadius(double radius_m);

// What an opt element says of its aircraft: the airline and type (from the
// registration's record where there is one), registration, callsigns, soft
// and coupled. Its hours, day, origin and index are the caller's. Never
// throws.
StandOption lf_readStandOption(pugi::xml_node opt);

// The names of an airport's stand file and link file.
std::filesystem::path gf_xmlNameOf(std::string_view code);
std::filesystem::path gf_txtNameOf(std::string_view code);
