// The handlers of the simulator's messages, run on the SimClient thread by
// SimConnect_CallDispatch. Every reader is bounded by the message's true
// size: a message too short for the fields a handler needs is logged and
// dropped, never read past its end.
#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <exception>

#include "core/exit_reason.h"
#include "core/geometry.h"
#include "core/log.h"
#include "core/run_flags.h"
#include "core/settings.h"
#include "core/user_error.h"
#include "simconnect/messages.h"
#include "simlink/sim_flush.h"
#include "simlink/sim_neighbours.h"
#include "simlink/sim_state.h"
#include "core/status_line.h"
#include "core/ui_sink.h"

namespace {

constexpr int kNewFlightDelay_s = 30;
constexpr double kJumpLimit_nm = 10.0;
constexpr std::size_t kMaxTitleLength = 48;
constexpr double kGroundDataCeiling_ft = 2500.0;
// Hexids up to this are the program's static aircraft.
constexpr std::uint32_t kLastStaticHexid = 10000;
constexpr int kFramesPerRateSample = 30;
constexpr double kNmToMetres = 1852.0;


void lf_newFlight() { gf_setExitReason(ExitReason::newFlight, kNewFlightDelay_s); }

void lf_shortMessage(std::uint32_t id, std::uint32_t size) {
    gf_logHighlight(fmt::format("! SimConnect message {} too short: {} bytes", id, size));
}

// The data part ran out before the definition's last field.
void lf_shortData(const SimRecvObjectDataMsg& msg) {
    gf_logHighlight(fmt::format("! SimConnect data of request {} too short: {} bytes", msg.requestId, msg.data.size()));
}

bool lf_nearZero(double v) { return std::fabs(v) <= 0.0001; }

bool lf_userAtZero() {
    const UserAcData data = gf_userAcData();
    return lf_nearZero(data.lat_deg) && lf_nearZero(data.lon_deg);
}

// ---- EXCEPTION ----

void lf_creationFailed(std::uint32_t sendId) {
    std::uint32_t hexid = 0;
    {
        std::lock_guard lock(g_simMutex);
        auto& pending = g_simQueues.pendingCreations;
        auto it = std::find_if(pending.begin(), pending.end(),
                               [&](const PendingCreation& p) { return p.sendId == sendId; });
        if (it == pending.end()) return;
        hexid = it->hexid;
        *it = std::move(pending.back());
        pending.pop_back();
    }
    if (hexid != 0) {
        SimObjectEvent event;
        event.aux = hexid;
        event.kind = SimObjectEventKind::creationFailed;
        gf_pushSimObjectEvent(event);
    }
}

void lf_handleSimException(const std::uint8_t* message, std::uint32_t size) {
    SimRecvExceptionMsg ex;
    if (!gf_readSimRecvException(message, size, ex)) return lf_shortMessage(SimRecvException, size);
    switch (ex.exception) {
    case SimExceptionUnrecognizedId:
        // Before the first user position and while stopping these are
        // expected (requests racing the set-up or the close).
        if (!lf_userAtZero() && !g_runStopping.load() && !g_userClosing.load())
            gf_logHighlight("SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID");
        break;
    case SimExceptionVersionMismatch:
        throw ozr::UserErrorException(95, fmt::format("SimConnect Version Mismatch, dwIndex: {}", ex.index));
    case SimExceptionTooManyObjects:
        gf_setStatusLine("SimConnect: too many objects (max 1000)", true);
        break;
    case SimExceptionInvalidDataSize:
        gf_logLine("SIMCONNECT_EXCEPTION_INVALID_DATA_SIZE");
        break;
    case SimExceptionCreateObjectFailed:
        lf_creationFailed(ex.sendId);
        break;
    case SimExceptionLoadFlightPlanFailed:
        gf_logHighlight("SimConnect exception: load flight plan failed");
        break;
    case SimExceptionOperationInvalidForObjectType:
        gf_logLine("SIMCONNECT_EXCEPTION_OPERATION_INVALID_FOR_OBJECT_TYPE");
        break;
    default:
        gf_logHighlight(fmt::format("SIMCONNECT_EXCEPTION #{}", ex.exception));
        break;
    }
}

// ---- OPEN ----

std::string lf_cleanSimName(const std::string& name) {
    std::string out;
    for (unsigned char c : name) {
        if (c < 128 && (std::isalnum(c) || std::isspace(c))) out.push_back(static_cast<char>(c));
    }
    return out;
}

bool lf_contains(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

void lf_handleSimOpen(const std::uint8_t* message, std::uint32_t size) {
    SimRecvOpenMsg open;
    if (!gf_readSimRecvOpen(message, size, open)) return lf_shortMessage(SimRecvOpen, size);
    if (open.name.empty()) {
        gf_logLine("! Simulator name empty?");
        return;
    }
    g_simConnected.store(true);
    gf_repaintAll();
    const std::string name = lf_cleanSimName(open.name);
    if (name == "KittyHawk" || name == "SunRise")
        throw ozr::UserErrorException(78, name + ", (MSFS) not being P3D connects ... ?");
    const std::string text = fmt::format("{} ({}.{}.{}.{})", name, open.versionMajor, open.versionMinor,
                                         open.buildMajor, open.buildMinor);
    gf_logLine(fmt::format("{} connected", text));
    lf_setSimName(text);
    gf_repaintAll();

    const std::string installPath = SIM_INSTALL_PATH.get();
    const int expected = g_expectedSimVersion.load();
    const bool v5 = lf_contains(text, "v5") &&
                    (lf_contains(installPath, "v5") || lf_contains(installPath, "V5") || expected == 5);
    const bool v6 = lf_contains(text, "v6") &&
                    (lf_contains(installPath, "v6") || lf_contains(installPath, "V6") || expected == 6);
    if (v5 || v6) {
        gf_clearStatusLine();
        return;
    }
    gf_uiSink().enableControl(ALL_INSTALL_PATH.controlId(), true);
    throw ozr::UserErrorException(78, fmt::format("wrong P3D version '{}' connects ... ?)", text));
}

// ---- EVENT ----

void lf_handleSimEvent(const std::uint8_t* message, std::uint32_t size) {
    SimRecvEventMsg event;
    if (!gf_readSimRecvEvent(message, size, event)) return lf_shortMessage(SimRecvEvent, size);
    switch (event.eventId) {
    case SimEventSim: {
        const bool running = event.data == 1;
        g_simRunning.store(running);
        g_simRunningShown.store(running);
        gf_repaintAll();
        break;
    }
    case SimEventPositionChanged:
        gf_logHighlight("User ac position changed");
        lf_newFlight();
        break;
    case SimEventFlightLoaded:
        gf_logLine("SimConnect: flight loaded event");
        g_userParkingSpotCheckDue.store(true);
        lf_newFlight();
        break;
    default:
        break;
    }
}

// ---- EVENT_OBJECT_ADDREMOVE ----

// The simulator reports AI helicopters as their own object type; a Rotorcraft
// the program created is tied to its record and removed like an aeroplane.
bool lf_isAircraftObject(std::uint32_t objectType) {
    return objectType == SimObjectTypeAircraft || objectType == SimObjectTypeHelicopter;
}

void lf_handleObjectAddRemove(const std::uint8_t* message, std::uint32_t size) {
    SimRecvObjectAddRemoveMsg msg;
    if (!gf_readSimRecvObjectAddRemove(message, size, msg))
        return lf_shortMessage(SimRecvEventObjectAddRemove, size);
    if (!lf_isAircraftObject(msg.objectType)) return;
    const std::uint32_t objectId = msg.event.data;
    if (msg.event.eventId == SimEventObjectAdded) {
        if (objectId <= g_userObjectId.load()) return;
        {
            std::lock_guard lock(g_simMutex);
            g_simQueues.newObjects.push_back(objectId);
        }
        // Answers to the engine's aircraft-in-range request carry aeroplanes
        // only, so a new helicopter is asked for its ATC ID directly.
        if (msg.objectType == SimObjectTypeHelicopter) {
            SimConnect_RequestDataOnSimObject(g_simHandle.load(), SimReqAircraftByType, SimDefAircraftByType,
                                              objectId, SimPeriodOnce, 0, 0, 0, 0);
        }
    } else if (msg.event.eventId == SimEventObjectRemoved) {
        SimObjectEvent event;
        event.objectId = objectId;
        event.kind = SimObjectEventKind::removed;
        gf_pushSimObjectEvent(event);
    }
}

// ---- EVENT_FRAME ----

void lf_handleFrame(const std::uint8_t* message, std::uint32_t size) {
    SimRecvFrameMsg frame;
    if (!gf_readSimRecvFrame(message, size, frame)) return lf_shortMessage(SimRecvEventFrame, size);
    lf_flushSimCommandQueues();
    if (g_frameCount.fetch_add(1) + 1 >= kFramesPerRateSample) {
        g_frameCount.store(0);
        g_frameRate.store(frame.frameRate);
    }
}

// ---- SIMOBJECT_DATA ----

void lf_handleStaticCg(const SimRecvObjectDataMsg& msg) {
    SimDataCursor data(msg.data);
    SimObjectEvent event;
    if (!data.f64(event.value1) || !data.f64(event.value2)) return lf_shortData(msg);
    event.objectId = msg.objectId;
    event.kind = SimObjectEventKind::staticCg;
    gf_pushSimObjectEvent(event);
}

void lf_handleUserAcTitle(const SimRecvObjectDataMsg& msg) {
    SimDataCursor data(msg.data);
    std::string title;
    if (!data.stringV(title)) return lf_shortData(msg);
    if (title.empty()) gf_logLine("! Title of your aircraft is empty?");
    if (title.size() > kMaxTitleLength) {
        // Never inside a UTF-8 sequence: a cut one would make the window's
        // conversion of the title fail. A sequence has at most three
        // continuation bytes, so no more are given back.
        std::size_t cut = kMaxTitleLength;
        while (cut > kMaxTitleLength - 3 && (static_cast<unsigned char>(title[cut]) & 0xC0) == 0x80) --cut;
        title.resize(cut);
    }
    if (title == lf_userAcTitle()) return;
    lf_setUserAcTitle(title);
    gf_repaintAll();
    gf_logContinuation("SimConnect: User aircraft title: " + title);
}

bool lf_startsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

void lf_userModelSteps(std::string model) {
    SimLinkNeighbours& n = gf_simLinkNeighbours();
    gf_logContinuation("model raw: " + model);
    std::string line = "SimConnect: User aircraft model: " + model;
    if (model.find("camerapod") != std::string::npos || model.find("Crew Vessel") != std::string::npos) {
        g_userModelKnown.store(true);
        gf_repaintAll();
        lf_setUserHalfWingspanNm(n.halfWingspanNm("E190"));
        g_userCategory.store(AcCategory::Light);
        gf_logContinuation(line);
        return;
    }
    const double largest = n.maxHalfWingspanNm();
    double span = model.size() < 5 ? n.halfWingspanNm(model) : largest;
    lf_setUserHalfWingspanNm(span);
    bool known = span != largest;
    if (!known) {
        const std::string title = lf_userAcTitle();
        const char* deduced = nullptr;
        if (title.size() >= 13) {
            if (lf_startsWith(title, "Aerosoft A319")) deduced = "A319";
            if (lf_startsWith(title, "Aerosoft A320")) deduced = "A320";
            if (lf_startsWith(title, "Aerosoft A321")) deduced = "A321";
        }
        if (deduced) {
            model = deduced;
            line = "SimConnect: User aircraft model deduced from title: " + model;
            span = n.halfWingspanNm(model);
            known = span != 0.0;
            if (!known) span = largest;
            lf_setUserHalfWingspanNm(span);
        }
    }
    if (known) {
        g_userModelKnown.store(true);
        gf_repaintAll();
        line += fmt::format(", half wing span: {:.1F} meter", span * kNmToMetres);
    } else {
        g_userModelKnown.store(false);
        gf_repaintAll();
        gf_setStatusLine("User aircraft wing span unknown, max is taken instead, please report in my Forum!", true);
    }
    const AcCategory category = n.acCategory(model);
    g_userCategory.store(category);
    line += fmt::format(", category: {}", n.categoryName(category));
    gf_logContinuation(line);
}

void lf_handleUserAcModel(const SimRecvObjectDataMsg& msg) {
    SimDataCursor data(msg.data);
    std::string model;
    if (!data.string32(model)) return lf_shortData(msg);
    if (model.empty())
        throw ozr::UserErrorException(71, "atc_model= in [General] section of your aircraft.cfg is empty or missing");
    try {
        lf_userModelSteps(model);
    } catch (const ozr::UserErrorException&) {
        throw;
    } catch (...) {
        throw ozr::UserErrorException(73, "It looks like you have not selected an aircraft as user vehicle");
    }
}

void lf_handleUserOnGround(const SimRecvObjectDataMsg& msg) {
    SimDataCursor data(msg.data);
    std::int64_t onGround = 0;
    if (!data.i64(onGround)) return lf_shortData(msg);
    // Until the user aircraft has a position its ground state means nothing.
    if (!lf_userAtZero()) {
        g_userOnGround.value.store(onGround != 0);
        g_userOnGround.known.store(true);
    }
    g_secondTick.store(true);
}

// The simulator's date fields are outside input: only a plausible date is
// turned into epoch seconds, so an absurd year or day can never overflow the
// arithmetic below.
constexpr std::int64_t kMinZuluYear = 1;
constexpr std::int64_t kMaxZuluYear = 9999;
constexpr std::int64_t kMaxDayOfYear = 366;
constexpr std::int64_t kSecondsPerDay = 86400;

// Days from 1970-01-01 to the first of January of year (proleptic Gregorian).
std::int64_t lf_daysToNewYear(std::int64_t year) {
    const std::int64_t y = year - 1;  // January counts with the year before in the era arithmetic
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = 306;  // 1 January is day 306 of a year starting on 1 March
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

// False (and nothing computed) for a date outside the plausible range.
bool lf_simTimeOf(const UserAcData& d, std::int64_t& epoch_s) {
    if (d.zuluYear < kMinZuluYear || d.zuluYear > kMaxZuluYear) return false;
    if (d.zuluDayOfYear < 1 || d.zuluDayOfYear > kMaxDayOfYear) return false;
    if (d.zuluTime_s < 0 || d.zuluTime_s > kSecondsPerDay) return false;
    epoch_s = (lf_daysToNewYear(d.zuluYear) + d.zuluDayOfYear - 1) * kSecondsPerDay + d.zuluTime_s;
    return true;
}

void lf_handleUserPosition(const SimRecvObjectDataMsg& msg) {
    SimDataCursor c(msg.data);
    UserAcData d;
    if (!(c.f64(d.lat_deg) && c.f64(d.lon_deg) && c.f64(d.pitch_rad) && c.f64(d.bank_rad) && c.f64(d.heading_rad) &&
          c.f64(d.alt_ft) && c.f64(d.altAboveGround_ft) && c.f64(d.groundVelocity_kt) && c.i64(d.zuluTime_s) &&
          c.i64(d.zuluDayOfYear) && c.i64(d.zuluYear) && c.i64(d.lightStates)))
        return lf_shortData(msg);
    if (d.alt_ft < 0) d.alt_ft = 0;
    const LatLon previous = lf_storeUserAcData(d);
    const LatLon now{d.lat_deg, d.lon_deg};
    const bool previousAway = !(lf_nearZero(previous.lat) && lf_nearZero(previous.lon));
    const bool nowAway = !(lf_nearZero(now.lat) && lf_nearZero(now.lon));
    if (previousAway && nowAway && gf_distanceNm(previous, now) > kJumpLimit_nm) {
        gf_logLine("Teleport");
        lf_newFlight();
    }
    // A damaged date keeps the time of the last good answer.
    if (std::int64_t epoch_s = 0; lf_simTimeOf(d, epoch_s)) g_simTime.store(epoch_s);
    g_userObjectId.store(msg.objectId);
}

// ---- A new AI object's ATC ID (by-type answers, and the direct answer
// for a helicopter) ----

void lf_handleAircraftData(const SimRecvObjectDataMsg& msg) {
    if (msg.objectId <= g_userObjectId.load()) return;
    SimDataCursor c(msg.data);
    double altAboveGround_ft = 0, groundAlt_ft = 0;
    std::int64_t onGround = 0;
    std::string atcId;
    if (!(c.f64(altAboveGround_ft) && c.f64(groundAlt_ft) && c.i64(onGround) && c.string32(atcId)))
        return lf_shortData(msg);

    bool isNew = false;
    std::uint32_t hexid = 0;
    {
        std::lock_guard lock(g_simMutex);
        auto& fresh = g_simQueues.newObjects;
        auto it = std::find(fresh.begin(), fresh.end(), msg.objectId);
        if (it != fresh.end()) {
            isNew = true;
            *it = fresh.back();
            fresh.pop_back();
            auto& pending = g_simQueues.pendingCreations;
            auto p = atcId.empty() ? pending.end()
                                   : std::find_if(pending.begin(), pending.end(),
                                                  [&](const PendingCreation& pc) { return pc.callsign == atcId; });
            if (p != pending.end()) {
                hexid = p->hexid;
                *p = std::move(pending.back());
                pending.pop_back();
            }
        }
    }
    if (isNew) {
        if (hexid == 0) {
            gf_logLine(fmt::format("just spawned, but not by {}, oid: {}, callsign '{}', altaboveGnd:{:.0f} ft, "
                                   "onground:{}, gnd_alt:{:.0f} ft",
                                   "GLIM_P3D", msg.objectId, atcId, altAboveGround_ft, onGround, groundAlt_ft));
            return;
        }
        lf_releaseAndFreezeAiObject(msg.objectId);
        SimObjectEvent event;
        event.objectId = msg.objectId;
        event.aux = hexid;
        if (hexid <= kLastStaticHexid) {
            event.kind = SimObjectEventKind::staticCreated;
        } else {
            event.kind = SimObjectEventKind::liveCreated;
            event.value2 = altAboveGround_ft;
        }
        gf_pushSimObjectEvent(event);
        return;
    }
    if (altAboveGround_ft <= kGroundDataCeiling_ft && !atcId.empty() && atcId.back() != '*') {
        SimObjectEvent event;
        event.objectId = msg.objectId;
        event.aux = static_cast<std::uint32_t>(onGround);
        event.kind = SimObjectEventKind::groundData;
        event.value1 = groundAlt_ft;
        event.value2 = altAboveGround_ft;
        gf_pushSimObjectEvent(event);
    }
}

void lf_handleSimObjectData(const std::uint8_t* message, std::uint32_t size) {
    SimRecvObjectDataMsg msg;
    if (!gf_readSimRecvObjectData(message, size, msg)) return lf_shortMessage(SimRecvSimObjectData, size);
    switch (msg.requestId) {
    case SimReqStaticCg: lf_handleStaticCg(msg); break;
    case SimReqUserTitle: lf_handleUserAcTitle(msg); break;
    case SimReqUserModel: lf_handleUserAcModel(msg); break;
    case SimReqUserOnGround: lf_handleUserOnGround(msg); break;
    case SimReqUserPosition: lf_handleUserPosition(msg); break;
    case SimReqAircraftByType: lf_handleAircraftData(msg); break;
    default: break;
    }
}

void lf_handleSimObjectDataByType(const std::uint8_t* message, std::uint32_t size) {
    SimRecvObjectDataMsg msg;
    if (!gf_readSimRecvObjectData(message, size, msg)) return lf_shortMessage(SimRecvSimObjectDataByType, size);
    if (msg.requestId == SimReqAircraftByType) lf_handleAircraftData(msg);
}

}  // namespace

void lf_dispatchSimMessage(const std::uint8_t* message, std::uint32_t size, void* context) {
    SimRecvHeader header;
    if (!gf_readSimRecvHeader(message, size, header)) return;
    switch (header.id) {
    case SimRecvException: lf_handleSimException(message, size); break;
    case SimRecvOpen: lf_handleSimOpen(message, size); break;
    case SimRecvQuit:
        g_simRunning.store(false);
        g_simQuitReceived.store(true);
        break;
    case SimRecvEvent: lf_handleSimEvent(message, size); break;
    case SimRecvEventObjectAddRemove: lf_handleObjectAddRemove(message, size); break;
    case SimRecvEventFilename:
        gf_logHighlight("SimConnect: New file event");
        g_userParkingSpotCheckDue.store(true);
        lf_newFlight();
        break;
    case SimRecvEventFrame: lf_handleFrame(message, size); break;
    case SimRecvSimObjectData: lf_handleSimObjectData(message, size); break;
    case SimRecvSimObjectDataByType: lf_handleSimObjectDataByType(message, size); break;
    case SimRecvAssignedObjectId:
    case 16: break;
    default: gf_logLine(fmt::format("! Unknown Dispatch dwID {}", header.id)); break;
    }
}
