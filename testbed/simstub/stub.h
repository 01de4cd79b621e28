// The stand-in simulator's SimConnect server logic, free of any I/O: the host
// feeds it the bytes each client sends and the passing time, and takes from
// it the bytes to send back. Not thread-safe; the host serialises the calls.
#pragma once

#include "simstub/datums.h"
#include "simstub/packets.h"
#include "simstub/recorder.h"
#include "simstub/scenario.h"
#include "simstub/world.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace simstub {

using SessionId = std::uint32_t;

// The request periods a client may ask for.
enum Period : std::uint32_t {
    kPeriodNever = 0,
    kPeriodOnce = 1,
    kPeriodVisualFrame = 2,
    kPeriodSimFrame = 3,
    kPeriodSecond = 4,
};

struct CommandResult {
    bool ok = true;
    bool stop = false;      // the host should end the stand-in
    std::string message;
};

class Stub {
public:
    // recorder may be null (nothing recorded).
    explicit Stub(const Scenario& scenario, Recorder* recorder = nullptr);

    // Seconds since the stand-in started; never goes back.
    void setTime(double nowS);
    double time() const { return now_; }

    SessionId connect(std::string_view transport);
    void receive(SessionId session, const std::uint8_t* bytes, std::size_t size);
    void disconnect(SessionId session, std::string_view reason);
    // Frame events and periodic data that have come due.
    void tick();

    // The bytes queued for a client since the last call.
    Bytes takeOutput(SessionId session);
    // The stand-in wants the link closed (a "drop" command or a client
    // stream that cannot be framed); the host closes it and calls disconnect.
    bool wantsClose(SessionId session) const;
    std::vector<SessionId> sessionIds() const;

    // One line of the control channel (see README.md).
    CommandResult command(std::string_view line);

    // The AI objects now alive, the user aircraft and the sessions.
    nlohmann::json state() const;
    // True once after every change that state() would show.
    bool takeStateChanged();

    World& world() { return world_; }
    const World& world() const { return world_; }

private:
    struct Subscription {
        std::uint32_t eventId = 0;
        std::string name;   // lower case
    };
    struct PeriodicRequest {
        std::uint32_t requestId = 0;
        std::uint32_t defineId = 0;
        std::uint32_t objectId = 0;
        std::uint32_t period = 0;
        double nextDueS = 0.0;
    };
    struct Session {
        SessionId id = 0;
        std::string transport;
        PacketFramer framer;
        bool opened = false;
        bool streamLost = false;
        bool closing = false;
        std::uint32_t protocol = 0;
        std::string appName;
        std::uint64_t packets = 0;
        std::vector<Subscription> subscriptions;
        std::map<std::uint32_t, std::string> clientEvents;
        std::map<std::uint32_t, std::vector<DatumDef>> definitions;
        std::map<std::uint32_t, PeriodicRequest> periodic;
        Bytes outbox;
    };
    using Json = nlohmann::json;

    Session* findSession(SessionId id);
    void send(Session& s, const Bytes& message);
    void sendException(Session& s, std::uint32_t code, std::uint32_t sendId, Json& rec);
    // Sends to every opened session that subscribed to the system event.
    void emitSystemEvent(std::string_view name, const std::function<Bytes(const Session&, std::uint32_t)>& make);
    void record(Json line);
    Json recordHead(const Session& s) const;
    double zuluEpoch() const;
    void changed() { stateChanged_ = true; }

    void handlePacket(Session& s, const Bytes& bytes);
    void dispatch(Session& s, const Packet& p, Json& rec);
    void onOpen(Session& s, const Packet& p, Json& rec);
    void onMapClientEvent(Session& s, const Packet& p, Json& rec);
    void onTransmitClientEvent(Session& s, const Packet& p, Json& rec);
    void onAddToDataDefinition(Session& s, const Packet& p, Json& rec);
    void onRequestData(Session& s, const Packet& p, Json& rec);
    void onRequestDataByType(Session& s, const Packet& p, Json& rec);
    void onSetData(Session& s, const Packet& p, Json& rec);
    void onSubscribe(Session& s, const Packet& p, Json& rec);
    void onCreate(Session& s, const Packet& p, Json& rec);
    void onAiObjectCall(Session& s, const Packet& p, Json& rec);

    void sendData(Session& s, std::uint32_t requestId, std::uint32_t defineId, const SimObject& object, bool byType,
                  std::uint32_t entry, std::uint32_t outOf);
    void answerPeriodic(Session& s, PeriodicRequest& r);
    void removeAiObject(std::uint32_t id);
    void setSimRunning(bool running);

    CommandResult runCommand(const std::string& verb, const std::string& rest);

    World world_;
    Recorder* recorder_;
    double now_ = 0.0;
    double nextFrameS_ = 0.0;
    bool simRunning_;
    SessionId nextSession_ = 1;
    std::map<SessionId, Session> sessions_;
    bool stateChanged_ = true;
    std::uint64_t commandsDone_ = 0;
    std::uint64_t commandErrors_ = 0;
    double zuluBaseS_;
};

}  // namespace simstub
