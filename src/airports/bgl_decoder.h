// Decoder of the airports, helipads and parking stands of a scenery .bgl
// file. The file is read once into 32-bit little-endian words and every
// structure is addressed by word index, each read checked against the end of
// the structure it belongs to: a damaged file ends the unit it damages with a
// log line and never makes the decoder read outside the file.
#pragma once

#include "airports/stand_records.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <istream>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

using BglWords = std::vector<std::uint32_t>;
// Whether a code is one of the airport database.
using KnownAirportCheck = std::function<bool(const std::string& code)>;

// One accepted airport record: its bytes [start, end) inside the file.
struct BglAirportRecord {
    std::size_t start = 0;
    std::size_t end = 0;  // start + size, never past its subsection or the file
    bool extended = false;  // record 0x00AB (parkings in 0x00AD)
    std::string code;
};

// Reads the whole (seekable) stream into words; the last word is zero-filled. False
// when the stream cannot be read.
bool lf_readBglWords(std::istream& in, BglWords& words);

// Quick test of the folder walk: the file's section table names a section of
// type 3 (airports). Reads a few words, never the whole file.
bool lf_bglHasAirportSection(const std::filesystem::path& path);

// The base-38 ident packed in a word. valid is false when a digit is blank or
// "?" or the text is longer than 10 characters.
std::string lf_decodeIdent(std::uint32_t value, bool& valid);
// A valid ident, upper-cased, when it is a 4-letter code of the airport
// database; a 4-letter code that is not adds a scan log line.
std::optional<std::string> lf_checkSupportedAirport(std::string text, const KnownAirportCheck& isKnown);

// Altitude and name of an airport record into airport.
void lf_decodeAirportHeader(const BglWords& words, const BglAirportRecord& record, AirportFile& airport);
// The text of a name subrecord starting at byte start; never reads past
// limit (the end of its airport record, in bytes).
std::string lf_decodeAirportNAME(const BglWords& words, std::size_t start, std::size_t limit);
// The helipads and parking stands of an airport record, appended to
// airport.stands. helipadCounter starts at 1 and counts the helipads taken.
void lf_decodeAirportStands(const BglWords& words, const BglAirportRecord& record, AirportFile& airport,
                            int& helipadCounter, const std::string& pathUtf8);
// The id itself, or with the first free letter "a".."j" appended; nothing
// (after a scan log line) when all are taken. The returned id is taken.
std::optional<std::string> lf_uniqueStandId(const std::string& id, std::unordered_set<std::string>& taken,
                                            const std::string& pathUtf8);

// Walks the airport sections of a file and calls onRecord for every airport
// record whose code is accepted. A file that does not open or has no usable
// header is passed over silently. An error thrown by onRecord ends only that
// airport, with a scan log line; the walk goes on with the next record.
using AirportRecordHandler = std::function<void(const BglWords& words, const BglAirportRecord& record)>;
void lf_decodeBglFile(const std::filesystem::path& path, const KnownAirportCheck& isKnown,
                      const AirportRecordHandler& onRecord);

// One decoded airport with the helipad counter its decoding ended with.
struct DecodedAirport {
    AirportFile airport;
    int helipadCounter = 1;
};
// Header and stands of one accepted record.
DecodedAirport gf_decodeAirportRecord(const BglWords& words, const BglAirportRecord& record,
                                      const std::string& pathUtf8);
// Every accepted airport of a file (tests, benchmarks, tools).
std::vector<DecodedAirport> gf_decodeBglAirports(const std::filesystem::path& path, const KnownAirportCheck& isKnown);
