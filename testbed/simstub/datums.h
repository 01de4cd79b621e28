// The simulation variables the stand-in knows, their datum types and units,
// and the untagged packing of a data definition.
#pragma once

#include "simstub/wire.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace simstub {

// The published datum types.
enum DatumType : std::uint32_t {
    kDatumInt32 = 1,
    kDatumInt64 = 2,
    kDatumFloat32 = 3,
    kDatumFloat64 = 4,
    kDatumString8 = 5,
    kDatumString32 = 6,
    kDatumString64 = 7,
    kDatumString128 = 8,
    kDatumString256 = 9,
    kDatumString260 = 10,
    kDatumStringV = 11,
};

bool isKnownDatumType(std::uint32_t type);
bool isStringDatumType(std::uint32_t type);
// Bytes of one value of a fixed-size type; 0 for STRINGV.
std::size_t fixedDatumSize(std::uint32_t type);

enum class Var {
    Latitude,
    Longitude,
    Pitch,
    Bank,
    Heading,
    Altitude,
    AltAboveGround,
    GroundAltitude,
    GroundVelocity,
    VerticalSpeed,
    AirspeedTrue,
    ZuluTime,
    ZuluDayOfYear,
    ZuluYear,
    LightStates,
    LightOnStates,
    SimOnGround,
    AtcId,
    Title,
    AtcModel,
    StaticCgToGround,
    StaticPitch,
    SpoilersHandle,
    ThrottleLever,
};

struct VarRef {
    Var var;
    int index = 0;      // engine number of an indexed variable ("...:2")
    bool text = false;  // a text variable, packed only into string types
};

// Looks a datum name up, ignoring case; empty when the stand-in does not know it.
std::optional<VarRef> findVariable(std::string_view datumName);

// One variable of a client's data definition.
struct DatumDef {
    std::string name;
    std::string units;
    std::uint32_t type = 0;
    VarRef ref{};
};

using Value = std::variant<double, std::string>;

// Converts a value kept in the stand-in's own unit (degrees for latitude and
// longitude, radians for attitude, feet, knots, feet per second) into the
// units the client asked for; units the stand-in does not convert pass through.
double toClientUnits(Var var, std::string_view units, double value);
double fromClientUnits(Var var, std::string_view units, double value);

// A number from a client (or worked out from one) as an integer: NaN gives 0
// and values beyond the type's range its nearest end, where a plain cast
// would be undefined.
std::int64_t toInt64(double value);
std::int32_t toInt32(double value);

// Appends one value packed untagged: numbers in the datum's width, STRING<n>
// as exactly n bytes ending in NUL, STRINGV as the text, a NUL and zeros up
// to a multiple of 4.
void packDatum(Bytes& out, const DatumDef& datum, const Value& value);

// Size of one element of a definition for SetDataOnSimObject; empty when the
// definition holds a STRINGV and so has no fixed size.
std::optional<std::size_t> definitionSize(const std::vector<DatumDef>& datums);

// Reads the numeric value of a datum at offset of a set-data element (already
// in the stand-in's units); texts yield nothing.
std::optional<double> readDatum(const Bytes& element, std::size_t offset, const DatumDef& datum);

}  // namespace simstub
