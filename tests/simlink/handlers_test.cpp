// The message handlers fed with messages built byte by byte, without a
// connection: what each message does to the link's state, its events and
// its log lines, and that damaged messages are dropped, never over-read.
#include "simlink/sim_state.h"

#include "core/user_error.h"
#include "simlink_test_support.h"

#include <cmath>
#include <limits>
#include <optional>
#include <stdexcept>

namespace {

class Handlers : public SimLinkTest {
protected:
    void dispatch(const Bytes& message) {
        lf_dispatchSimMessage(message.data(), static_cast<std::uint32_t>(message.size()), nullptr);
    }
    // The log written since the last call.
    std::string newLog() {
        const std::string all = logText();
        std::string fresh = all.substr(std::min(m_seen, all.size()));
        m_seen = all.size();
        return fresh;
    }
    void userPosition(double lat, double lon, std::uint32_t objectId = 1, double alt = 1200.0,
                      std::int64_t year = 2024, std::int64_t day = 60, std::int64_t time = 3600) {
        auto m = objectDataMessage(8, SimReqUserPosition, objectId, SimDefUserAircraft, 96);
        m.f64(40, lat).f64(48, lon).f64(80, alt).f64(96, 1.5).i64(104, time).i64(112, day).i64(120, year);
        dispatch(m.bytes());
    }
    void byType(std::uint32_t objectId, double agl, double gnd, std::int64_t onGround, const std::string& atcId,
                std::uint32_t requestId = SimReqAircraftByType) {
        auto m = objectDataMessage(9, requestId, objectId, SimDefAircraftByType, 56);
        m.f64(40, agl).f64(48, gnd).i64(56, onGround).text(64, atcId);
        dispatch(m.bytes());
    }
    void model(const std::string& text) {
        dispatch(objectDataMessage(8, SimReqUserModel, 1, SimDefAtcModel, 32).text(40, text).bytes());
    }
    void title(const std::string& text) {
        const auto padded = static_cast<std::uint32_t>((text.size() + 1 + 3) & ~std::size_t{3});
        dispatch(objectDataMessage(8, SimReqUserTitle, 1, SimDefTitle, padded).text(40, text).bytes());
    }

private:
    std::size_t m_seen = 0;
};

// ---- Exceptions ----

TEST_F(Handlers, ExceptionCodes) {
    struct Row {
        const char* name;
        std::uint32_t code;
        bool userAway;
        bool stopping;
        const char* logged;  // nullptr: nothing logged
    };
    const Row rows[] = {
        {"unrecognised id before the first position", 3, false, false, nullptr},
        {"unrecognised id while stopping", 3, true, true, nullptr},
        {"unrecognised id", 3, true, false, "==> SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID\n"},
        {"invalid data size", 19, true, false, "SIMCONNECT_EXCEPTION_INVALID_DATA_SIZE\n"},
        {"flight plan", 23, true, false, "==> SimConnect exception: load flight plan failed\n"},
        {"invalid for object type", 24, true, false, "SIMCONNECT_EXCEPTION_OPERATION_INVALID_FOR_OBJECT_TYPE\n"},
        {"any other", 7, true, false, "==> SIMCONNECT_EXCEPTION #7\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        gf_resetSimLink(5);
        g_runStopping.store(row.stopping);
        if (row.userAway) userPosition(50.0, 8.5);
        newLog();
        dispatch(exceptionMessage(row.code, 5));
        EXPECT_EQ(newLog(), row.logged ? std::string(row.logged) : std::string());
        g_runStopping.store(false);
    }
    dispatch(exceptionMessage(11, 5));
    EXPECT_EQ(gf_statusLineSnapshot().statusText, "SimConnect: too many objects (max 1000)");
    try {
        dispatch(exceptionMessage(5, 1, 4));
        FAIL() << "a version mismatch must throw";
    } catch (const ozr::UserErrorException& e) {
        EXPECT_STREQ(e.what(), "95: SimConnect Version Mismatch, dwIndex: 4");
    }
}

TEST_F(Handlers, RefusedCreationGivesOneEventForItsSendId) {
    g_simQueues.pendingCreations = {{7, 0x3C6444, "DLH4"}, {8, 0x4CA123, "EIN12"}, {9, 0, "ZERO"}};
    dispatch(exceptionMessage(22, 7));
    dispatch(exceptionMessage(22, 7));   // the same refusal again: the creation is gone
    dispatch(exceptionMessage(22, 99));  // no such creation
    dispatch(exceptionMessage(22, 9));   // a creation without hexid is dropped quietly
    const auto events = objectEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].kind, SimObjectEventKind::creationFailed);
    EXPECT_EQ(events[0].aux, 0x3C6444u);
    EXPECT_EQ(events[0].objectId, 0u);
    ASSERT_EQ(g_simQueues.pendingCreations.size(), 1u);
    EXPECT_EQ(g_simQueues.pendingCreations[0].callsign, "EIN12");
}

// ---- Open ----

TEST_F(Handlers, OpenCleansTheNameAndLogsTheVersion) {
    gf_setStatusLine("Waiting for Prepar3Dv5 ...", false);
    dispatch(openMessage("Lockheed Martin\xAE Prepar3D\xAE v5", 5, 3, 17, 28160));
    EXPECT_TRUE(g_simConnected.load());
    EXPECT_EQ(gf_simLinkTexts().simName, "Lockheed Martin Prepar3D v5 (5.3.17.28160)");
    EXPECT_TRUE(logHas("Lockheed Martin Prepar3D v5 (5.3.17.28160) connected\n"));
    EXPECT_EQ(gf_statusLineSnapshot().statusText, "");

    gf_resetSimLink(5);
    dispatch(openMessage("", 5, 3, 0, 0));
    EXPECT_FALSE(g_simConnected.load());
    EXPECT_TRUE(logHas("! Simulator name empty?\n"));
}

TEST_F(Handlers, OpenEditionCheck) {
    struct Row {
        const char* name;
        const char* simName;
        const char* installPath;
        int expected;
        const char* error;  // nullptr: accepted
    };
    const Row rows[] = {
        {"v5 expected", "Prepar3D v5", "", 5, nullptr},
        {"v6 by the install path", "Prepar3D v6", "D:\\Prepar3D V6", 5, nullptr},
        {"v6 expected", "Prepar3D v6", "", 6, nullptr},
        {"v6 while the path names v5", "Prepar3D v6", "C:\\P3D v5", 5,
         "78: wrong P3D version 'Prepar3D v6 (6.0.34.31823)' connects ... ?)"},
        {"v5 while v6 is expected", "Prepar3D v5", "", 6,
         "78: wrong P3D version 'Prepar3D v5 (6.0.34.31823)' connects ... ?)"},
        {"the search is case-sensitive", "Prepar3D V5", "", 5,
         "78: wrong P3D version 'Prepar3D V5 (6.0.34.31823)' connects ... ?)"},
        {"MSFS", "Kitty\xAEHawk", "", 5, "78: KittyHawk, (MSFS) not being P3D connects ... ?"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SIM_INSTALL_PATH.setValue(row.installPath);
        g_expectedSimVersion.store(row.expected);
        const std::size_t enabledBefore = sink.enabledControls().size();
        try {
            dispatch(openMessage(row.simName, 6, 0, 34, 31823));
            EXPECT_EQ(row.error, nullptr);
        } catch (const ozr::UserErrorException& e) {
            ASSERT_NE(row.error, nullptr) << e.what();
            EXPECT_STREQ(e.what(), row.error);
        }
        const auto enabled = sink.enabledControls();
        const bool installPathOffered =
            enabled.size() > enabledBefore && enabled.back() == ALL_INSTALL_PATH.controlId();
        EXPECT_EQ(installPathOffered, row.error != nullptr && std::string(row.error).find("wrong") != std::string::npos);
    }
}

// ---- Events ----

TEST_F(Handlers, EventsAndNewFlight) {
    struct Row {
        const char* name;
        Bytes message;
        const char* logged;
        bool newFlight;
    };
    const Row rows[] = {
        {"position changed", eventMessage(SimEventPositionChanged, 0), "==> User ac position changed\n", true},
        {"flight loaded", eventMessage(SimEventFlightLoaded, 0), "SimConnect: flight loaded event\n", true},
        {"new flight file", MessageBuilder(6, 272).text(12, "Flights\\x.fxml").bytes(),
         "==> SimConnect: New file event\n", true},
        {"another event", eventMessage(SimEventObjectAdded, 0), "", false},
        {"assigned object id", MessageBuilder(12, 20).bytes(), "", false},
        {"id 16", MessageBuilder(16, 16).bytes(), "", false},
        {"unknown id", MessageBuilder(42, 16).bytes(), "! Unknown Dispatch dwID 42\n", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        gf_resetExitReason();
        newLog();
        dispatch(row.message);
        EXPECT_EQ(newLog(), row.logged);
        EXPECT_EQ(gf_exitReason(), row.newFlight ? ExitReason::newFlight : ExitReason::notYetSet);
        if (row.newFlight) {
            EXPECT_EQ(gf_exitDelaySeconds(), 30);
        }
    }
}

TEST_F(Handlers, SimEventAndQuitSetTheRunningFlag) {
    dispatch(eventMessage(SimEventSim, 1));
    EXPECT_TRUE(g_simRunning.load());
    EXPECT_TRUE(g_simRunningShown.load());
    dispatch(eventMessage(SimEventSim, 0));
    EXPECT_FALSE(g_simRunning.load());
    dispatch(eventMessage(SimEventSim, 1));
    dispatch(MessageBuilder(3, 12).bytes());
    EXPECT_FALSE(g_simRunning.load());
    EXPECT_TRUE(g_simQuitReceived.load());
    EXPECT_EQ(gf_exitReason(), ExitReason::notYetSet);  // the session loop ends the run
}

// ---- The user aircraft ----

TEST_F(Handlers, UserPositionJumpAndSimTime) {
    userPosition(50.0, 8.5, 7, -40.0);
    EXPECT_EQ(gf_exitReason(), ExitReason::notYetSet) << "the first answer never counts as a jump";
    EXPECT_EQ(g_userObjectId.load(), 7u);
    const UserAcData data = gf_userAcData();
    EXPECT_EQ(data.lat_deg, 50.0);
    EXPECT_EQ(data.alt_ft, 0.0) << "a negative altitude becomes 0";
    EXPECT_EQ(data.groundVelocity_kt, 1.5);
    // Day 60 of 2024 is 29 February: 2024-02-29 01:00:00 UTC.
    EXPECT_EQ(g_simTime.load(), 1709168400);

    userPosition(50.0 + 9.5 / 60.0, 8.5);
    EXPECT_EQ(gf_exitReason(), ExitReason::notYetSet);
    EXPECT_FALSE(logHas("Teleport"));
    userPosition(50.0 + 9.5 / 60.0 + 10.5 / 60.0, 8.5);
    EXPECT_TRUE(logHas("Teleport\n"));
    EXPECT_EQ(gf_exitReason(), ExitReason::newFlight);
    EXPECT_EQ(gf_exitDelaySeconds(), 30);
}

// The date fields come from outside: an absurd one must neither overflow the
// epoch arithmetic nor replace a good time with garbage.
TEST_F(Handlers, SimTimeKeepsTheLastGoodDate) {
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
    constexpr std::int64_t kGood = 1709168400;  // day 60 of 2024, 01:00
    struct Row {
        const char* name;
        std::int64_t year, day, time;
        std::optional<std::int64_t> simTime;  // none: the good time before stays
    };
    const Row rows[] = {
        {"first day of 1970", 1970, 1, 0, 0},
        {"last second of a leap year", 2024, 366, 86399, 1735689599},
        {"year 1", 1, 1, 0, -62135596800},
        {"year 9999", 9999, 365, 0, 253402214400},
        {"largest year", kMax, 1, 0, std::nullopt},
        {"smallest year", kMin, 1, 0, std::nullopt},
        {"year 0", 0, 1, 0, std::nullopt},
        {"year 10000", 10000, 1, 0, std::nullopt},
        {"day 0", 2024, 0, 0, std::nullopt},
        {"day 367", 2024, 367, 0, std::nullopt},
        {"largest day", 2024, kMax, 0, std::nullopt},
        {"negative time", 2024, 60, -1, std::nullopt},
        {"largest time", 2024, 60, kMax, std::nullopt},
        {"smallest time", 2024, 60, kMin, std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        gf_resetSimLink(5);
        userPosition(50.0, 8.5, 7, 1200.0, 2024, 60, 3600);
        ASSERT_EQ(g_simTime.load(), kGood);
        userPosition(50.0, 8.5, 8, 1200.0, row.year, row.day, row.time);
        EXPECT_EQ(g_simTime.load(), row.simTime.value_or(kGood));
        // The rest of the answer is taken all the same.
        EXPECT_EQ(g_userObjectId.load(), 8u);
    }
}

TEST_F(Handlers, NoJumpFromOrToTheOrigin) {
    userPosition(0.0, 0.0);
    userPosition(50.0, 8.5);
    userPosition(0.00005, 0.00005);
    EXPECT_EQ(gf_exitReason(), ExitReason::notYetSet);
    // The reset between runs forgets the previous position.
    userPosition(50.0, 8.5);
    gf_resetSimLink(5);
    userPosition(10.0, 8.5);
    EXPECT_EQ(gf_exitReason(), ExitReason::notYetSet);
}

TEST_F(Handlers, OnGroundNeedsAPosition) {
    auto onGround = [&](std::int64_t v) {
        dispatch(objectDataMessage(8, SimReqUserOnGround, 1, SimDefOnGround, 8).i64(40, v).bytes());
    };
    onGround(1);
    EXPECT_TRUE(g_secondTick.exchange(false));
    EXPECT_FALSE(g_userOnGround.known.load());
    userPosition(50.0, 8.5);
    onGround(1);
    EXPECT_TRUE(g_secondTick.load());
    EXPECT_TRUE(g_userOnGround.known.load());
    EXPECT_TRUE(g_userOnGround.value.load());
    onGround(0);
    EXPECT_FALSE(g_userOnGround.value.load());
}

TEST_F(Handlers, TitleIsCutTo48Characters) {
    const std::string sixty = "Boeing 737-800 Lufthansa Cargo Winglets Night Textures HD 01";
    ASSERT_EQ(sixty.size(), 60u);
    title(sixty);
    title(sixty);
    EXPECT_EQ(gf_simLinkTexts().userAcTitle, sixty.substr(0, 48));
    const std::string line = "          SimConnect: User aircraft title: " + sixty.substr(0, 48) + "\n";
    const std::string log = logText();
    EXPECT_NE(log.find(line), std::string::npos);
    EXPECT_EQ(log.find(line), log.rfind(line)) << "an unchanged title is logged once";
    title("");
    EXPECT_TRUE(logHas("! Title of your aircraft is empty?\n"));

    // A two-byte character across the 48th byte is left out whole, never cut.
    const std::string umlaut = std::string(47, 'A') + "\xC3\xBC" + "Bremen";
    title(umlaut);
    EXPECT_EQ(gf_simLinkTexts().userAcTitle, std::string(47, 'A'));
    const std::string ending = std::string(46, 'A') + "\xC3\xBC" + "Bremen";
    title(ending);
    EXPECT_EQ(gf_simLinkTexts().userAcTitle, std::string(46, 'A') + "\xC3\xBC");
}

TEST_F(Handlers, UserModel) {
    struct Row {
        const char* name;
        const char* title;
        const char* model;
        bool known;
        double span_m;
        AcCategory category;
        const char* line;
    };
    const Row rows[] = {
        {"a Dbase type", "Stub Airliner", "A320", true, 17.9, AcCategory::Large,
         "          SimConnect: User aircraft model: A320, half wing span: 17.9 meter, category: Large\n"},
        {"a long model text", "Some Plane", "B7478", false, 40.0, AcCategory::Light,
         "          SimConnect: User aircraft model: B7478, category: Light\n"},
        {"deduced from the title", "Aerosoft A321 Lufthansa", "Airbus", true, 17.9, AcCategory::Large,
         "          SimConnect: User aircraft model deduced from title: A321, half wing span: 17.9 meter, "
         "category: Large\n"},
        {"a camera", "Camera", "camerapod", true, 14.3, AcCategory::Light,
         "          SimConnect: User aircraft model: camerapod\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        gf_resetSimLink(5);
        gf_resetStatusLine();
        title(row.title);
        newLog();
        model(row.model);
        const std::string log = newLog();
        EXPECT_NE(log.find(std::string("          model raw: ") + row.model + "\n"), std::string::npos) << log;
        EXPECT_NE(log.find(row.line), std::string::npos) << log;
        EXPECT_EQ(g_userModelKnown.load(), row.known);
        ASSERT_TRUE(gf_userHalfWingspanNm().has_value());
        EXPECT_NEAR(*gf_userHalfWingspanNm() * 1852.0, row.span_m, 1e-9);
        EXPECT_EQ(g_userCategory.load(), row.category);
        EXPECT_EQ(gf_statusLineSnapshot().statusText,
                  row.known ? "" : "User aircraft wing span unknown, max is taken instead, please report in my Forum!");
    }
}

class ThrowingNeighbours final : public SimLinkNeighbours {
public:
    double halfWingspanNm(std::string_view) override { throw std::runtime_error("no Dbase"); }
    double maxHalfWingspanNm() override { return 0.0; }
    AcCategory acCategory(std::string_view) override { return AcCategory::Light; }
    std::string categoryName(AcCategory) override { return {}; }
    std::string standNameAt(LatLon) override { return {}; }
    void reserveUserStand(const std::string&) override {}
    std::string simVersionText() override { return "5"; }
};

TEST_F(Handlers, UserModelErrors) {
    try {
        model("");
        FAIL();
    } catch (const ozr::UserErrorException& e) {
        EXPECT_STREQ(e.what(), "71: atc_model= in [General] section of your aircraft.cfg is empty or missing");
    }
    ThrowingNeighbours throwing;
    gf_setSimLinkNeighbours(&throwing);
    try {
        model("A320");
        FAIL();
    } catch (const ozr::UserErrorException& e) {
        EXPECT_STREQ(e.what(), "73: It looks like you have not selected an aircraft as user vehicle");
    }
}

// ---- AI objects ----

TEST_F(Handlers, ObjectAddedAndRemovedForAeroplanesAndHelicopters) {
    struct Row {
        const char* name;
        std::uint32_t objectId;
        std::uint32_t type;
        bool kept;
    };
    const Row rows[] = {
        {"aeroplane", 150, SimObjectTypeAircraft, true},
        {"helicopter", 151, SimObjectTypeHelicopter, true},
        {"boat", 152, SimObjectTypeBoat, false},
        {"ground vehicle", 153, SimObjectTypeGround, false},
        {"the user's own id", 2, SimObjectTypeAircraft, false},
    };
    std::vector<std::uint32_t> expectedNew, expectedRemoved;
    for (const Row& row : rows) {
        dispatch(addRemoveMessage(SimEventObjectAdded, row.objectId, row.type));
        dispatch(addRemoveMessage(SimEventObjectRemoved, row.objectId, row.type));
        if (row.kept) expectedNew.push_back(row.objectId);
        if (row.type == SimObjectTypeAircraft || row.type == SimObjectTypeHelicopter)
            expectedRemoved.push_back(row.objectId);
    }
    EXPECT_EQ(g_simQueues.newObjects, expectedNew);
    std::vector<std::uint32_t> removed;
    for (const auto& e : objectEvents()) {
        EXPECT_EQ(e.kind, SimObjectEventKind::removed);
        removed.push_back(e.objectId);
    }
    EXPECT_EQ(removed, expectedRemoved);
}

TEST_F(Handlers, NewObjectIsTiedToItsCreationByAtcId) {
    g_simQueues.newObjects = {150, 151, 152};
    g_simQueues.pendingCreations = {{3, 0x4CA123, "EIN12"}, {4, 42, "STAT42"}, {5, 0x3C6444, "DLH4"}};
    byType(151, 0.0, 364.0, 1, "STAT42");
    byType(150, 850.0, 364.0, 0, "EIN12");
    byType(152, 2400.0, 0.0, 0, "N172SP");
    const auto events = objectEvents();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].kind, SimObjectEventKind::staticCreated);
    EXPECT_EQ(events[0].objectId, 151u);
    EXPECT_EQ(events[0].aux, 42u);
    EXPECT_EQ(events[1].kind, SimObjectEventKind::liveCreated);
    EXPECT_EQ(events[1].objectId, 150u);
    EXPECT_EQ(events[1].aux, 0x4CA123u);
    EXPECT_EQ(events[1].value2, 850.0);
    EXPECT_TRUE(
        logHas("just spawned, but not by GLIM_P3D, oid: 152, callsign 'N172SP', altaboveGnd:2400 ft, onground:0, "
               "gnd_alt:0 ft\n"));
    EXPECT_TRUE(g_simQueues.newObjects.empty());
    ASSERT_EQ(g_simQueues.pendingCreations.size(), 1u);
    EXPECT_EQ(g_simQueues.pendingCreations[0].callsign, "DLH4");
    // Both tied objects are frozen on the next frame.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> freezes;
    for (const auto& e : g_simQueues.events) {
        EXPECT_EQ(e.data, 1u);
        freezes.emplace_back(e.objectId, e.eventId);
    }
    EXPECT_EQ(freezes, (std::vector<std::pair<std::uint32_t, std::uint32_t>>{
                           {151, 215}, {151, 216}, {151, 217}, {150, 215}, {150, 216}, {150, 217}}));
}

TEST_F(Handlers, GroundDataOfKnownObjects) {
    struct Row {
        const char* name;
        double agl;
        const char* atcId;
        bool event;
    };
    const Row rows[] = {
        {"low", 1200.0, "DLH4", true},         {"at the ceiling", 2500.0, "DLH4", true},
        {"above the ceiling", 2600.0, "DLH4", false}, {"marked with *", 0.0, "DLH4*", false},
        {"without ATC ID", 0.0, "", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        {
            std::lock_guard lock(g_simObjectEvents.mutex);
            g_simObjectEvents.events.clear();
        }
        byType(160, row.agl, 364.0, 1, row.atcId);
        const auto events = objectEvents();
        ASSERT_EQ(events.size(), row.event ? 1u : 0u);
        if (!row.event) continue;
        EXPECT_EQ(events[0].kind, SimObjectEventKind::groundData);
        EXPECT_EQ(events[0].objectId, 160u);
        EXPECT_EQ(events[0].aux, 1u);
        EXPECT_EQ(events[0].value1, 364.0);
        EXPECT_EQ(events[0].value2, row.agl);
    }
    // The user aircraft and answers to other requests are no AI data.
    byType(2, 0.0, 0.0, 1, "USER");
    byType(160, 0.0, 0.0, 1, "DLH4", SimReqUserPosition);
    EXPECT_TRUE(objectEvents().empty());
}

TEST_F(Handlers, StaticCgAnswer) {
    dispatch(objectDataMessage(8, SimReqStaticCg, 180, SimDefStaticCg, 16).f64(40, 7.5).f64(48, 0.02).bytes());
    const auto events = objectEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].kind, SimObjectEventKind::staticCg);
    EXPECT_EQ(events[0].objectId, 180u);
    EXPECT_EQ(events[0].value1, 7.5);
    EXPECT_EQ(events[0].value2, 0.02);
}

// Each message exactly as long as the row says (the vector ends there, so
// AddressSanitizer catches a read past it): dropped with a log line, no
// state changed.
TEST_F(Handlers, ShortMessagesAreDropped) {
    g_simQueues.pendingCreations = {{5, 0x3C6444, "DLH4"}};
    g_simQueues.newObjects = {150};
    struct Row {
        const char* name;
        Bytes message;
    };
    auto data = [](std::uint32_t request, std::uint32_t define, std::uint32_t dataSize, std::uint32_t keep) {
        auto m = objectDataMessage(8, request, 150, define, dataSize);
        m.f64(40, 50.0);
        if (dataSize >= 16) m.f64(48, 8.5);
        return m.truncate(keep).bytes();
    };
    const Row rows[] = {
        {"exception", MessageBuilder(1, 24).u32(12, 22).u32(16, 5).truncate(20).bytes()},
        {"open", MessageBuilder(2, 308).text(12, "Prepar3D v5").u32(268, 5).truncate(270).bytes()},
        {"event", MessageBuilder(4, 28).u32(16, SimEventPositionChanged).truncate(20).bytes()},
        {"object added", MessageBuilder(5, 28).u32(16, SimEventObjectAdded).u32(20, 300).u32(24, 2).truncate(24).bytes()},
        {"frame", MessageBuilder(7, 32).u32(16, SimEventFrame).truncate(26).bytes()},
        {"data header", data(SimReqUserPosition, SimDefUserAircraft, 96, 36)},
        {"user position", data(SimReqUserPosition, SimDefUserAircraft, 96, 40 + 95)},
        {"on ground", data(SimReqUserOnGround, SimDefOnGround, 8, 40 + 7)},
        {"static CG", data(SimReqStaticCg, SimDefStaticCg, 16, 40 + 12)},
        {"title without its NUL", MessageBuilder(8, 48).u32(12, SimReqUserTitle).text(40, "ABCDEFGH").bytes()},
        {"ATC model", data(SimReqUserModel, SimDefAtcModel, 32, 40 + 31)},
        {"ATC ID", MessageBuilder(9, 40 + 56).u32(12, 101).u32(16, 150).truncate(40 + 50).bytes()},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        newLog();
        dispatch(row.message);
        EXPECT_NE(newLog().find("too short"), std::string::npos);
    }
    EXPECT_FALSE(g_simConnected.load());
    EXPECT_EQ(gf_exitReason(), ExitReason::notYetSet);
    EXPECT_EQ(gf_userAcData().lat_deg, 0.0);
    EXPECT_EQ(g_userObjectId.load(), 2u);
    EXPECT_TRUE(objectEvents().empty());
    EXPECT_EQ(g_simQueues.pendingCreations.size(), 1u);
    EXPECT_EQ(g_simQueues.newObjects, std::vector<std::uint32_t>{150});
    EXPECT_EQ(gf_simLinkTexts().userAcTitle, "");
}

}  // namespace
