#include "simstub/stub.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <numbers>

namespace simstub {

namespace {

constexpr double kDegToRad = std::numbers::pi / 180.0;
constexpr std::uint32_t kProtocolP3D = 35;
constexpr std::uint32_t kProtocolFsx = 4;
// A frame schedule that fell this far behind (a stalled host) restarts
// instead of sending a burst of stale frames.
constexpr double kFrameCatchUpLimitS = 0.5;

std::string lf_lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return std::tolower(c); });
    return out;
}

// The system events a client may subscribe to; the stand-in raises only some
// of them, but a misspelt name is refused as the simulator refuses it.
bool lf_isSystemEventName(const std::string& lower) {
    static const char* const kNames[] = {
        "1sec", "4sec", "6hz", "aircraftloaded", "crashed", "crashreset", "flightloaded", "flightsaved",
        "flightplanactivated", "flightplandeactivated", "frame", "objectadded", "objectremoved", "pause",
        "paused", "pauseframe", "positionchanged", "sim", "simstart", "simstop", "sound", "unpaused", "view",
        "weathermodechanged"};
    return std::any_of(std::begin(kNames), std::end(kNames), [&](const char* n) { return lower == n; });
}

// The two Opens a Prepar3D v5/v6 server accepts from this program's kind of
// client: its own protocol and the FSX SP2 one. Like the real server it does
// not mind the send id: independent clients number their packets from 0.
bool lf_acceptableOpen(const Packet& p) {
    if (!p.sizeOk) return false;
    const auto& f = p.fields;
    auto v = [&](const char* k) { return f.value(k, 0u); };
    std::string product = f.value("product", std::string());
    if (p.version == kProtocolP3D) {
        return product == "P3D" && v("version_major") == 5 && v("version_minor") == 3 && v("build_major") == 0 &&
               v("build_minor") == 0;
    }
    if (p.version == kProtocolFsx) {
        return product == "FSX" && v("version_major") == 10 && v("version_minor") == 0 &&
               v("build_major") == 61259 && v("build_minor") == 0;
    }
    return false;
}

}  // namespace

Stub::Stub(const Scenario& scenario, Recorder* recorder)
    : world_(scenario),
      recorder_(recorder && recorder->isOpen() ? recorder : nullptr),
      simRunning_(world_.scenario().simRunning) {
    if (world_.scenario().zuluEpochS) {
        zuluBaseS_ = *world_.scenario().zuluEpochS;
    } else {
        zuluBaseS_ = std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
    }
}

void Stub::setTime(double nowS) { now_ = std::max(now_, nowS); }

double Stub::zuluEpoch() const { return zuluBaseS_ + now_ * world_.scenario().simSpeed; }

Stub::Session* Stub::findSession(SessionId id) {
    auto it = sessions_.find(id);
    return it == sessions_.end() ? nullptr : &it->second;
}

void Stub::record(Json line) {
    if (recorder_) recorder_->write(line);
}

Stub::Json Stub::recordHead(const Session& s) const {
    Json j = Json::object();
    j["time"] = std::round(now_ * 1000.0) / 1000.0;
    j["session"] = s.id;
    return j;
}

void Stub::send(Session& s, const Bytes& message) {
    // Messages go out back to back at their exact sizes: no padding.
    s.outbox.insert(s.outbox.end(), message.begin(), message.end());
}

void Stub::sendException(Session& s, std::uint32_t code, std::uint32_t sendId, Json& rec) {
    send(s, encodeException(s.protocol, code, sendId, 0));
    rec["exception"] = code;
}

void Stub::emitSystemEvent(std::string_view name, const std::function<Bytes(const Session&, std::uint32_t)>& make) {
    std::string lower = lf_lower(name);
    for (auto& [id, s] : sessions_) {
        if (!s.opened) continue;
        for (const auto& sub : s.subscriptions) {
            if (sub.name == lower) send(s, make(s, sub.eventId));
        }
    }
}

SessionId Stub::connect(std::string_view transport) {
    SessionId id = nextSession_++;
    Session& s = sessions_[id];
    s.id = id;
    s.transport = std::string(transport);
    Json rec = recordHead(s);
    rec["link"] = "connect";
    rec["transport"] = s.transport;
    record(rec);
    changed();
    return id;
}

void Stub::disconnect(SessionId id, std::string_view reason) {
    Session* s = findSession(id);
    if (!s) return;
    Json rec = recordHead(*s);
    rec["link"] = "disconnect";
    rec["reason"] = std::string(reason);
    record(rec);
    sessions_.erase(id);
    if (world_.scenario().removeObjectsOnDisconnect) {
        // The simulator removes what a client created when that client goes.
        std::vector<std::uint32_t> orphans;
        world_.forEachAi([&](const SimObject& o) {
            if (o.creatorSession == id) orphans.push_back(o.id);
        });
        for (std::uint32_t oid : orphans) removeAiObject(oid);
    }
    changed();
}

void Stub::receive(SessionId id, const std::uint8_t* bytes, std::size_t size) {
    Session* s = findSession(id);
    if (!s || s->streamLost) return;
    s->framer.append(bytes, size);
    Bytes packet;
    for (;;) {
        auto r = s->framer.next(packet);
        if (r == PacketFramer::Result::NeedMore) break;
        if (r == PacketFramer::Result::Bad) {
            // Once a size cannot be a packet's, nothing after it can be framed.
            Json rec = recordHead(*s);
            rec["link"] = "bad packet size";
            rec["size"] = s->framer.badSize();
            record(rec);
            s->streamLost = true;
            s->closing = true;
            break;
        }
        handlePacket(*s, packet);
        s = findSession(id);
        if (!s) break;
    }
}

void Stub::handlePacket(Session& s, const Bytes& bytes) {
    Packet p = decodePacket(bytes.data(), bytes.size());
    ++s.packets;
    // The record line is the costly part of a packet's handling: without a
    // record file it is never built, and a client's stream is limited by the
    // socket, not by the stand-in. The handlers still note what they did in
    // rec, which then stays a throw-away.
    Json rec;
    if (recorder_) {
        rec = recordHead(s);
        rec["function"] = p.name;
        rec["send_id"] = p.sendId;
        rec["size"] = p.size;
        rec["version"] = p.version;
        if (!p.known) rec["packet_id"] = p.packetId;
        for (auto it = p.fields.begin(); it != p.fields.end(); ++it) rec[it.key()] = it.value();
        if (!p.errors.empty()) rec["errors"] = p.errors;
    }
    if (!s.opened) {
        if (p.known && p.function == kFnOpen) {
            onOpen(s, p, rec);
        } else {
            // Nothing is sent before OPEN, not even an exception.
            rec["ignored"] = "before Open";
        }
    } else if (p.known && p.function == kFnOpen) {
        rec["ignored"] = "second Open";
    } else if (!p.known) {
        sendException(s, kExUnrecognizedId, p.sendId, rec);
    } else if (!p.sizeOk) {
        sendException(s, kExSizeMismatch, p.sendId, rec);
    } else {
        dispatch(s, p, rec);
    }
    if (recorder_) record(std::move(rec));
}

void Stub::dispatch(Session& s, const Packet& p, Json& rec) {
    switch (p.function) {
    case kFnMapClientEventToSimEvent: onMapClientEvent(s, p, rec); break;
    case kFnTransmitClientEvent: onTransmitClientEvent(s, p, rec); break;
    case kFnAddToDataDefinition: onAddToDataDefinition(s, p, rec); break;
    case kFnRequestDataOnSimObject: onRequestData(s, p, rec); break;
    case kFnRequestDataOnSimObjectType: onRequestDataByType(s, p, rec); break;
    case kFnSetDataOnSimObject: onSetData(s, p, rec); break;
    case kFnSubscribeToSystemEvent: onSubscribe(s, p, rec); break;
    case kFnAICreateNonATCAircraft: onCreate(s, p, rec); break;
    case kFnAIReleaseControl:
    case kFnAIRemoveObject:
    case kFnAISetAircraftFlightPlan: onAiObjectCall(s, p, rec); break;
    default: break;   // notification groups and priorities change nothing here
    }
}

void Stub::onOpen(Session& s, const Packet& p, Json& rec) {
    if (!lf_acceptableOpen(p)) {
        // Answered in the client's own protocol: it has no other yet.
        send(s, encodeException(p.version, kExVersionMismatch, p.sendId, 0));
        rec["exception"] = kExVersionMismatch;
        return;
    }
    s.opened = true;
    s.protocol = p.version;
    s.appName = p.fields.value("app_name", std::string());
    const Scenario& sc = world_.scenario();
    send(s, encodeOpen(s.protocol, sc.simName, sc.appVersion, sc.appVersion));
    rec["answer"] = "OPEN";
    changed();
}

void Stub::onMapClientEvent(Session& s, const Packet& p, Json& rec) {
    s.clientEvents[p.fields["event_id"].get<std::uint32_t>()] = p.fields["event_name"].get<std::string>();
}

void Stub::onTransmitClientEvent(Session& s, const Packet& p, Json& rec) {
    auto eventId = p.fields["event_id"].get<std::uint32_t>();
    SimObject* o = world_.find(p.fields["object_id"].get<std::uint32_t>());
    auto ev = s.clientEvents.find(eventId);
    if (!o || ev == s.clientEvents.end()) {
        sendException(s, kExUnrecognizedId, p.sendId, rec);
        return;
    }
    rec["event_name"] = ev->second;
    o->events[ev->second] = p.fields["data"].get<std::uint32_t>();
    changed();
}

void Stub::onAddToDataDefinition(Session& s, const Packet& p, Json& rec) {
    DatumDef d;
    d.name = p.fields["datum_name"].get<std::string>();
    d.units = p.fields["units_name"].get<std::string>();
    d.type = p.fields["datum_type"].get<std::uint32_t>();
    auto ref = findVariable(d.name);
    if (!ref) {
        sendException(s, kExNameUnrecognized, p.sendId, rec);
        return;
    }
    // A text variable packed into a number (or the reverse) would give the
    // client garbage; the simulator refuses the definition instead.
    if (!isKnownDatumType(d.type) || ref->text != isStringDatumType(d.type)) {
        sendException(s, kExInvalidDataType, p.sendId, rec);
        return;
    }
    d.ref = *ref;
    s.definitions[p.fields["define_id"].get<std::uint32_t>()].push_back(d);
}

void Stub::sendData(Session& s, std::uint32_t requestId, std::uint32_t defineId, const SimObject& object, bool byType,
                    std::uint32_t entry, std::uint32_t outOf) {
    const auto& datums = s.definitions.at(defineId);
    Bytes data;
    double epoch = zuluEpoch();
    for (const auto& d : datums) packDatum(data, d, world_.valueOf(object, d.ref, epoch));
    DataHeader h;
    h.requestId = requestId;
    h.objectId = object.id;
    h.defineId = defineId;
    h.entry = entry;
    h.outOf = outOf;
    h.defineCount = static_cast<std::uint32_t>(datums.size());
    send(s, encodeObjectData(s.protocol, byType, h, data));
}

void Stub::onRequestData(Session& s, const Packet& p, Json& rec) {
    PeriodicRequest r;
    r.requestId = p.fields["request_id"].get<std::uint32_t>();
    r.defineId = p.fields["define_id"].get<std::uint32_t>();
    r.objectId = p.fields["object_id"].get<std::uint32_t>();
    r.period = p.fields["period"].get<std::uint32_t>();
    if (r.period == kPeriodNever) {
        s.periodic.erase(r.requestId);
        return;
    }
    const SimObject* o = world_.find(r.objectId);
    if (!s.definitions.count(r.defineId) || !o || r.period > kPeriodSecond) {
        sendException(s, kExUnrecognizedId, p.sendId, rec);
        return;
    }
    // Object 0 is answered with the user aircraft's real id.
    r.objectId = o->id;
    rec["answered"] = true;
    sendData(s, r.requestId, r.defineId, *o, false, 1, 1);
    if (r.period == kPeriodOnce) {
        s.periodic.erase(r.requestId);
        return;
    }
    r.nextDueS = now_ + 1.0;
    s.periodic[r.requestId] = r;
}

void Stub::onRequestDataByType(Session& s, const Packet& p, Json& rec) {
    auto requestId = p.fields["request_id"].get<std::uint32_t>();
    auto defineId = p.fields["define_id"].get<std::uint32_t>();
    if (!s.definitions.count(defineId)) {
        sendException(s, kExUnrecognizedId, p.sendId, rec);
        return;
    }
    auto found = world_.objectsWithin(p.fields["radius_m"].get<std::uint32_t>(),
                                      p.fields["object_type"].get<std::uint32_t>());
    auto n = static_cast<std::uint32_t>(found.size());
    Json ids = Json::array();
    for (std::uint32_t i = 0; i < n; ++i) {
        sendData(s, requestId, defineId, *found[i], true, i + 1, n);
        ids.push_back(found[i]->id);
    }
    rec["answered_objects"] = ids;
}

void Stub::onSetData(Session& s, const Packet& p, Json& rec) {
    auto defineId = p.fields["define_id"].get<std::uint32_t>();
    SimObject* o = world_.find(p.fields["object_id"].get<std::uint32_t>());
    auto def = s.definitions.find(defineId);
    if (def == s.definitions.end() || !o) {
        sendException(s, kExUnrecognizedId, p.sendId, rec);
        return;
    }
    auto size = definitionSize(def->second);
    if (!size || *size != p.fields["unit_size"].get<std::uint32_t>()) {
        sendException(s, kExInvalidDataSize, p.sendId, rec);
        return;
    }
    Json values = Json::object();
    std::size_t offset = 0;
    bool moved = false;
    for (const auto& d : def->second) {
        if (auto v = readDatum(p.data, offset, d)) {
            world_.setValue(*o, d.ref, *v);
            if (recorder_) values[d.name] = *v;
            moved = moved || d.ref.var == Var::Latitude || d.ref.var == Var::Altitude;
        }
        offset += fixedDatumSize(d.type);
    }
    if (recorder_) rec["values"] = std::move(values);
    if (moved) {
        world_.settle(*o);
        ++o->positionUpdates;
    }
    changed();
}

void Stub::onSubscribe(Session& s, const Packet& p, Json& rec) {
    Subscription sub;
    sub.eventId = p.fields["event_id"].get<std::uint32_t>();
    sub.name = lf_lower(p.fields["event_name"].get<std::string>());
    if (!lf_isSystemEventName(sub.name)) {
        sendException(s, kExNameUnrecognized, p.sendId, rec);
        return;
    }
    s.subscriptions.push_back(sub);
    if (sub.name == "sim") {
        send(s, encodeEvent(s.protocol, kSystemEventGroup, sub.eventId, simRunning_ ? 1 : 0,
                            world_.scenario().eventSize));
    }
}

void Stub::onCreate(Session& s, const Packet& p, Json& rec) {
    const auto& f = p.fields;
    std::string title = f["title"].get<std::string>();
    if (title.empty() || world_.refusesTitle(title)) {
        sendException(s, kExCreateObjectFailed, p.sendId, rec);
        return;
    }
    if (world_.aiCount() >= world_.scenario().maxObjects) {
        sendException(s, kExTooManyObjects, p.sendId, rec);
        return;
    }
    SimObject o;
    o.type = world_.isHelicopterTitle(title) ? kTypeHelicopter : kTypeAircraft;
    o.creatorSession = s.id;
    o.createRequestId = f["request_id"].get<std::uint32_t>();
    o.title = title;
    // The simulator gives a created aircraft its tail number as ATC ID; the
    // client ties the new object to its pending creation by it.
    o.atcId = f["tail_number"].get<std::string>();
    o.lat = f["lat"].get<double>();
    o.lon = f["lon"].get<double>();
    o.pitchRad = f["pitch_deg"].get<double>() * kDegToRad;
    o.bankRad = f["bank_deg"].get<double>() * kDegToRad;
    o.headingRad = f["heading_deg"].get<double>() * kDegToRad;
    o.airspeedKt = f["airspeed_kt"].get<std::uint32_t>();
    o.groundSpeedKt = o.airspeedKt;
    o.onGround = f["on_ground"].get<std::uint32_t>() != 0;
    o.altFt = o.onGround ? world_.scenario().terrainElevationFt + world_.scenario().staticCgFt
                         : f["alt_ft"].get<double>();
    SimObject& added = world_.addObject(o);
    rec["object_id"] = added.id;
    send(s, encodeAssignedObjectId(s.protocol, added.createRequestId, added.id));
    std::uint32_t id = added.id;
    std::uint32_t type = added.type;
    emitSystemEvent("ObjectAdded", [&](const Session& to, std::uint32_t eventId) {
        return encodeObjectAddRemove(to.protocol, eventId, id, type);
    });
    changed();
}

void Stub::onAiObjectCall(Session& s, const Packet& p, Json& rec) {
    SimObject* o = world_.find(p.fields["object_id"].get<std::uint32_t>());
    if (!o) {
        sendException(s, kExUnrecognizedId, p.sendId, rec);
        return;
    }
    if (o->user || p.fields["object_id"].get<std::uint32_t>() == 0) {
        sendException(s, kExInvalidForObjectType, p.sendId, rec);
        return;
    }
    switch (p.function) {
    case kFnAIReleaseControl: o->released = true; break;
    case kFnAISetAircraftFlightPlan: o->flightPlan = p.fields["path"].get<std::string>(); break;
    case kFnAIRemoveObject: removeAiObject(o->id); break;
    default: break;
    }
    changed();
}

void Stub::removeAiObject(std::uint32_t id) {
    const SimObject* o = world_.find(id);
    if (!o || o->user) return;
    std::uint32_t type = o->type;
    world_.removeObject(id);
    for (auto& [sid, s] : sessions_) {
        for (auto it = s.periodic.begin(); it != s.periodic.end();) {
            it = it->second.objectId == id ? s.periodic.erase(it) : std::next(it);
        }
    }
    emitSystemEvent("ObjectRemoved", [&](const Session& to, std::uint32_t eventId) {
        return encodeObjectAddRemove(to.protocol, eventId, id, type);
    });
    changed();
}

void Stub::setSimRunning(bool running) {
    if (running == simRunning_) return;
    simRunning_ = running;
    std::size_t size = world_.scenario().eventSize;
    emitSystemEvent("Sim", [&](const Session& to, std::uint32_t eventId) {
        return encodeEvent(to.protocol, kSystemEventGroup, eventId, running ? 1 : 0, size);
    });
    nextFrameS_ = now_;
    changed();
}

void Stub::answerPeriodic(Session& s, PeriodicRequest& r) {
    const SimObject* o = world_.find(r.objectId);
    if (o && s.definitions.count(r.defineId)) sendData(s, r.requestId, r.defineId, *o, false, 1, 1);
}

void Stub::tick() {
    // A simulator in its menus runs no frames and no simulation seconds.
    if (!simRunning_) return;
    const Scenario& sc = world_.scenario();
    bool frameDue = false;
    if (sc.frameRate > 0.0 && now_ >= nextFrameS_) {
        frameDue = true;
        nextFrameS_ += 1.0 / sc.frameRate;
        if (nextFrameS_ < now_ - kFrameCatchUpLimitS) nextFrameS_ = now_ + 1.0 / sc.frameRate;
    }
    if (frameDue) {
        auto rate = static_cast<float>(sc.frameRate);
        auto speed = static_cast<float>(sc.simSpeed);
        emitSystemEvent("Frame", [&](const Session& to, std::uint32_t eventId) {
            return encodeFrame(to.protocol, eventId, rate, speed);
        });
    }
    for (auto& [id, s] : sessions_) {
        if (!s.opened) continue;
        for (auto& [rid, r] : s.periodic) {
            if (r.period == kPeriodSecond && now_ >= r.nextDueS) {
                answerPeriodic(s, r);
                r.nextDueS = std::max(r.nextDueS + 1.0, now_ - 1.0);
            } else if ((r.period == kPeriodVisualFrame || r.period == kPeriodSimFrame) && frameDue) {
                answerPeriodic(s, r);
            }
        }
    }
}

Bytes Stub::takeOutput(SessionId id) {
    Session* s = findSession(id);
    if (!s) return {};
    Bytes out;
    out.swap(s->outbox);
    return out;
}

bool Stub::wantsClose(SessionId id) const {
    auto it = sessions_.find(id);
    return it != sessions_.end() && it->second.closing;
}

std::vector<SessionId> Stub::sessionIds() const {
    std::vector<SessionId> ids;
    for (const auto& [id, s] : sessions_) ids.push_back(id);
    return ids;
}

nlohmann::json Stub::state() const {
    Json j;
    j["sim_running"] = simRunning_;
    j["sim_version"] = world_.scenario().simVersion;
    j["commands_done"] = commandsDone_;
    j["command_errors"] = commandErrors_;
    j["refuse_titles"] = world_.scenario().refuseTitles;
    Json sessions = Json::array();
    for (const auto& [id, s] : sessions_) {
        sessions.push_back({{"session", id},
                            {"transport", s.transport},
                            {"opened", s.opened},
                            {"protocol", s.protocol},
                            {"app_name", s.appName},
                            {"packets", s.packets}});
    }
    j["sessions"] = sessions;
    j["user"] = world_.objectJson(world_.user());
    Json objects = Json::array();
    world_.forEachAi([&](const SimObject& o) { objects.push_back(world_.objectJson(o)); });
    j["objects"] = objects;
    return j;
}

bool Stub::takeStateChanged() {
    bool c = stateChanged_;
    stateChanged_ = false;
    return c;
}

}  // namespace simstub
