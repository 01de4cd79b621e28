#include "simconnect/value_guard.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace {

enum class Quantity { any, latitude_deg, longitude_deg, altitude_ft, attitude_rad, heading_rad, verticalSpeed_fps, speed_kt };

struct Datum {
    std::uint32_t type = 0;
    Quantity quantity = Quantity::any;
};

std::mutex g_guardMutex;
std::map<SimConnectHandle, std::map<std::uint32_t, std::vector<Datum>>> g_definitions;

std::string lf_lower(const char* text) {
    std::string out = text ? text : "";
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

// What a datum means, from its simulation variable and unit; a name or unit
// the guard does not know is only checked for being finite.
Quantity lf_quantity(const char* name, const char* units) {
    const std::string n = lf_lower(name);
    const std::string u = lf_lower(units);
    const bool degrees = u == "degree" || u == "degrees";
    if (n == "plane latitude" && degrees) return Quantity::latitude_deg;
    if (n == "plane longitude" && degrees) return Quantity::longitude_deg;
    if (n == "plane altitude" && u == "feet") return Quantity::altitude_ft;
    if ((n == "plane pitch degrees" || n == "plane bank degrees") && u == "radians") return Quantity::attitude_rad;
    if ((n == "plane heading degrees true" || n == "plane heading degrees magnetic") && u == "radians") {
        return Quantity::heading_rad;
    }
    if (n == "vertical speed" && u == "feet per second") return Quantity::verticalSpeed_fps;
    if ((n == "airspeed true" || n == "airspeed indicated" || n == "ground velocity") && u == "knots") {
        return Quantity::speed_kt;
    }
    return Quantity::any;
}

// Bytes of a datum in a data block; 0 for one of variable length.
std::uint32_t lf_datumSize(std::uint32_t type) {
    switch (type) {
        case 1: return 4;   // INT32
        case 2: return 8;   // INT64
        case 3: return 4;   // FLOAT32
        case 4: return 8;   // FLOAT64
        case 5: return 8;   // STRING8
        case 6: return 32;  // STRING32
        case 7: return 64;  // STRING64
        case 8: return 128;
        case 9: return 256;
        case 10: return 260;
        default: return 0;
    }
}

bool lf_within(double v, double low, double high) { return v >= low && v <= high; }

bool lf_valueAllowed(double v, Quantity q) {
    const SimValueLimits& k = kSimValueLimits;
    if (!std::isfinite(v)) return false;
    switch (q) {
        case Quantity::latitude_deg: return lf_within(v, -90.0, 90.0);
        case Quantity::longitude_deg: return lf_within(v, -180.0, 180.0);
        case Quantity::altitude_ft: return lf_within(v, k.minAlt_ft, k.maxAlt_ft);
        case Quantity::attitude_rad: return lf_within(v, -k.maxAttitude_rad, k.maxAttitude_rad);
        case Quantity::heading_rad: return lf_within(v, -k.maxHeading_rad, k.maxHeading_rad);
        case Quantity::verticalSpeed_fps: return lf_within(v, -k.maxVerticalSpeed_fps, k.maxVerticalSpeed_fps);
        case Quantity::speed_kt: return lf_within(v, k.minSpeed_kt, k.maxSpeed_kt);
        case Quantity::any: return true;
    }
    return true;
}

}  // namespace

void gf_simGuardAddDatum(SimConnectHandle handle, std::uint32_t defineId, const char* name, const char* units,
                         std::uint32_t datumType) {
    std::lock_guard lock(g_guardMutex);
    g_definitions[handle][defineId].push_back(Datum{datumType, lf_quantity(name, units)});
}

void gf_simGuardForget(SimConnectHandle handle) {
    std::lock_guard lock(g_guardMutex);
    g_definitions.erase(handle);
}

bool gf_simGuardDataAllowed(SimConnectHandle handle, std::uint32_t defineId, std::uint32_t count,
                            std::uint32_t unitSize, const void* data) {
    if (!data) return true;
    std::lock_guard lock(g_guardMutex);
    const auto connection = g_definitions.find(handle);
    if (connection == g_definitions.end()) return true;
    const auto definition = connection->second.find(defineId);
    if (definition == connection->second.end()) return true;
    const std::vector<Datum>& datums = definition->second;
    std::uint32_t layout = 0;
    for (const Datum& d : datums) {
        const std::uint32_t size = lf_datumSize(d.type);
        if (size == 0) return true;
        layout += size;
    }
    if (layout != unitSize) return true;
    const auto* bytes = static_cast<const unsigned char*>(data);
    const std::uint32_t elements = std::max<std::uint32_t>(count, 1);
    for (std::uint32_t e = 0; e < elements; ++e) {
        std::uint32_t offset = e * unitSize;
        for (const Datum& d : datums) {
            if (d.type == 4) {
                double v;
                std::memcpy(&v, bytes + offset, sizeof v);
                if (!lf_valueAllowed(v, d.quantity)) return false;
            } else if (d.type == 3) {
                float v;
                std::memcpy(&v, bytes + offset, sizeof v);
                if (!lf_valueAllowed(v, d.quantity)) return false;
            }
            offset += lf_datumSize(d.type);
        }
    }
    return true;
}

bool gf_simGuardPositionAllowed(const SimConnectInitPosition& p) {
    return lf_valueAllowed(p.latitude_deg, Quantity::latitude_deg) &&
           lf_valueAllowed(p.longitude_deg, Quantity::longitude_deg) &&
           lf_valueAllowed(p.altitude_ft, Quantity::altitude_ft) &&
           // The created aircraft's attitude is given in degrees.
           lf_within(p.pitch_deg, -180.0, 180.0) && lf_within(p.bank_deg, -180.0, 180.0) &&
           lf_within(p.heading_deg, -720.0, 720.0) &&
           p.airspeed_kt <= static_cast<std::uint32_t>(kSimValueLimits.maxSpeed_kt);
}
