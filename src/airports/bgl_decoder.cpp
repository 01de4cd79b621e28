#include "airports/bgl_decoder.h"

#include "airports/scan_log.h"
#include "core/log.h"
#include "core/text_encoding.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <fstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace {

// ---- Layout ----
constexpr std::uint32_t kHeaderBytes = 56;
constexpr std::size_t kHeaderWords = 14;
constexpr std::size_t kSectionEntryWords = 5;
constexpr std::uint32_t kAirportSection = 3;
constexpr std::uint32_t kSubsectionFlagMask = 0x10000;
constexpr std::uint32_t kSubsectionFlagWanted = 0x40000;
constexpr std::uint16_t kAirportId = 0x003C;
constexpr std::uint16_t kAirportExtendedId = 0x00AB;
constexpr std::uint16_t kNameId = 0x0019;
constexpr std::uint16_t kHelipadId = 0x0026;
constexpr std::uint16_t kParkingId = 0x003D;
constexpr std::uint16_t kParkingExtendedId = 0x00AD;
constexpr std::size_t kRecordHeaderBytes = 6;  // id and size
constexpr std::size_t kSubsectionEntryBytes = 16;
constexpr std::size_t kIdentByte = 40;
constexpr std::size_t kAltitudeByte = 20;
constexpr std::size_t kFirstSubrecordByte = 56;          // 0x003C
constexpr std::size_t kFirstSubrecordByteExtended = 60;  // 0x00AB
constexpr std::size_t kParkingEntryBytes = 36;
constexpr std::uint32_t kLoopGuard = 9000;
constexpr std::size_t kMaxNameBytes = 45;
constexpr std::size_t kMaxIdentChars = 10;

// ---- Units ----
constexpr double kLatPerUnit_deg = 3.3527612686157227e-7;  // 180 / 2^29
constexpr double kLonPerUnit_deg = 4.470348358154297e-7;   // 360 / (3 * 2^28)
constexpr double kDegToRad = 0.017453292519943295;
constexpr double kFullCircle_rad = 6.283185307179586;
constexpr double kFeetPerMetre = 3.2808399;
constexpr double kZeroPosition_deg = 0.0001;
constexpr double kSameHelipad_deg = 1e-8;
constexpr double kMinRadius_m = 1.0;
constexpr double kMaxRadius_m = 200.0;
// High airports (La Paz stands at 13,300 ft) keep their altitude; only values
// no real airfield has are taken for damage.
constexpr std::int32_t kMinAltitude_ft = -1500;
constexpr std::int32_t kMaxAltitude_ft = 15000;

// The Windows-1252 em dash the loop-guard messages carry between their parts.
constexpr char kDash = '\x97';

constexpr std::array<const char*, 12> kNamePrefixes = {"",   "r",   "p",  "np",  "ep", "sep",
                                                       "sp", "swp", "wp", "nwp", "g",  ""};
// Parking types that make stands, cargo and ramp stands (bit n = type n).
constexpr std::uint32_t kStandTypes = 0xCFFE;
constexpr std::uint32_t kRampTypes = 0x40FE;
constexpr std::uint32_t kCargoType = 5;

// Records and subrecords are addressed by byte: a name subrecord need not be
// padded to a whole word, and what follows it then starts between words.
// Every read must lie before limit, the end (in bytes) of the structure
// being read.
std::uint32_t lf_bytes(const BglWords& words, std::size_t at, std::size_t count, std::size_t limit) {
    if (at + count > limit || at + count > words.size() * 4) {
        throw std::out_of_range(fmt::format("bgl byte {} outside its structure (end {})", at, limit));
    }
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t b = at + i;
        value |= ((words[b / 4] >> (8 * (b % 4))) & 0xFFu) << (8 * i);
    }
    return value;
}
std::uint32_t lf_u32(const BglWords& words, std::size_t at, std::size_t limit) {
    return lf_bytes(words, at, 4, limit);
}
std::uint16_t lf_u16(const BglWords& words, std::size_t at, std::size_t limit) {
    return static_cast<std::uint16_t>(lf_bytes(words, at, 2, limit));
}
// The size of a record: bytes 2..5, across the word boundary when the record
// starts on one.
std::uint32_t lf_recordSize(const BglWords& words, std::size_t at, std::size_t limit) {
    return lf_u32(words, at + 2, limit);
}

float lf_float(std::uint32_t word) {
    float value = 0.0f;
    std::memcpy(&value, &word, sizeof value);
    return value;
}

double lf_latitude(std::uint32_t u) { return 90.0 - u * kLatPerUnit_deg; }
double lf_longitude(std::uint32_t u) { return u * kLonPerUnit_deg - 180.0; }

bool lf_validPosition(double lat, double lon) {
    if (lat < -90.0 || lat > 90.0 || lon < -180.0 || lon > 180.0) return false;
    return !(std::fabs(lat) <= kZeroPosition_deg && std::fabs(lon) <= kZeroPosition_deg);
}

std::string lf_positionText(double lat, double lon) { return fmt::format("{:.6f},{:.6f}", lat, lon); }

double lf_headingRad(float hdg_deg) {
    // 0 reads as "no heading" further on; north is written as a full circle.
    if (hdg_deg == 0.0f) return kFullCircle_rad;
    return hdg_deg * kDegToRad;
}

void lf_logFlushed(const std::string& text) {
    gf_logLine(text);
    gf_logFlush();
}

void lf_loopGuard(int which, const char* what) {
    gf_logHighlight(fmt::format("Error: Maximum loop iterations reached ({}) {} {}", which, kDash, what));
}

// ---- Names: scenery compilers write UTF-8; older files carry Windows-1252 ----

bool lf_isValidUtf8(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        std::size_t more = 0;
        std::uint32_t cp = 0;
        if (c < 0x80) {
            ++i;
            continue;
        }
        if ((c & 0xE0) == 0xC0) { more = 1; cp = c & 0x1F; }
        else if ((c & 0xF0) == 0xE0) { more = 2; cp = c & 0x0F; }
        else if ((c & 0xF8) == 0xF0) { more = 3; cp = c & 0x07; }
        else return false;
        if (i + more >= text.size()) return false;
        for (std::size_t j = 1; j <= more; ++j) {
            const auto n = static_cast<unsigned char>(text[i + j]);
            if ((n & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (n & 0x3F);
        }
        static constexpr std::array<std::uint32_t, 4> kMinimum = {0, 0x80, 0x800, 0x10000};
        if (cp < kMinimum[more] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        i += more + 1;
    }
    return true;
}

std::string lf_cp1252ToUtf8(const std::string& text) {
    // 0x80..0x9F of code page 1252; the five holes map to themselves.
    static constexpr std::array<char16_t, 32> kHigh = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    std::string out;
    out.reserve(text.size() * 2);
    for (char ch : text) {
        const auto b = static_cast<unsigned char>(ch);
        const char32_t cp = b >= 0x80 && b <= 0x9F ? kHigh[b - 0x80] : b;
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

// ---- Sections ----

// A damaged airport record ends only that airport: the other airports of
// the file are still decoded.
void lf_handleRecord(const BglWords& words, const BglAirportRecord& record, const AirportRecordHandler& onRecord) {
    try {
        onRecord(words, record);
    } catch (const std::exception& e) {
        gf_addScanLogLine(fmt::format("{}{} skipped, its airport record at byte {} is damaged: {}", "===> ",
                                      record.code, record.start, e.what()));
    }
}

void lf_walkRecords(const BglWords& words, std::size_t at, std::size_t end, const KnownAirportCheck& isKnown,
                    const AirportRecordHandler& onRecord) {
    std::uint32_t walked = 0;
    while (at + kRecordHeaderBytes <= end) {
        if (++walked > kLoopGuard) {
            lf_loopGuard(2, "possible corrupt BGL or malformed input.");
            return;
        }
        const std::uint16_t id = lf_u16(words, at, end);
        const std::uint32_t size = lf_recordSize(words, at, end);
        if (id == kAirportId || id == kAirportExtendedId) {
            if (size / 4 == 0) {
                gf_logHighlight(fmt::format("   Warning: decodeSizeAtBoundary returned {} at o2 = {}", size / 4, at / 4));
                return;
            }
            if (at + kIdentByte + 4 <= end) {
                bool valid = false;
                std::string ident = lf_decodeIdent(lf_u32(words, at + kIdentByte, end), valid);
                if (valid) {
                    if (auto code = lf_checkSupportedAirport(std::move(ident), isKnown)) {
                        BglAirportRecord record;
                        record.start = at;
                        record.end = std::min<std::size_t>(at + size, end);
                        record.extended = id == kAirportExtendedId;
                        record.code = std::move(*code);
                        lf_handleRecord(words, record, onRecord);
                    }
                }
            }
        }
        // A record smaller than its own header is damage: nothing after it
        // can be found.
        if (size < kRecordHeaderBytes) return;
        at += size;
    }
}

// The records of an airport section: each subsection of its table holds
// records from its offset for its size. A table that cannot be read (no
// subsection, or entries past the end of the file) leaves the walk from the
// first entry's offset to the end of the file.
void lf_walkSection(const BglWords& words, std::size_t entry, const KnownAirportCheck& isKnown,
                    const AirportRecordHandler& onRecord) {
    const std::size_t fileBytes = words.size() * 4;
    const std::size_t table = words[entry + 3];
    const std::uint64_t count = words[entry + 2];
    if (count >= 1 && table + count * kSubsectionEntryBytes <= fileBytes) {
        for (std::size_t j = 0; j < count; ++j) {
            const std::size_t e = table + j * kSubsectionEntryBytes;
            const std::size_t data = lf_u32(words, e + 8, fileBytes);
            const std::uint64_t size = lf_u32(words, e + 12, fileBytes);
            if (data >= fileBytes) continue;
            lf_walkRecords(words, data, static_cast<std::size_t>(std::min<std::uint64_t>(data + size, fileBytes)),
                           isKnown, onRecord);
        }
        return;
    }
    if (table + 12 > fileBytes) return;
    const std::size_t data = lf_u32(words, table + 8, fileBytes);
    if (data >= fileBytes) return;
    lf_walkRecords(words, data, fileBytes, isKnown, onRecord);
}

// ---- Stands ----

void lf_decodeHelipad(const BglWords& words, std::size_t at, std::size_t limit, AirportFile& airport,
                      std::vector<std::pair<double, double>>& seen, int& counter) {
    const double lat = lf_latitude(lf_u32(words, at + 16, limit));
    const double lon = lf_longitude(lf_u32(words, at + 12, limit));
    const float size_m = lf_float(lf_u32(words, at + 28, limit));
    const float hdg_deg = lf_float(lf_u32(words, at + 32, limit));
    if (!lf_validPosition(lat, lon)) {
        gf_addScanLogLine("lat/lon helipad incorrect (skipped): " + lf_positionText(lat, lon));
        return;
    }
    if (!std::isfinite(size_m) || !std::isfinite(hdg_deg)) {
        gf_addScanLogLine("size/heading helipad incorrect (skipped): " + lf_positionText(lat, lon));
        return;
    }
    for (const auto& [seenLat, seenLon] : seen) {
        if (std::fabs(seenLat - lat) <= kSameHelipad_deg && std::fabs(seenLon - lon) <= kSameHelipad_deg) {
            gf_addScanLogLine("double helipad " + airport.airport_name + " (skipped) " + lf_positionText(lat, lon));
            return;
        }
    }
    seen.emplace_back(lat, lon);
    airport.stands.emplace_back(fmt::format("helipad{}", counter), std::vector<StandOption>{},
                                StandPlace{lat, lon, lf_headingRad(hdg_deg)}, size_m * 0.5, false, false, true);
    ++counter;
}

std::string lf_parkingName(std::uint32_t flags) {
    const std::uint32_t code = flags & 0x3F;
    const std::uint32_t number = (flags >> 12) & 0xFFF;
    std::string prefix;
    if (code < kNamePrefixes.size()) prefix = kNamePrefixes[code];
    else if (code <= 37) prefix = std::string(1, static_cast<char>('A' + (code - 12)));
    return prefix + std::to_string(number);
}

void lf_decodeTaxiwayParkings(const BglWords& words, std::size_t at, std::size_t limit, AirportFile& airport,
                              std::unordered_set<std::string>& taken, bool extended, const std::string& pathUtf8) {
    const std::uint32_t count = lf_u16(words, at + 6, limit);
    std::size_t entry = at + 8;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint32_t flags = lf_u32(words, entry, limit);
        const std::uint32_t airlines = flags >> 24;
        const std::size_t next = entry + kParkingEntryBytes + (extended ? 4 : 0) + 4 * std::size_t{airlines};
        const float radius_m = lf_float(lf_u32(words, entry + 4, limit));
        const float hdg_deg = lf_float(lf_u32(words, entry + 8, limit));
        const double lon = lf_longitude(lf_u32(words, entry + 28, limit));
        const double lat = lf_latitude(lf_u32(words, entry + 32, limit));
        entry = next;
        // Written this way round so that a NaN radius is refused too.
        if (!(radius_m > kMinRadius_m && radius_m < kMaxRadius_m)) {
            gf_addScanLogLine(fmt::format("Skipped position with radius {:.1F} m in {}", radius_m, pathUtf8));
            continue;
        }
        const std::string name = lf_parkingName(flags);
        const std::uint32_t type = (flags >> 8) & 0xF;
        if (((kStandTypes >> type) & 1) == 0) continue;
        if (!lf_validPosition(lat, lon) || !std::isfinite(hdg_deg)) {
            gf_addScanLogLine(fmt::format("LatLon {} invalid (skipped)", lf_positionText(lat, lon)));
            continue;
        }
        auto id = lf_uniqueStandId(name, taken, pathUtf8);
        if (!id) continue;
        airport.stands.emplace_back(std::move(*id), std::vector<StandOption>{},
                                    StandPlace{lat, lon, lf_headingRad(hdg_deg)}, radius_m, type == kCargoType,
                                    ((kRampTypes >> type) & 1) != 0, false);
    }
}

}  // namespace

// ---- Reading ----

bool lf_readBglWords(std::istream& in, BglWords& words) {
    in.seekg(0, std::ios::end);
    const std::streamoff length = in.tellg();
    if (length < 0) return false;
    in.seekg(0);
    const auto size = static_cast<std::size_t>(length);
    words.assign((size + 3) / 4, 0);
    if (size > 0 && !in.read(reinterpret_cast<char*>(words.data()), static_cast<std::streamsize>(size))) return false;
    if constexpr (std::endian::native == std::endian::big) {
        for (std::uint32_t& w : words) {
            w = (w >> 24) | ((w >> 8) & 0xFF00) | ((w << 8) & 0xFF0000) | (w << 24);
        }
    }
    return true;
}

bool lf_bglHasAirportSection(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    in.seekg(0, std::ios::end);
    const std::streamoff length = in.tellg();
    if (length < static_cast<std::streamoff>(kHeaderBytes + 1)) return false;
    auto readU32 = [&in](std::streamoff at, std::uint32_t& value) {
        std::array<unsigned char, 4> b{};
        in.seekg(at);
        if (!in.read(reinterpret_cast<char*>(b.data()), 4)) return false;
        value = b[0] | (b[1] << 8) | (b[2] << 16) | (std::uint32_t{b[3]} << 24);
        return true;
    };
    std::uint32_t n = 0;
    if (!readU32(20, n)) return false;
    if (n < 1 || n > static_cast<std::uint64_t>(length - kHeaderBytes) / 20) return false;
    for (std::uint32_t i = 0; i < n; ++i) {
        std::uint32_t type = 0;
        if (!readU32(kHeaderBytes + std::streamoff{20} * i, type)) return false;
        if (type == kAirportSection) return true;
    }
    return false;
}

// ---- Idents ----

std::string lf_decodeIdent(std::uint32_t value, bool& valid) {
    valid = true;
    std::uint32_t v = value >> 5;
    std::string text;
    do {
        const std::uint32_t digit = v % 38;
        v /= 38;
        if (digit == 0) {
            text += ' ';
            valid = false;
        } else if (digit == 1) {
            text += '?';
            valid = false;
        } else if (digit < 12) {
            text += static_cast<char>('0' + (digit - 2));
        } else {
            text += static_cast<char>('A' + (digit - 12));
        }
    } while (v != 0);
    if (text.size() > kMaxIdentChars) valid = false;
    std::reverse(text.begin(), text.end());
    return text;
}

std::optional<std::string> lf_checkSupportedAirport(std::string text, const KnownAirportCheck& isKnown) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    if (text.size() != 4) return std::nullopt;
    if (isKnown && isKnown(text)) return text;
    gf_addScanLogLine(fmt::format("{} is not an airport supported by RealTraffic ", text));
    return std::nullopt;
}

// ---- Airport records ----

std::string lf_decodeAirportNAME(const BglWords& words, std::size_t start, std::size_t limit) {
    std::string name;
    try {
        const std::size_t L = std::clamp<std::int64_t>(static_cast<std::int64_t>(lf_u16(words, start + 2, limit)) - 6, 0,
                                                       kMaxNameBytes);
        const std::size_t end = std::min(limit, words.size() * 4);
        const std::size_t firstByte = start + 6;
        std::size_t available = L;
        if (firstByte + L > end) {
            available = end > firstByte ? end - firstByte : 0;
            const std::size_t wholeWords = end > start + 8 ? (end - (start + 8)) / 4 : 0;
            lf_logFlushed(fmt::format("! name blocks truncated at o3={}, available={}", start / 4, wholeWords));
        }
        name.reserve(available);
        for (std::size_t b = firstByte; b < firstByte + available; ++b) {
            name += static_cast<char>(lf_bytes(words, b, 1, end));
        }
    } catch (...) {
        lf_logFlushed("lf_decodeAirportNAME EXCEPTION");
    }
    while (!name.empty() && name.back() == '\0') name.pop_back();
    if (!lf_isValidUtf8(name)) name = lf_cp1252ToUtf8(name);
    return name;
}

void lf_decodeAirportHeader(const BglWords& words, const BglAirportRecord& record, AirportFile& airport) {
    const auto alt_mm = static_cast<std::int32_t>(lf_u32(words, record.start + kAltitudeByte, record.end));
    const double feet = std::round(alt_mm * kFeetPerMetre / 1000.0);
    const auto alt_ft = static_cast<std::int32_t>(feet);
    airport.altitude = alt_ft < kMinAltitude_ft || alt_ft > kMaxAltitude_ft ? 0 : alt_ft;

    // The name walk stays inside the airport record: beyond it lie other
    // airports, whose names must not be taken for this one's.
    std::size_t at = record.start + (record.extended ? kFirstSubrecordByteExtended : kFirstSubrecordByte);
    std::uint32_t steps = 0;
    while (at + kRecordHeaderBytes <= record.end) {
        if (++steps > kLoopGuard) {
            lf_loopGuard(3, "possible corrupt Airport Basic data or malformed input.");
            return;
        }
        const std::uint32_t size = lf_recordSize(words, at, record.end);
        if (lf_u16(words, at, record.end) == kNameId) {
            const std::string text = lf_decodeAirportNAME(words, at, record.end);
            if (airport.airport_name.empty()) airport.airport_name = text;
            else if (airport.airport_name != text) airport.airport_name.clear();
        }
        if (size < kRecordHeaderBytes) {
            gf_logHighlight(fmt::format("   Warning: decodeSizeAtBoundary returned 0 at o3 = {}", at / 4));
            return;
        }
        at += size;
    }
}

std::optional<std::string> lf_uniqueStandId(const std::string& id, std::unordered_set<std::string>& taken,
                                            const std::string& pathUtf8) {
    if (taken.insert(id).second) return id;
    for (char suffix = 'a'; suffix <= 'j'; ++suffix) {
        std::string candidate = id + suffix;
        if (taken.insert(candidate).second) return candidate;
    }
    gf_addScanLogLine(fmt::format("{}Warning: more than 10 duplicate IDs {} in {}", "===> ", id, pathUtf8));
    return std::nullopt;
}

void lf_decodeAirportStands(const BglWords& words, const BglAirportRecord& record, AirportFile& airport,
                            int& helipadCounter, const std::string& pathUtf8) {
    std::vector<std::pair<double, double>> helipadsSeen;
    std::unordered_set<std::string> idsTaken;
    const std::uint16_t parkingId = record.extended ? kParkingExtendedId : kParkingId;
    std::size_t at = record.start + (record.extended ? kFirstSubrecordByteExtended : kFirstSubrecordByte);
    std::uint32_t steps = 0;
    while (at < record.end) {
        if (++steps > kLoopGuard) {
            lf_loopGuard(1, "possible corrupt SIA or malformed input");
            return;
        }
        if (at >= words.size() * 4) {
            lf_logFlushed(fmt::format("   Error: o3={} exceeded data buffer size ({}), aborting.", at / 4, words.size()));
            return;
        }
        // A subrecord header cut by the end of its record: nothing more in it.
        if (at + kRecordHeaderBytes > record.end) return;
        const std::uint16_t id = lf_u16(words, at, record.end);
        const std::uint32_t size = lf_recordSize(words, at, record.end);
        const std::string zeroSize = fmt::format("   Warning: decodeSizeAtBoundary returned 0 at o3 = {}", at / 4);
        if (id == kNameId) {
            if (size < kRecordHeaderBytes) {
                gf_logHighlight(zeroSize);
                return;
            }
        } else if (id == kHelipadId) {
            lf_decodeHelipad(words, at, record.end, airport, helipadsSeen, helipadCounter);
            if (size < kRecordHeaderBytes) {
                gf_logHighlight(zeroSize);
                return;
            }
        } else if (id == parkingId) {
            lf_decodeTaxiwayParkings(words, at, record.end, airport, idsTaken, record.extended, pathUtf8);
            return;
        } else if (size < kRecordHeaderBytes) {
            lf_logFlushed(zeroSize);
            return;
        }
        at += size;
    }
}

void lf_decodeBglFile(const fs::path& path, const KnownAirportCheck& isKnown, const AirportRecordHandler& onRecord) {
    BglWords words;
    {
        std::ifstream in(path, std::ios::binary);
        if (!in || !lf_readBglWords(in, words)) return;
    }
    const std::size_t W = words.size();
    if (W < kHeaderWords + 1 || words[1] != kHeaderBytes || words[5] < 1) return;
    const std::uint64_t n = words[5];
    if (kHeaderWords + kSectionEntryWords * n > W) return;
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t entry = kHeaderWords + kSectionEntryWords * i;
        if (entry + 3 >= W) break;
        if (words[entry] != kAirportSection) continue;
        if (((words[entry + 1] & kSubsectionFlagMask) | 0x40000) != kSubsectionFlagWanted) continue;
        lf_walkSection(words, entry, isKnown, onRecord);
    }
}

DecodedAirport gf_decodeAirportRecord(const BglWords& words, const BglAirportRecord& record,
                                      const std::string& pathUtf8) {
    DecodedAirport decoded;
    decoded.airport.code = record.code;
    lf_decodeAirportHeader(words, record, decoded.airport);
    lf_decodeAirportStands(words, record, decoded.airport, decoded.helipadCounter, pathUtf8);
    return decoded;
}

std::vector<DecodedAirport> gf_decodeBglAirports(const fs::path& path, const KnownAirportCheck& isKnown) {
    std::vector<DecodedAirport> result;
    std::string pathUtf8;
    try {
        pathUtf8 = gf_pathToUtf8(path);
    } catch (const std::exception&) {
        pathUtf8 = path.generic_string();
    }
    lf_decodeBglFile(path, isKnown, [&](const BglWords& words, const BglAirportRecord& record) {
        result.push_back(gf_decodeAirportRecord(words, record, pathUtf8));
    });
    return result;
}
