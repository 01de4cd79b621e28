#include "simstub/datums.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <numbers>

namespace simstub {

namespace {

constexpr double kFeetToMetres = 0.3048;
constexpr double kKnotsToMetresPerSecond = 1852.0 / 3600.0;
constexpr double kDegToRad = std::numbers::pi / 180.0;

std::string lf_lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return std::tolower(c); });
    // Units and names are compared without surrounding blanks.
    auto notBlank = [](unsigned char c) { return !std::isspace(c); };
    out.erase(out.begin(), std::find_if(out.begin(), out.end(), notBlank));
    out.erase(std::find_if(out.rbegin(), out.rend(), notBlank).base(), out.end());
    return out;
}

struct VarName {
    const char* name;   // lower case
    Var var;
    bool text;
};

constexpr VarName kVariables[] = {
    {"plane latitude", Var::Latitude, false},
    {"plane longitude", Var::Longitude, false},
    {"plane pitch degrees", Var::Pitch, false},
    {"plane bank degrees", Var::Bank, false},
    {"plane heading degrees true", Var::Heading, false},
    {"plane heading degrees magnetic", Var::Heading, false},
    {"plane altitude", Var::Altitude, false},
    {"plane alt above ground", Var::AltAboveGround, false},
    {"ground altitude", Var::GroundAltitude, false},
    {"ground velocity", Var::GroundVelocity, false},
    {"vertical speed", Var::VerticalSpeed, false},
    {"airspeed true", Var::AirspeedTrue, false},
    {"zulu time", Var::ZuluTime, false},
    {"zulu day of year", Var::ZuluDayOfYear, false},
    {"zulu year", Var::ZuluYear, false},
    {"light states", Var::LightStates, false},
    {"light on states", Var::LightOnStates, false},
    {"sim on ground", Var::SimOnGround, false},
    {"atc id", Var::AtcId, true},
    {"title", Var::Title, true},
    {"atc model", Var::AtcModel, true},
    {"static cg to ground", Var::StaticCgToGround, false},
    {"static pitch", Var::StaticPitch, false},
    {"spoilers handle position", Var::SpoilersHandle, false},
    {"general eng throttle lever position", Var::ThrottleLever, false},
};

enum class Dimension { None, PositionAngle, AttitudeAngle, Length, Speed, VerticalSpeed };

Dimension lf_dimension(Var var) {
    switch (var) {
    case Var::Latitude:
    case Var::Longitude:
        return Dimension::PositionAngle;
    case Var::Pitch:
    case Var::Bank:
    case Var::Heading:
    case Var::StaticPitch:
        return Dimension::AttitudeAngle;
    case Var::Altitude:
    case Var::AltAboveGround:
    case Var::GroundAltitude:
    case Var::StaticCgToGround:
        return Dimension::Length;
    case Var::GroundVelocity:
    case Var::AirspeedTrue:
        return Dimension::Speed;
    case Var::VerticalSpeed:
        return Dimension::VerticalSpeed;
    default:
        return Dimension::None;
    }
}

bool lf_isDegrees(const std::string& u) { return u == "degree" || u == "degrees"; }
bool lf_isRadians(const std::string& u) { return u == "radian" || u == "radians"; }

// Factor from the stand-in's own unit to the client's units.
double lf_factor(Var var, std::string_view units) {
    std::string u = lf_lower(units);
    switch (lf_dimension(var)) {
    case Dimension::PositionAngle:
        return lf_isRadians(u) ? kDegToRad : 1.0;
    case Dimension::AttitudeAngle:
        return lf_isDegrees(u) ? 1.0 / kDegToRad : 1.0;
    case Dimension::Length:
        return (u == "meter" || u == "meters" || u == "metre" || u == "metres") ? kFeetToMetres : 1.0;
    case Dimension::Speed:
        return (u == "meters per second" || u == "meter per second") ? kKnotsToMetresPerSecond : 1.0;
    case Dimension::VerticalSpeed:
        if (u == "feet per minute" || u == "foot per minute" || u == "feet/minute") return 60.0;
        if (u == "meters per second" || u == "meter per second") return kFeetToMetres;
        return 1.0;
    default:
        return 1.0;
    }
}

}  // namespace

bool isKnownDatumType(std::uint32_t type) { return type >= kDatumInt32 && type <= kDatumStringV; }

bool isStringDatumType(std::uint32_t type) { return type >= kDatumString8 && type <= kDatumStringV; }

std::size_t fixedDatumSize(std::uint32_t type) {
    switch (type) {
    case kDatumInt32:
    case kDatumFloat32:
        return 4;
    case kDatumInt64:
    case kDatumFloat64:
    case kDatumString8:
        return 8;
    case kDatumString32:
        return 32;
    case kDatumString64:
        return 64;
    case kDatumString128:
        return 128;
    case kDatumString256:
        return 256;
    case kDatumString260:
        return 260;
    default:
        return 0;
    }
}

std::int64_t toInt64(double value) {
    if (std::isnan(value)) return 0;
    // 2^63 is the first double beyond the range; the lowest end is exact.
    if (value >= 9223372036854775808.0) return std::numeric_limits<std::int64_t>::max();
    if (value <= -9223372036854775808.0) return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(value);
}

std::int32_t toInt32(double value) {
    if (std::isnan(value)) return 0;
    return static_cast<std::int32_t>(std::clamp(value, -2147483648.0, 2147483647.0));
}

std::optional<VarRef> findVariable(std::string_view datumName) {
    std::string name = lf_lower(datumName);
    int index = 0;
    auto colon = name.find(':');
    if (colon != std::string::npos) {
        std::string digits = name.substr(colon + 1);
        // Two digits are plenty for an engine number and keep a long run of
        // digits in a client's name from overflowing the conversion.
        if (digits.empty() || digits.size() > 2 ||
            !std::all_of(digits.begin(), digits.end(), [](unsigned char c) { return std::isdigit(c); })) {
            return std::nullopt;
        }
        index = std::atoi(digits.c_str());
        name.resize(colon);
    }
    for (const auto& v : kVariables) {
        if (name == v.name) {
            // Only the throttle of an engine takes an index.
            bool indexed = v.var == Var::ThrottleLever;
            if (indexed != (colon != std::string::npos) || (indexed && (index < 1 || index > 4))) {
                return std::nullopt;
            }
            return VarRef{v.var, index, v.text};
        }
    }
    return std::nullopt;
}

double toClientUnits(Var var, std::string_view units, double value) { return value * lf_factor(var, units); }

double fromClientUnits(Var var, std::string_view units, double value) { return value / lf_factor(var, units); }

void packDatum(Bytes& out, const DatumDef& datum, const Value& value) {
    std::size_t at = out.size();
    if (isStringDatumType(datum.type)) {
        std::string text = std::holds_alternative<std::string>(value) ? std::get<std::string>(value) : std::string();
        std::size_t width = fixedDatumSize(datum.type);
        if (width == 0) {
            width = (text.size() + 1 + 3) / 4 * 4;
        }
        out.resize(at + width, 0);
        putText(out, at, width, text);
        return;
    }
    double v = std::holds_alternative<double>(value) ? std::get<double>(value) : 0.0;
    v = toClientUnits(datum.ref.var, datum.units, v);
    switch (datum.type) {
    case kDatumInt32:
        out.resize(at + 4, 0);
        putU32(out, at, static_cast<std::uint32_t>(toInt32(v)));
        break;
    case kDatumInt64:
        out.resize(at + 8, 0);
        putI64(out, at, toInt64(v));
        break;
    case kDatumFloat32:
        out.resize(at + 4, 0);
        putF32(out, at, static_cast<float>(v));
        break;
    default:
        out.resize(at + 8, 0);
        putF64(out, at, v);
        break;
    }
}

std::optional<std::size_t> definitionSize(const std::vector<DatumDef>& datums) {
    std::size_t total = 0;
    for (const auto& d : datums) {
        std::size_t n = fixedDatumSize(d.type);
        if (n == 0) return std::nullopt;
        total += n;
    }
    return total;
}

std::optional<double> readDatum(const Bytes& element, std::size_t offset, const DatumDef& datum) {
    double v = 0.0;
    switch (datum.type) {
    case kDatumInt32:
        v = static_cast<std::int32_t>(readU32(element.data(), element.size(), offset));
        break;
    case kDatumInt64: {
        std::uint64_t lo = readU32(element.data(), element.size(), offset);
        std::uint64_t hi = readU32(element.data(), element.size(), offset + 4);
        v = static_cast<double>(static_cast<std::int64_t>(lo | (hi << 32)));
        break;
    }
    case kDatumFloat32:
        v = readF32(element.data(), element.size(), offset);
        break;
    case kDatumFloat64:
        v = readF64(element.data(), element.size(), offset);
        break;
    default:
        return std::nullopt;
    }
    return fromClientUnits(datum.ref.var, datum.units, v);
}

}  // namespace simstub
