// The SimClient thread against simstub, a real SimConnect server in its own
// process: the setup it declares, how it follows the user aircraft, the ends
// of a run it detects, and the AI commands it sends on each frame. Every
// packet the client sends is asserted on simstub's record.
#include "simlink/creation_tracking.h"
#include "simlink/sim_state.h"
#include "support/simstub_process.h"

#include "core/user_error.h"
#include "simconnect/config.h"
#include "simconnect/platform.h"
#include "simconnect/transport.h"
#include "simlink_test_support.h"

#include <fmt/format.h>

#include <algorithm>
#include <map>
#include <memory>
#include <optional>
#include <atomic>
#include <vector>
#include <thread>
#include <mutex>

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

constexpr std::int64_t kZuluEpoch = 1709168400;  // 2024-02-29 01:00:00 UTC

json baseScenario() {
    return json{{"frame_rate", 100},
                {"zulu_epoch_s", kZuluEpoch},
                {"user",
                 {{"lat", 50.0333},
                  {"lon", 8.5706},
                  {"title", "Stub Airliner"},
                  {"model", "A321"},
                  {"on_ground", true}}}};
}

class SessionStub : public SimLinkTest {
protected:
    void SetUp() override {
        SimLinkTest::SetUp();
        cwd = folder / "cwd";
        fs::create_directories(cwd);
        // SimConnect.cfg is read from the "current folder" only: the user's
        // own Documents folders must not steer the test.
        g_simConnectPlatform.publicDocumentsFolder = [] { return fs::path(); };
        g_simConnectPlatform.documentsFolder = [] { return fs::path(); };
        g_simConnectPlatform.currentFolder = [this] { return cwd; };
        g_simConnectPlatform.registryPort = [](bool) { return std::string(); };
    }
    void TearDown() override {
        SimLinkTest::TearDown();
        stub.reset();
        gf_resetSimConnectPlatform();
    }

    void startStub(const json& scenario) {
        std::string whyNot;
        stub = SimStubProcess::startForClient(folder / "stub", scenario, whyNot);
        ASSERT_TRUE(stub) << whyNot;
        writeCfg(stub->simConnectCfg());
    }
    void writeCfg(const std::string& text) { std::ofstream(cwd / "SimConnect.cfg", std::ios::trunc) << text; }

    // Starts the thread and waits until the setup is through and the
    // simulator runs.
    void connect() {
        gf_startSimClientThread();
        ASSERT_TRUE(waitFor([] { return g_simConnected.load() && g_simRunning.load(); }));
        ASSERT_TRUE(waitFor([&] { return countOf("SimConnect_SetNotificationGroupPriority") == 1; }));
    }

    // What the worker does before the main loop: the per-second request and
    // the user position until both are known, then title and model. (The
    // position is asked first here, so the per-second answer that comes at
    // once already finds it.)
    void followUser() {
        ASSERT_TRUE(waitFor([] {
            gf_requestUserAcPosition();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            return gf_userAcData().lat_deg != 0.0;
        }));
        ASSERT_TRUE(gf_requestUserOnGroundEverySecond());
        ASSERT_TRUE(waitFor([] { return g_userOnGround.known.load(); }));
        gf_requestUserAcTitleAndModel();
        ASSERT_TRUE(waitFor([] { return !gf_simLinkTexts().userAcTitle.empty(); }));
    }

    std::size_t countOf(const std::string& function) {
        const auto packets = stub->packets();
        return static_cast<std::size_t>(std::count_if(packets.begin(), packets.end(), [&](const json& p) {
            return p.value("function", "") == function;
        }));
    }
    std::vector<json> packetsOf(const std::string& function) {
        std::vector<json> out;
        for (auto& p : stub->packets())
            if (p.value("function", "") == function) out.push_back(std::move(p));
        return out;
    }
    std::vector<SimObjectEvent> eventsOfKind(SimObjectEventKind kind) {
        std::vector<SimObjectEvent> out;
        for (const auto& e : objectEvents())
            if (e.kind == kind) out.push_back(e);
        return out;
    }
    // The engine's aircraft-in-range request.
    static void requestAircraftInRange() {
        std::lock_guard lock(g_simMutex);
        SimConnect_RequestDataOnSimObjectType(g_simHandle.load(), SimReqAircraftByType, SimDefAircraftByType, 20000,
                                              SimObjectTypeAircraft);
    }
    AiCreateRequest creation(const std::string& callsign, const std::string& title, std::uint32_t hexid) {
        AiCreateRequest r;
        r.position.latitude_deg = 50.04;
        r.position.longitude_deg = 8.58;
        r.position.altitude_ft = 3000;
        r.position.heading_deg = 250;
        r.position.airspeed_kt = 180;
        r.callsign = callsign;
        r.liveryTitle = title;
        r.hexid = hexid;
        return r;
    }
    // The id simstub gave the aircraft created with this tail number.
    std::optional<std::uint32_t> createdObject(const std::string& tail) {
        for (const auto& p : packetsOf("SimConnect_AICreateNonATCAircraft"))
            if (p.value("tail_number", "") == tail && p.contains("object_id")) return p["object_id"].get<std::uint32_t>();
        return std::nullopt;
    }
    std::vector<std::uint32_t> worldObjectIds() {
        std::vector<std::uint32_t> ids;
        const json state = stub->state();
        if (state.is_object() && state.contains("objects"))
            for (const auto& o : state["objects"]) ids.push_back(o.value("object_id", 0u));
        return ids;
    }

    fs::path cwd;
    std::unique_ptr<SimStubProcess> stub;
};

// ---- Setup ----

struct Datum {
    std::uint32_t define;
    const char* name;
    const char* units;
    std::uint32_t type;
};

TEST_F(SessionStub, SetupPacketsInOrder) {
    startStub(baseScenario());
    connect();
    std::vector<std::string> expected;
    expected.push_back(json({{"Open", "GLIM_P3D"}}).dump());
    const std::pair<std::uint32_t, const char*> subscriptions[] = {
        {201, "Sim"}, {202, "ObjectAdded"}, {203, "ObjectRemoved"}, {205, "PositionChanged"}, {206, "FlightLoaded"},
        {204, "Frame"}};
    for (const auto& [id, name] : subscriptions) expected.push_back(json({{"Subscribe", id, name}}).dump());
    const Datum datums[] = {
        {407, "TITLE", "", 11},
        {408, "ATC MODEL", "", 6},
        {409, "SIM ON GROUND", "Bool", 2},
        {402, "Plane Latitude", "degree", 4},
        {402, "Plane Longitude", "degree", 4},
        {402, "Plane Pitch degrees", "radians", 4},
        {402, "Plane Bank degrees", "radians", 4},
        {402, "Plane Heading degrees true", "radians", 4},
        {402, "Plane Altitude", "feet", 4},
        {402, "Vertical Speed", "feet per second", 4},
        {402, "Airspeed True", "knots", 4},
        {403, "Plane Latitude", "degree", 4},
        {403, "Plane Longitude", "degree", 4},
        {403, "Plane Pitch degrees", "radians", 4},
        {403, "Plane Bank degrees", "radians", 4},
        {403, "Plane Heading degrees true", "radians", 4},
        {403, "Plane Altitude", "feet", 4},
        {403, "Plane Alt Above Ground", "feet", 4},
        {403, "Ground Velocity", "knots", 4},
        {403, "ZULU TIME", "Seconds", 2},
        {403, "ZULU DAY OF YEAR", "Number", 2},
        {403, "ZULU YEAR", "Number", 2},
        {403, "LIGHT STATES", "Mask", 2},
        {405, "Static CG to Ground", "feet", 4},
        {405, "Static Pitch", "radians", 4},
        {406, "Light On States", "Mask", 2},
        {404, "Plane Alt Above Ground", "feet", 4},
        {404, "Ground Altitude", "feet", 4},
        {404, "SIM ON GROUND", "Bool", 2},
        {404, "ATC ID", "", 6},
        {401, "SPOILERS HANDLE POSITION", "percent", 4},
        {401, "GENERAL ENG THROTTLE LEVER POSITION:1", "percent", 4},
        {401, "GENERAL ENG THROTTLE LEVER POSITION:2", "percent", 4},
    };
    ASSERT_EQ(std::size(datums), 33u);
    for (const Datum& d : datums)
        expected.push_back(json({{"Define", d.define, d.name, d.units, d.type, 0.0, 4294967295u}}).dump());
    const std::pair<std::uint32_t, const char*> mapped[] = {
        {220, "GEAR_SET"},          {221, "ENGINE_AUTO_START"},  {222, "ENGINE_AUTO_SHUTDOWN"},
        {223, "THROTTLE_SET"},      {218, "FLAPS_SET"},          {219, "SPOILERS_SET"},
        {208, "NAV_LIGHTS_SET"},    {207, "BEACON_LIGHTS_SET"},  {211, "LANDING_LIGHTS_SET"},
        {209, "TAXI_LIGHTS_SET"},   {210, "STROBES_SET"},        {213, "LOGO_LIGHTS_SET"},
        {212, "CABIN_LIGHTS_SET"},  {214, "ALL_LIGHTS_TOGGLE"},  {215, "FREEZE_LATITUDE_LONGITUDE_SET"},
        {216, "FREEZE_ALTITUDE_SET"}, {217, "FREEZE_ATTITUDE_SET"}};
    for (const auto& [id, name] : mapped) expected.push_back(json({{"Map", id, name}}).dump());
    for (std::uint32_t id : {208, 207, 211, 209, 210, 213, 212, 214, 218, 219, 220, 222, 223, 215, 216, 217})
        expected.push_back(json({{"Group", 301, id, 1}}).dump());
    expected.push_back(json({{"Priority", 301, 1}}).dump());

    std::vector<std::string> sent;
    for (const json& p : stub->packets()) {
        const std::string f = p["function"];
        EXPECT_FALSE(p.contains("exception")) << p.dump();
        EXPECT_FALSE(p.contains("errors")) << p.dump();
        if (f == "SimConnect_Open") {
            sent.push_back(json({{"Open", p["app_name"]}}).dump());
        } else if (f == "SimConnect_SubscribeToSystemEvent") {
            sent.push_back(json({{"Subscribe", p["event_id"], p["event_name"]}}).dump());
        } else if (f == "SimConnect_AddToDataDefinition") {
            sent.push_back(json({{"Define", p["define_id"], p["datum_name"], p["units_name"], p["datum_type"],
                                  p["epsilon"], p["datum_id"]}})
                               .dump());
        } else if (f == "SimConnect_MapClientEventToSimEvent") {
            sent.push_back(json({{"Map", p["event_id"], p["event_name"]}}).dump());
        } else if (f == "SimConnect_AddClientEventToNotificationGroup") {
            sent.push_back(json({{"Group", p["group_id"], p["event_id"], p["maskable"]}}).dump());
        } else if (f == "SimConnect_SetNotificationGroupPriority") {
            sent.push_back(json({{"Priority", p["group_id"], p["priority"]}}).dump());
        } else {
            sent.push_back(p.dump());
        }
    }
    EXPECT_EQ(sent, expected);
    EXPECT_FALSE(g_noSimSession.load());
    EXPECT_TRUE(logHas("Lockheed Martin Prepar3D v5 (5.3.17.28160) connected\n"));
}

// ---- The user aircraft ----

TEST_F(SessionStub, FollowsTheUserAircraft) {
    startStub(baseScenario());
    connect();
    neighbours.standName = "V105";
    followUser();
    const UserAcData data = gf_userAcData();
    EXPECT_NEAR(data.lat_deg, 50.0333, 1e-9);
    EXPECT_NEAR(data.lon_deg, 8.5706, 1e-9);
    EXPECT_EQ(g_userObjectId.load(), 1u);
    EXPECT_TRUE(g_userOnGround.value.load());
    EXPECT_TRUE(waitFor([] { return g_secondTick.load(); }));
    EXPECT_GE(g_simTime.load(), kZuluEpoch);
    EXPECT_LT(g_simTime.load(), kZuluEpoch + 120);
    EXPECT_EQ(gf_simLinkTexts().userAcTitle, "Stub Airliner");
    // The model's line is logged last, after the category is stored: wait for
    // the line, not the category.
    ASSERT_TRUE(waitFor([&] {
        return logHas("          SimConnect: User aircraft model: A321, half wing span: 17.9 meter, category: Large\n");
    }));
    EXPECT_EQ(g_userCategory.load(), AcCategory::Large);
    EXPECT_TRUE(g_userModelKnown.load());

    // The stand is looked up by the worker (here the test thread) only.
    gf_requestUserAcPosition();
    EXPECT_EQ(gf_simLinkTexts().userStandName, "V105");
    {
        std::lock_guard lock(neighbours.mutex);
        ASSERT_FALSE(neighbours.standLookupThreads.empty());
        for (auto id : neighbours.standLookupThreads) EXPECT_EQ(id, std::this_thread::get_id());
    }
    neighbours.standName.clear();
    gf_requestUserAcPosition();
    EXPECT_EQ(gf_simLinkTexts().userStandName, kNoStandText);

    const auto requests = packetsOf("SimConnect_RequestDataOnSimObject");
    auto has = [&](std::uint32_t request, std::uint32_t define, std::uint32_t period) {
        return std::any_of(requests.begin(), requests.end(), [&](const json& p) {
            return p["request_id"] == request && p["define_id"] == define && p["object_id"] == 0 &&
                   p["period"] == period && p["flags"] == 0 && p["origin"] == 0 && p["interval"] == 0 &&
                   p["limit"] == 0 && !p.contains("exception");
        });
    };
    EXPECT_TRUE(has(108, 409, 4));
    EXPECT_TRUE(has(109, 403, 1));
    EXPECT_TRUE(has(106, 407, 1));
    EXPECT_TRUE(has(107, 408, 1));
}

TEST_F(SessionStub, NewFlightEndsTheRun) {
    startStub(baseScenario());
    connect();
    followUser();

    stub->command("flightloaded");
    ASSERT_TRUE(waitFor([] { return gf_exitReason() == ExitReason::newFlight; }));
    EXPECT_EQ(gf_exitDelaySeconds(), 30);
    EXPECT_TRUE(logHas("==> SimConnect: New file event\n"));

    // The flight-loaded event; the user stands still on a stand, which becomes
    // the reserved stand once the worker asks for the position again.
    gf_resetExitReason();
    neighbours.standName = "A12";
    stub->command("event FlightLoaded");
    ASSERT_TRUE(waitFor([] { return gf_exitReason() == ExitReason::newFlight; }));
    EXPECT_TRUE(logHas("SimConnect: flight loaded event\n"));
    gf_requestUserAcPosition();
    {
        std::lock_guard lock(neighbours.mutex);
        EXPECT_EQ(neighbours.reserved, std::vector<std::string>{"A12"});
    }

    // A move of 4 NM is no new flight, a jump of 16 NM is.
    gf_resetExitReason();
    stub->command("jump 50.1 8.5706");
    ASSERT_TRUE(waitFor([] {
        gf_requestUserAcPosition();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return std::abs(gf_userAcData().lat_deg - 50.1) < 1e-6;
    }));
    EXPECT_EQ(gf_exitReason(), ExitReason::notYetSet);
    stub->command("jump 50.3667 8.5706");
    ASSERT_TRUE(waitFor([] {
        gf_requestUserAcPosition();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return gf_exitReason() == ExitReason::newFlight;
    }));
    EXPECT_TRUE(logHas("Teleport\n"));
    EXPECT_TRUE(gf_simClientThreadActive()) << "a new flight ends the run, not the connection";
}

TEST_F(SessionStub, SimWasClosedOnQuitOrDrop) {
    for (const std::string command : {"quit", "drop"}) {
        SCOPED_TRACE(command);
        resetAll();
        std::string whyNot;
        stub = SimStubProcess::startForClient(folder / ("stub_" + command), baseScenario(), whyNot);
        ASSERT_TRUE(stub) << whyNot;
        writeCfg(stub->simConnectCfg());
        connect();
        stub->command(command);
        ASSERT_TRUE(waitFor([] { return !gf_simClientThreadActive(); }));
        EXPECT_EQ(gf_exitReason(), ExitReason::simWasClosed);
        EXPECT_EQ(gf_exitDelaySeconds(), 0);
        EXPECT_FALSE(g_simRunning.load());
        EXPECT_FALSE(g_simConnected.load());
        EXPECT_EQ(g_simHandle.load(), nullptr);
        EXPECT_TRUE(logHas("Flight Simulator no longer connected, GLIM_P3D will stop ...\n"));
        gf_joinSimClientThread();
        stub.reset();
    }
}

TEST_F(SessionStub, FailedRequestEndsTheRunWithSimconnectError) {
    startStub(baseScenario());
    connect();
    followUser();
    gf_stopSimClientThread();
    gf_joinSimClientThread();
    EXPECT_TRUE(logHas("SimConnect closed ok\n"));
    EXPECT_EQ(gf_exitReason(), ExitReason::notYetSet) << "a stop asked by the run sets no reason";
    // The connection is gone: the worker's next request fails cleanly.
    const UserAcData before = gf_requestUserAcPosition();
    EXPECT_NEAR(before.lat_deg, 50.0333, 1e-9);
    EXPECT_TRUE(logHas("==> SimConnect request user ac position fails\n"));
    EXPECT_TRUE(g_requestError.load());
    EXPECT_EQ(gf_exitReason(), ExitReason::simconnectError);
    EXPECT_EQ(gf_exitDelaySeconds(), 9);
    EXPECT_EQ(gf_statusLineSnapshot().statusText, "SimConnect request error");
}

// Worker requests racing the end of the connection: every one either goes
// out on the open connection or finds no handle (the sanitizers watch for a
// call on a closed one).
TEST_F(SessionStub, RequestsRacingTheCloseNeverUseAClosedConnection) {
    startStub(baseScenario());
    connect();
    std::atomic<bool> done{false};
    std::thread worker([&] {
        while (!done.load()) {
            {
                std::lock_guard lock(g_simMutex);
                SimConnect_RequestDataOnSimObject(g_simHandle.load(), SimReqUserPosition, SimDefUserAircraft, 0,
                                                  SimPeriodOnce, 0, 0, 0, 0);
            }
            gf_queueAiEvent(500, SimEventGearSet, 1);
            // A worker pass, shortened: the mutex is free most of the time.
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    stub->command("drop");
    EXPECT_TRUE(waitFor([] { return !gf_simClientThreadActive(); }));
    done.store(true);
    worker.join();
    EXPECT_EQ(g_simHandle.load(), nullptr);
    EXPECT_EQ(gf_exitReason(), ExitReason::simWasClosed);
}

TEST_F(SessionStub, WaitsForTheSimulatorUntilTheRunStops) {
    // Nothing listens there, and an address other than 127.0.0.1 never falls
    // back to another transport.
    writeCfg("[SimConnect]\nProtocol=IPv4\nAddress=127.0.0.2\nPort=9\n");
    // Every Open reads SimConnect.cfg afresh: the reads count the attempts.
    auto attempts = std::make_shared<std::atomic<int>>(0);
    g_simConnectPlatform.currentFolder = [this, attempts] {
        ++*attempts;
        return cwd;
    };
    gf_startSimClientThread();
    // The window and the log say where: a user whose SimConnect.cfg names a
    // PC that is off sees which one is waited for.
    const std::string waiting = "Waiting for Prepar3Dv5 ... (SimConnect.cfg: 127.0.0.2, port 9)";
    ASSERT_TRUE(waitFor([&] { return gf_statusLineSnapshot().statusText == waiting; }))
        << gf_statusLineSnapshot().statusText;
    gf_setStatusLine("", false);
    const int shown = attempts->load();
    ASSERT_TRUE(waitFor([&] { return attempts->load() >= shown + 3; }));  // a few retries
    EXPECT_EQ(gf_statusLineSnapshot().statusText, "") << "the waiting text is shown once";
    g_runStopping.store(true);
    ASSERT_TRUE(waitFor([] { return !gf_simClientThreadActive(); }));
    const std::string log = logText();
    EXPECT_NE(log.find(waiting), std::string::npos);
    EXPECT_EQ(log.find("Waiting for Prepar3Dv5 ..."), log.rfind("Waiting for Prepar3Dv5 ..."));
    EXPECT_EQ(log.find("SimConnect closed"), std::string::npos) << "nothing was opened, nothing is closed";
    EXPECT_TRUE(g_noSimSession.load());
}

// A host that takes the connection and drops it a moment later, before any
// simulator answered (another program on the port, a firewall that resets):
// its link completes writes and then fails the read, as the system reports a
// reset.
class DroppingIo final : public SimConnectIo {
public:
    explicit DroppingIo(SimConnectTransport& owner) : m_owner(owner) {}
    ~DroppingIo() override { waitForCompletions(); }
    std::uint32_t postRead(std::uint8_t*, std::uint32_t) override {
        std::lock_guard lock(m_mutex);
        m_done.emplace_back([this] {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            m_owner.completeRead(kSimStatusConnectionReset, 0, 0);
        });
        return 0;
    }
    std::uint32_t postWrite(const std::uint8_t*, std::uint32_t size) override {
        std::lock_guard lock(m_mutex);
        m_done.emplace_back([this, size] { m_owner.completeWrite(0, 0, size); });
        return 0;
    }
    void cancelAndClose() override {}
    void waitForCompletions() override {
        std::vector<std::thread> done;
        {
            std::lock_guard lock(m_mutex);
            done.swap(m_done);
        }
        for (std::thread& t : done) t.join();
    }

private:
    SimConnectTransport& m_owner;
    std::mutex m_mutex;
    std::vector<std::thread> m_done;
};

// Such a host is no simulator that went away: it is waited for again, like
// one that refuses, and the run does not end as SIM WAS CLOSED.
TEST_F(SessionStub, AHostThatDropsBeforeAnySimulatorAnsweredIsWaitedForAgain) {
    writeCfg("[SimConnect]\nProtocol=IPv4\nAddress=127.0.0.1\nPort=500\n");
    auto opened = std::make_shared<std::atomic<int>>(0);
    g_simConnectPlatform.openIo = [opened](const SimConnectEndpoint&, SimConnectTransport& owner) {
        ++*opened;
        return std::unique_ptr<SimConnectIo>(new DroppingIo(owner));
    };
    gf_startSimClientThread();
    ASSERT_TRUE(waitFor([&] { return opened->load() >= 3 || !gf_simClientThreadActive(); }));
    EXPECT_TRUE(gf_simClientThreadActive());
    EXPECT_EQ(gf_exitReason(), ExitReason::notYetSet);
    g_runStopping.store(true);
    ASSERT_TRUE(waitFor([] { return !gf_simClientThreadActive(); }));
    EXPECT_TRUE(logHas("SimConnect: the connection failed before Prepar3D answered, waiting again\n"));
    EXPECT_FALSE(logHas("no longer connected"));
}

// Without SimConnect.cfg the client looks where the simulator the user waits
// for serves: Prepar3D v6 has a pipe and registry ports of its own, so a v6
// user without SimConnect.cfg would wait for ever at v5's.
TEST_F(SessionStub, WithoutSimConnectCfgLooksForTheVersionWaitedFor) {
    struct Row {
        const char* version;
        const char* pipe;
    };
    const Row rows[] = {
        {"5", "\\\\.\\pipe\\Lockheed Martin Prepar3D v5\\SimConnect"},
        {"6", "\\\\.\\pipe\\Lockheed Martin Prepar3D v6\\SimConnect"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.version);
        fs::remove(cwd / "SimConnect.cfg");
        gf_resetStatusLine();
        g_runStopping.store(false);
        neighbours.simVersion = row.version;
        struct Seen {
            std::mutex mutex;
            std::vector<std::string> pipes;
            std::vector<int> registryVersions;
        };
        auto seen = std::make_shared<Seen>();
        g_simConnectPlatform.registryPort = [seen](bool) {
            std::lock_guard lock(seen->mutex);
            seen->registryVersions.push_back(gf_simConnectP3dVersion());
            return std::string();
        };
        g_simConnectPlatform.openIo = [seen](const SimConnectEndpoint& e,
                                             SimConnectTransport&) -> std::unique_ptr<SimConnectIo> {
            std::lock_guard lock(seen->mutex);
            if (e.kind == SimTransportKind::Pipe) seen->pipes.push_back(e.pipePath);
            return nullptr;
        };
        gf_startSimClientThread();
        const std::string waiting = fmt::format("Waiting for Prepar3Dv{} ...", row.version);
        ASSERT_TRUE(waitFor([&] { return gf_statusLineSnapshot().statusText == waiting; }));
        ASSERT_TRUE(waitFor([&] {
            std::lock_guard lock(seen->mutex);
            return seen->registryVersions.size() >= 2;
        }));
        g_runStopping.store(true);
        ASSERT_TRUE(waitFor([] { return !gf_simClientThreadActive(); }));
        gf_joinSimClientThread();
        std::lock_guard lock(seen->mutex);
        ASSERT_FALSE(seen->pipes.empty());
        for (const std::string& pipe : seen->pipes) EXPECT_EQ(pipe, row.pipe);
        for (int version : seen->registryVersions) EXPECT_EQ(fmt::format("{}", version), row.version);
    }
}

TEST_F(SessionStub, WrongSimulatorEndsTheConnectionWithoutReason) {
    json scenario = baseScenario();
    scenario["sim_version"] = 6;
    startStub(scenario);
    gf_startSimClientThread();
    ASSERT_TRUE(waitFor([] { return !gf_simClientThreadActive(); }));
    EXPECT_EQ(gf_statusLineSnapshot().errorText,
              "78: wrong P3D version 'Lockheed Martin Prepar3D v6 (6.0.34.31823)' connects ... ?)");
    EXPECT_TRUE(logHas("SimConnect closed ok\n"));
    EXPECT_EQ(gf_exitReason(), ExitReason::notYetSet);
    EXPECT_EQ(g_simHandle.load(), nullptr);
}

// ---- AI creations ----

TEST_F(SessionStub, CreationIsTiedReleasedAndFrozen) {
    startStub(baseScenario());
    connect();
    followUser();
    gf_queueAiCreation(creation("DLH4AB", "Stub Jet", 0x3C6444));
    ASSERT_TRUE(waitFor([&] { return createdObject("DLH4AB").has_value(); }));
    const std::uint32_t objectId = *createdObject("DLH4AB");
    const json sent = packetsOf("SimConnect_AICreateNonATCAircraft").at(0);
    EXPECT_EQ(sent["title"], "Stub Jet");
    EXPECT_EQ(sent["request_id"], 104);
    EXPECT_EQ(sent["on_ground"], 0);
    EXPECT_EQ(sent["airspeed_kt"], 180);

    // The engine asks for the aircraft in range until the new one is tied.
    ASSERT_TRUE(waitFor([&] {
        requestAircraftInRange();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return !eventsOfKind(SimObjectEventKind::liveCreated).empty();
    }));
    const auto created = eventsOfKind(SimObjectEventKind::liveCreated);
    ASSERT_EQ(created.size(), 1u);
    EXPECT_EQ(created[0].objectId, objectId);
    EXPECT_EQ(created[0].aux, 0x3C6444u);
    {
        std::lock_guard lock(g_simMutex);
        EXPECT_TRUE(g_simQueues.pendingCreations.empty());
        EXPECT_TRUE(g_simQueues.newObjects.empty());
    }
    // Released from AI control, then frozen on the next frame.
    ASSERT_TRUE(waitFor([&] { return countOf("SimConnect_TransmitClientEvent") == 3; }));
    std::vector<std::string> tail;
    for (const json& p : stub->packets()) {
        const std::string f = p["function"];
        if (f == "SimConnect_AIReleaseControl")
            tail.push_back(fmt::format("release {} {}", p["object_id"].get<int>(), p["request_id"].get<int>()));
        if (f == "SimConnect_TransmitClientEvent")
            tail.push_back(fmt::format("{} {} {} {} {}", p.value("event_name", "?"), p["object_id"].get<int>(),
                                       p["data"].get<int>(), p["group_id"].get<int>(), p["flags"].get<int>()));
    }
    const auto id = static_cast<int>(objectId);
    EXPECT_EQ(tail, (std::vector<std::string>{fmt::format("release {} 103", id),
                                              fmt::format("FREEZE_LATITUDE_LONGITUDE_SET {} 1 301 0", id),
                                              fmt::format("FREEZE_ALTITUDE_SET {} 1 301 0", id),
                                              fmt::format("FREEZE_ATTITUDE_SET {} 1 301 0", id)}));
}

TEST_F(SessionStub, HelicopterIsTiedAndRemoved) {
    json scenario = baseScenario();
    scenario["helicopter_titles"] = {"Stub Heli"};
    startStub(scenario);
    connect();
    followUser();
    gf_queueAiCreation(creation("DHXYZ", "Stub Heli", 0x3E0001));
    // No aircraft-in-range request: helicopters are never in its answers.
    ASSERT_TRUE(waitFor([&] { return !eventsOfKind(SimObjectEventKind::liveCreated).empty(); }));
    const auto created = eventsOfKind(SimObjectEventKind::liveCreated);
    ASSERT_EQ(created.size(), 1u);
    EXPECT_EQ(created[0].aux, 0x3E0001u);
    EXPECT_EQ(created[0].objectId, *createdObject("DHXYZ"));

    gf_queueAiRemoval(created[0].objectId);
    ASSERT_TRUE(waitFor([&] { return !eventsOfKind(SimObjectEventKind::removed).empty(); }));
    EXPECT_EQ(eventsOfKind(SimObjectEventKind::removed).at(0).objectId, created[0].objectId);
    const auto removals = packetsOf("SimConnect_AIRemoveObject");
    ASSERT_EQ(removals.size(), 1u);
    EXPECT_EQ(removals[0]["request_id"], 105);
}

TEST_F(SessionStub, RefusedTitlesGiveOneFailureEachAndEndTheRunAt20) {
    json scenario = baseScenario();
    json refused = json::array();
    for (int i = 1; i <= 20; ++i) refused.push_back("Bad Livery " + std::to_string(i));
    scenario["refuse_titles"] = refused;
    startStub(scenario);
    connect();
    followUser();
    std::map<std::uint32_t, std::string> titles;
    {
        // Queued together: all twenty go out on one frame.
        std::lock_guard lock(g_simMutex);
        for (std::uint32_t i = 1; i <= 20; ++i) {
            const std::uint32_t hexid = 0x400000 + i;
            titles[hexid] = "Bad Livery " + std::to_string(i);
            g_simQueues.creations.push_back(creation("EIN" + std::to_string(i), titles[hexid], hexid));
        }
    }
    ASSERT_TRUE(waitFor([&] { return eventsOfKind(SimObjectEventKind::creationFailed).size() >= 20; }));
    // Later frames add nothing.
    gf_queueAiEvent(1, SimEventGearSet, 1);
    ASSERT_TRUE(waitFor([&] { return countOf("SimConnect_TransmitClientEvent") == 1; }));
    const auto failed = eventsOfKind(SimObjectEventKind::creationFailed);
    ASSERT_EQ(failed.size(), 20u);
    for (const auto& p : packetsOf("SimConnect_AICreateNonATCAircraft")) EXPECT_EQ(p["exception"], 22);
    {
        std::lock_guard lock(g_simMutex);
        EXPECT_TRUE(g_simQueues.pendingCreations.empty());
    }
    // The engine reports each to the tracking: the twentieth ends the run.
    int thrown = 0;
    for (std::size_t i = 0; i < failed.size(); ++i) {
        EXPECT_EQ(failed[i].objectId, 0u);
        ASSERT_EQ(titles.count(failed[i].aux), 1u);
        try {
            gf_liveryCreationFailed("EIN", titles[failed[i].aux], "A320", "EIN");
        } catch (const ozr::UserErrorException& e) {
            ++thrown;
            EXPECT_EQ(i, 19u);
            EXPECT_EQ(std::string(e.what()).rfind("81: ", 0), 0u);
        }
        EXPECT_TRUE(gf_isFailedLiveryTitle(titles[failed[i].aux]));
    }
    EXPECT_EQ(thrown, 1);
    EXPECT_EQ(gf_exitReason(), ExitReason::notYetSet) << "the SimClient itself ends no run for a refusal";
}

TEST_F(SessionStub, TooLongCallsignOrTitleIsDroppedAlone) {
    startStub(baseScenario());
    connect();
    followUser();
    {
        std::lock_guard lock(g_simMutex);
        g_simQueues.creations.push_back(creation("ABCDEFGHIJKL", "Stub Jet", 0x400001));
        g_simQueues.creations.push_back(creation("DLH5", std::string(256, 'T'), 0x400002));
        g_simQueues.creations.push_back(creation("ABCDEFGHIJK", "Stub Jet", 0x400003));
    }
    ASSERT_TRUE(waitFor([&] { return createdObject("ABCDEFGHIJK").has_value(); }));
    EXPECT_EQ(countOf("SimConnect_AICreateNonATCAircraft"), 1u);
    EXPECT_TRUE(logHas("==> ! Simcon call to create ac in sim failed, hexid:4194305, liv: 'Stub Jet', callsign: "
                       "ABCDEFGHIJKL)\n"));
    EXPECT_TRUE(logHas("hexid:4194306, liv: '" + std::string(256, 'T') + "', callsign: DLH5)\n"));
    EXPECT_FALSE(g_requestError.load());
    EXPECT_EQ(gf_exitReason(), ExitReason::notYetSet);
    std::lock_guard lock(g_simMutex);
    ASSERT_EQ(g_simQueues.pendingCreations.size(), 1u);
    EXPECT_EQ(g_simQueues.pendingCreations[0].hexid, 0x400003u);
}

// ---- The frame flush ----

class FlushStub : public SessionStub {
protected:
    void SetUp() override {
        SessionStub::SetUp();
        json scenario = baseScenario();
        scenario["objects"] = {{{"title", "Other A"}, {"atc_id", "OTHA"}, {"lat", 50.05}, {"lon", 8.60}, {"alt_ft", 2400}},
                               {{"title", "Other B"}, {"atc_id", "OTHB"}, {"lat", 50.06}, {"lon", 8.61}, {"alt_ft", 2600}}};
        startStub(scenario);
        connect();
        followUser();
        // One reading of the stub's state: a second one may meet the state
        // file in the middle of being replaced and see no objects.
        std::vector<std::uint32_t> ids;
        ASSERT_TRUE(waitFor([&] {
            ids = worldObjectIds();
            return ids.size() == 2;
        }));
        a = ids[0];
        b = ids[1];
    }
    std::vector<std::string> functionsFrom(std::size_t first) {
        std::vector<std::string> out;
        const auto packets = stub->packets();
        for (std::size_t i = first; i < packets.size(); ++i) {
            const json& p = packets[i];
            // Requests of the user aircraft's data run on their own clock and
            // may land between the packets of a frame.
            if (p["function"] == "SimConnect_RequestDataOnSimObject") continue;
            std::string line = p["function"].get<std::string>() + " ";
            // A creation's object_id is what simstub answered, not a field sent.
            line += p.contains("tail_number") ? p["tail_number"].get<std::string>()
                                              : std::to_string(p.value("object_id", 0u));
            if (p.contains("event_id")) line += " " + std::to_string(p["event_id"].get<int>());
            out.push_back(line);
        }
        return out;
    }
    std::uint32_t a = 0, b = 0;
};

TEST_F(FlushStub, OneFrameSendsPositionsEventsCreationsRemovalsInOrder) {
    const std::size_t mark = stub->packets().size();
    {
        std::lock_guard lock(g_simMutex);
        g_simQueues.positionsFront.push_back(AiPositionCmd{50.05, 8.60, 0.01, 0.02, 1.5, 2500, 10, 180, a});
        g_simQueues.positionsFront.push_back(AiPositionCmd{50.0, 8.5, 0, 0, 0, 0, 0, 0, 1});  // the user's own
        g_simQueues.events.push_back(AiEventCmd{a, SimEventFlapsSet, 3072});
        g_simQueues.events.push_back(AiEventCmd{a, SimEventGearSet, 1});
        g_simQueues.creations.push_back(creation("ORD1", "Stub Jet", 0x400010));
        g_simQueues.removals.push_back(b);
        g_simQueues.removals.push_back(1);  // the user's own
    }
    ASSERT_TRUE(waitFor([&] { return countOf("SimConnect_AIRemoveObject") == 1; }));
    const auto ia = std::to_string(a), ib = std::to_string(b);
    EXPECT_EQ(functionsFrom(mark),
              (std::vector<std::string>{"SimConnect_SetDataOnSimObject " + ia, "SimConnect_AIReleaseControl " + ia,
                                        "SimConnect_TransmitClientEvent " + ia + " 218",
                                        "SimConnect_AIReleaseControl " + ia,
                                        "SimConnect_TransmitClientEvent " + ia + " 220",
                                        "SimConnect_AICreateNonATCAircraft ORD1", "SimConnect_AIRemoveObject " + ib}));
    const json set = packetsOf("SimConnect_SetDataOnSimObject").at(0);
    EXPECT_EQ(set["define_id"], 402);
    EXPECT_EQ(set["unit_size"], 64);
    EXPECT_EQ(set["values"]["Plane Altitude"], 2500.0);
    EXPECT_EQ(set["values"]["Airspeed True"], 180.0);
    EXPECT_TRUE(logHas("==> SimConnect call to remove ac with objectid 1\n"));
    std::lock_guard lock(g_simMutex);
    EXPECT_TRUE(g_simQueues.positionsFront.empty());
    EXPECT_TRUE(g_simQueues.events.empty());
}

TEST_F(FlushStub, OnlyTheNewestPositionsAreSent) {
    {
        // Two engine passes between two frames: each fills the back and swaps.
        std::lock_guard lock(g_simMutex);
        for (double alt : {1000.0, 2000.0}) {
            g_simQueues.positionsBack.push_back(AiPositionCmd{50.05, 8.60, 0, 0, 0, alt, 0, 150, a});
            std::swap(g_simQueues.positionsFront, g_simQueues.positionsBack);
            g_simQueues.positionsBack.clear();
        }
    }
    ASSERT_TRUE(waitFor([&] { return countOf("SimConnect_SetDataOnSimObject") == 1; }));
    gf_queueAiEvent(a, SimEventGearSet, 1);  // a later frame as a marker
    ASSERT_TRUE(waitFor([&] { return countOf("SimConnect_TransmitClientEvent") == 1; }));
    const auto sets = packetsOf("SimConnect_SetDataOnSimObject");
    ASSERT_EQ(sets.size(), 1u);
    EXPECT_EQ(sets[0]["values"]["Plane Altitude"], 2000.0);
}

TEST_F(FlushStub, BusyMutexDelaysTheFrameAndLosesNothing) {
    {
        std::lock_guard lock(g_simMutex);
        g_simQueues.events.push_back(AiEventCmd{a, SimEventGearSet, 1});
        g_simQueues.removals.push_back(b);
        // Frames keep coming while the worker holds the mutex: a few of them
        // are seen (each one steps the frame counter) before the check.
        int frames = 0;
        int last = g_frameCount.load();
        ASSERT_TRUE(waitFor([&] {
            const int now = g_frameCount.load();
            if (now != last) ++frames;
            last = now;
            return frames >= 5;
        }));
        EXPECT_EQ(countOf("SimConnect_TransmitClientEvent"), 0u);
        EXPECT_EQ(countOf("SimConnect_AIRemoveObject"), 0u);
    }
    ASSERT_TRUE(waitFor([&] { return countOf("SimConnect_AIRemoveObject") == 1; }));
    EXPECT_EQ(countOf("SimConnect_TransmitClientEvent"), 1u);
}

}  // namespace
