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
constexpr std::size_t kSubsectionEntryWords = 4;
constexpr std::uint32_t kAirportSection = 3;
constexpr std::uint32_t kSubsectionFlagMask = 0x10000;
constexpr std::uint32_t kSubsectionFlagWanted = 0x40000;
constexpr std::uint16_t kAirportId = 0x003C;
constexpr std::uint16_t kAirportExtendedId = 0x00AB;
constexpr std::uint16_t kNameId = 0x0019;
constexpr std::uint16_t kHelipadId = 0x0026;
constexpr std::uint16_t kParkingId = 0x003D;
constexpr std::uint16_t kParkingExtendedId = 0x00AD;
constexpr std::size_t kIdentWord = 10;
constexpr std::size_t kAltitudeWord = 5;
constexpr std::size_t kFirstSubrecordWord = 14;          // 0x003C
constexpr std::size_t kFirstSubrecordWordExtended = 15;  // 0x00AB
constexpr std::size_t kParkingEntryWords = 9;
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

// A word of the file that must lie before limit (the end of the structure
// being read): anything beyond belongs to something else.
std::uint32_t lf_at(const BglWords& words, std::size_t k, std::size_t limit) {
    if (k >= limit || k >= words.size()) {
        throw std::out_of_range(fmt::format("bgl word {} outside its structure (end {})", k, limit));
    }
    return words[k];
}

std::uint16_t lf_recordId(std::uint32_t word) { return static_cast<std::uint16_t>(word & 0xFFFF); }

// The size of a record spans the word boundary at bytes 2..5.
std::uint32_t lf_decodeSizeAtBoundary(const BglWords& words, std::size_t k, std::size_t limit) {
    return ((lf_at(words, k + 1, limit) & 0xFFFF) << 16) | (lf_at(words, k, limit) >> 16);
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

// The end (in words) of an airport section's data: the furthest end of its
// subsections, so that the record walk stays inside the section. A table
// that says nothing usable leaves the end of the file.
std::size_t lf_sectionEnd(const BglWords& words, std::size_t entry) {
    const std::size_t W = words.size();
    const std::size_t table = words[entry + 3] / 4;
    const std::size_t count = words[entry + 2];
    std::size_t end = 0;
    for (std::size_t j = 0; j < count; ++j) {
        const std::size_t e = table + j * kSubsectionEntryWords;
        if (e + 3 >= W) break;
        const std::uint64_t dataEnd = (std::uint64_t{words[e + 2]} + words[e + 3] + 3) / 4;
        end = std::max<std::size_t>(end, static_cast<std::size_t>(std::min<std::uint64_t>(dataEnd, W)));
    }
    return end == 0 ? W : end;
}

// A damaged airport record ends only that airport: the other airports of
// the file are still decoded.
void lf_handleRecord(const BglWords& words, const BglAirportRecord& record, const AirportRecordHandler& onRecord) {
    try {
        onRecord(words, record);
    } catch (const std::exception& e) {
        gf_addScanLogLine(fmt::format("{}{} skipped, its airport record at word {} is damaged: {}", "===> ",
                                      record.code, record.start, e.what()));
    }
}

void lf_walkSectionRecords(const BglWords& words, std::size_t s, std::size_t end, const KnownAirportCheck& isKnown,
                           const AirportRecordHandler& onRecord) {
    std::uint32_t walked = 0;
    std::size_t k = s;
    while (k < end) {
        if (++walked > kLoopGuard) {
            lf_loopGuard(2, "possible corrupt BGL or malformed input.");
            return;
        }
        if (k + 1 >= end) return;  // no room for a record header
        const std::uint16_t id = lf_recordId(words[k]);
        const std::size_t sizeWords = lf_decodeSizeAtBoundary(words, k, end) / 4;
        if (id == kAirportId || id == kAirportExtendedId) {
            if (sizeWords == 0) {
                gf_logHighlight(fmt::format("   Warning: decodeSizeAtBoundary returned {} at o2 = {}", sizeWords, k));
                return;
            }
            if (k + kIdentWord < end) {
                bool valid = false;
                std::string ident = lf_decodeIdent(words[k + kIdentWord], valid);
                if (valid) {
                    if (auto code = lf_checkSupportedAirport(std::move(ident), isKnown)) {
                        BglAirportRecord record;
                        record.start = k;
                        record.end = std::min(k + sizeWords, end);
                        record.extended = id == kAirportExtendedId;
                        record.code = std::move(*code);
                        lf_handleRecord(words, record, onRecord);
                    }
                }
            }
        }
        if (sizeWords == 0 || k + sizeWords <= k) return;
        k += sizeWords;
    }
}

// ---- Stands ----

void lf_decodeHelipad(const BglWords& words, std::size_t k, std::size_t limit, AirportFile& airport,
                      std::vector<std::pair<double, double>>& seen, int& counter) {
    const double lat = lf_latitude(lf_at(words, k + 4, limit));
    const double lon = lf_longitude(lf_at(words, k + 3, limit));
    const float size_m = lf_float(lf_at(words, k + 7, limit));
    const float hdg_deg = lf_float(lf_at(words, k + 8, limit));
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

void lf_decodeTaxiwayParkings(const BglWords& words, std::size_t k, std::size_t limit, AirportFile& airport,
                              std::unordered_set<std::string>& taken, bool extended, const std::string& pathUtf8) {
    const std::uint32_t count = lf_at(words, k + 1, limit) >> 16;
    std::size_t entry = k + 2;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint32_t flags = lf_at(words, entry, limit);
        const std::uint32_t airlines = flags >> 24;
        const std::size_t next = entry + kParkingEntryWords + (extended ? 1 : 0) + airlines;
        const float radius_m = lf_float(lf_at(words, entry + 1, limit));
        const float hdg_deg = lf_float(lf_at(words, entry + 2, limit));
        const double lon = lf_longitude(lf_at(words, entry + 7, limit));
        const double lat = lf_latitude(lf_at(words, entry + 8, limit));
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
        const std::size_t L = std::clamp<std::int64_t>(static_cast<std::int64_t>(lf_at(words, start, limit) >> 16) - 6,
                                                       0, kMaxNameBytes);
        const std::size_t end = std::min(limit, words.size());
        const std::size_t firstByte = start * 4 + 6;
        std::size_t available = L;
        if (firstByte + L > end * 4) {
            available = end * 4 > firstByte ? end * 4 - firstByte : 0;
            const std::size_t wholeWords = end > start + 2 ? end - (start + 2) : 0;
            lf_logFlushed(fmt::format("! name blocks truncated at o3={}, available={}", start, wholeWords));
        }
        name.reserve(available);
        for (std::size_t b = firstByte; b < firstByte + available; ++b) {
            name += static_cast<char>((words[b / 4] >> (8 * (b % 4))) & 0xFF);
        }
    } catch (...) {
        lf_logFlushed("lf_decodeAirportNAME EXCEPTION");
    }
    while (!name.empty() && name.back() == '\0') name.pop_back();
    if (!lf_isValidUtf8(name)) name = lf_cp1252ToUtf8(name);
    return name;
}

void lf_decodeAirportHeader(const BglWords& words, const BglAirportRecord& record, AirportFile& airport) {
    const auto alt_mm = static_cast<std::int32_t>(lf_at(words, record.start + kAltitudeWord, record.end));
    const double feet = std::round(alt_mm * kFeetPerMetre / 1000.0);
    const auto alt_ft = static_cast<std::int32_t>(feet);
    airport.altitude = alt_ft < kMinAltitude_ft || alt_ft > kMaxAltitude_ft ? 0 : alt_ft;

    // The name walk stays inside the airport record: beyond it lie other
    // airports, whose names must not be taken for this one's.
    std::size_t k = record.start + (record.extended ? kFirstSubrecordWordExtended : kFirstSubrecordWord);
    std::uint32_t steps = 0;
    while (k + 1 < record.end) {
        if (++steps > kLoopGuard) {
            lf_loopGuard(3, "possible corrupt Airport Basic data or malformed input.");
            return;
        }
        const std::size_t sizeWords = lf_decodeSizeAtBoundary(words, k, record.end) / 4;
        if (lf_recordId(words[k]) == kNameId) {
            const std::string text = lf_decodeAirportNAME(words, k, record.end);
            if (airport.airport_name.empty()) airport.airport_name = text;
            else if (airport.airport_name != text) airport.airport_name.clear();
        }
        if (sizeWords == 0) {
            gf_logHighlight(fmt::format("   Warning: decodeSizeAtBoundary returned 0 at o3 = {}", k));
            return;
        }
        k += sizeWords;
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
    std::size_t k = record.start + (record.extended ? kFirstSubrecordWordExtended : kFirstSubrecordWord);
    std::uint32_t steps = 0;
    while (k < record.end) {
        if (++steps > kLoopGuard) {
            lf_loopGuard(1, "possible corrupt SIA or malformed input");
            return;
        }
        if (k >= words.size()) {
            lf_logFlushed(fmt::format("   Error: o3={} exceeded data buffer size ({}), aborting.", k, words.size()));
            return;
        }
        // A subrecord header cut by the end of its record: nothing more in it.
        if (k + 1 >= record.end) return;
        const std::uint16_t id = lf_recordId(words[k]);
        const std::uint32_t size = lf_decodeSizeAtBoundary(words, k, record.end);
        const std::string zeroSize = fmt::format("   Warning: decodeSizeAtBoundary returned 0 at o3 = {}", k);
        if (id == kNameId) {
            if (size < 4) {
                gf_logHighlight(zeroSize);
                return;
            }
        } else if (id == kHelipadId) {
            lf_decodeHelipad(words, k, record.end, airport, helipadsSeen, helipadCounter);
            if (size < 4) {
                gf_logHighlight(zeroSize);
                return;
            }
        } else if (id == parkingId) {
            lf_decodeTaxiwayParkings(words, k, record.end, airport, idsTaken, record.extended, pathUtf8);
            return;
        } else if (size < 4) {
            lf_logFlushed(zeroSize);
            return;
        }
        k += size / 4;
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
        const std::size_t t = words[entry + 3] / 4 + 2;
        if (t >= W) continue;
        const std::size_t s = words[t] / 4;
        if (s >= W) continue;
        lf_walkSectionRecords(words, s, lf_sectionEnd(words, entry), isKnown, onRecord);
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
