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

// The nine airport settings a learned file keeps, as they are written.
struct LearnedSettings {
    std::int32_t range = 0;
    bool autoRange = false;
    bool week = false;
    bool parkSoft = false;
    std::int32_t parkingPercentage = 0;
    bool initialLoadOnly = false;
    std::int32_t maxFit = 0;  // half-hour steps minus one
    bool rtParkTrafficOnly = false;
    std::int32_t maxLiveSel = 0;

    bool operator==(const LearnedSettings&) const = default;
};
LearnedSettings gf_currentLearnedSettings();

// What was read from the park airport's learned or hand-made file: the
// measure every write of that file is held against, so that no close can
// leave out what the user's file held.
struct StandFileReadRecord {
    // The file the airport's learning is kept in: the one that was read, or
    // was looked for and not found; empty when the airport has none.
    std::filesystem::path path;
    bool found = false;  // the file was there (whether it loaded or not)
    bool whole = true;   // every entry of it was taken, or is kept as it was
    std::string whyNotWhole;  // the first entry it could not take
    bool handmade = false;
    // What it gave, as the learned writer would write it right after the
    // read: the stands with the uses and corrections taken from the file.
    AirportFile asRead;
    LearnedSettings settings;
    // Its parkpos entries the stand list has no place for (an id the stand
    // file does not know), copied as they were: they are written back as
    // they were read.
    pugi::xml_document unplaced;
    std::size_t unplacedCount = 0;
    // A hand-made file's own parameters (empty when the file does not hold one).
    std::optional<std::string> ownAirportName;
    std::optional<std::string> ownPublisher;
    std::optional<std::int32_t> ownAltitude;
    // The file's bytes and time as they were read (nothing when it was not
    // there): a close writes into these bytes, and only when the file on
    // disk still holds them.
    std::optional<std::string> diskBytes;
    std::filesystem::file_time_type diskTime{};
};
// The worker thread's record of the park airport's file; emptied by each
// read of a stand file.
extern StandFileReadRecord g_standFileRead;
void gf_forgetStandFileRead();

// What of a user's file looks like stands but is not where stands are read
// from: an element inside parkpositions that is not a parkpos, or an element
// holding elements beside meta, parameters and parkpositions (a misspelled
// parkpositions). One message per element name; a rewrite would lose them.
std::vector<std::string> gf_misplacedStandEntries(const pugi::xml_document& document);

// Loads a stand file the way a user may have saved it: a byte-order mark or
// UTF-16 as the XML parser detects them, and a text that is not UTF-8 (a
// Windows-1252 editor) read in the ANSI code page, so that no byte of it is
// ever written back raw under the UTF-8 declaration.
// The bytes decide, not the declaration: a text that holds valid UTF-8
// sequences is UTF-8 (an editor that re-saved a file declared ISO-8859-1
// as UTF-8 left the old declaration), and a stray byte that is no UTF-8 is
// kept as it is rather than a reason to read every other letter of the file
// in another code page. strayByte (when given) tells where the first such
// byte is ("line 3, byte 0xFC"), empty when there is none.
pugi::xml_parse_result gf_loadStandFile(const std::filesystem::path& path, pugi::xml_document& document,
                                        std::string* strayByte = nullptr);
// The decision above for a text without a byte-order mark: true when it is
// read as UTF-8 (ASCII, or valid UTF-8 sequences with or without stray
// bytes), false when it is read in the ANSI code page.
bool gf_standTextIsUtf8(std::string_view text);
// Why a file that is there could not be read: a folder of that name, in use
// by another program, or the system's reason. Empty when it opens.
std::string gf_whyNotReadable(const std::filesystem::path& path);

enum class StandFileWrite {
    saved,
    unchanged,  // what would be written says what was read: nothing written
    refused,    // it would lose what the file holds: nothing written
    failed,     // the document could not be built or saved
};
struct StandFileWriteResult {
    StandFileWrite outcome = StandFileWrite::failed;
    std::string why;  // for refused: the reason, for the log and the status line
};

// The one door every stand-file write passes. It holds the document against
// what was read from path (read; nullptr when nothing was read from it, as
// for a generated file or a new learned file) and refuses a write that would
// leave out anything read: a file that did not read whole, a stand, a
// correction or a use read from it, an entry it could not place. userAsked
// lets such a write through (the user asked to drop the file's entries).
// What passes must be valid UTF-8; when it says what was read, nothing is
// written; the first rewrite of a hand-made file keeps the user's original
// beside it (gf_originalCopyName). A write goes through a temporary file.
StandFileWriteResult gf_standFileDoor(pugi::xml_document& document, const std::filesystem::path& path,
                                      const StandFileReadRecord* read, bool userAsked);
// Keeps the user's original of path once, beside it (the status line says
// so); false with why when no copy could be made.
bool gf_keepOriginalOnce(const std::filesystem::path& path, std::string& why);
// The program's own form of a stand's entry, for writing into a user's
// file: a use (false when it has no hours text; the problem is logged and
// nothing is appended), and a stand's parkpos element in the learned form
// (full: with every attribute, as hand-made and manual stands are written).
bool gf_appendStandOption(pugi::xml_node parkpos, const StandOption& o);
bool gf_appendParkposAttributes(pugi::xml_node parkpos, const Stand& s, bool full);
// Where the first rewrite of a hand-made file keeps the user's original:
// EHAM.xml keeps EHAM.original.xml.
std::filesystem::path gf_originalCopyName(const std::filesystem::path& path);

// Writes a stand file (missing parent folders are made) through the door,
// with nothing read from path. handmade says whether the record is a
// hand-made airport's: then every stand is written whole, with altitude and
// quality factors; it is an argument because the scan writes generated
// files on its own threads while the park airport's flag belongs to the
// worker. True when the file was saved.
bool gf_writeAirportFile(const AirportFile& record, const std::filesystem::path& path, StandFileForm form,
                         std::uint32_t simVariant, bool handmade);
// The learned writer's write of the park airport's file: through the door
// with what was read from it, the airport settings in effect, and the
// file's entries it could not place appended as they were.
StandFileWriteResult gf_writeLearnedFile(const AirportFile& record, const std::filesystem::path& path,
                                         std::uint32_t simVariant, bool handmade, const StandFileReadRecord& read,
                                         bool userAsked);
// Appends root/parameters; false when a node could not be made.
bool lf_writeParameters(pugi::xml_node root, const AirportFile& record, StandFileForm form, bool handmade,
                        const LearnedSettings& settings);

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
// The same for a yes/no value: true, yes, on, 1, t or y and false, no, off,
// 0, f or n, in any letters, blanks around allowed; nothing for anything else
// ("ja", "", "tru"). Judged by its first letter, " true" would read as no and "on" as
// no, and the close would write the wrong value back.
std::optional<bool> gf_wholeFlag(std::string_view text);
// The first yes/no attribute of a parkpos or opt element that does not read
// whole: its message, else empty.
std::string gf_flagSlip(pugi::xml_node element);
// A yes/no attribute whose text passed gf_flagSlip; false when absent.
bool gf_flag(pugi::xml_node element, const char* name);
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
