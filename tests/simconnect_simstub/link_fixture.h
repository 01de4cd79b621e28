// The fixture of the tests that run the client library of this build against
// simstub in a process of its own: SimConnect.cfg is written into the working
// folder, where the library looks for it; every message the library hands to
// SimConnect_CallDispatch is kept; the stand-in's record says what arrived.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "simconnect/api.h"
#include "simconnect/messages.h"
#include "simconnect/platform.h"
#include "simconnect/transport.h"
#include "support/simstub_process.h"

using Bytes = std::vector<std::uint8_t>;
using Json = nlohmann::json;

// The world the exchange asks about: a v6 simulator, the user aircraft with an
// object id other than the one requests name it by (0), and one aircraft of
// someone else near it.
// How many connects (or disconnects) the stand-in recorded.
inline int countLinks(const std::vector<Json>& record, const std::string& link) {
    int n = 0;
    for (const auto& line : record)
        if (line.value("link", std::string()) == link) ++n;
    return n;
}

inline constexpr std::uint32_t kUserObjectId = 7;
inline constexpr double kUserLat = 47.4647;
inline constexpr double kUserLon = 8.5492;
inline const std::string kExchangeScenario = R"({
  "sim_version": 6,
  "frame_rate": 0,
  "user": {"object_id": 7, "lat": 47.4647, "lon": 8.5492, "title": "Stub Airliner", "atc_id": "STUB1"},
  "objects": [{"title": "Other Traffic", "atc_id": "HBJNA", "lat": 47.47, "lon": 8.55, "alt_ft": 3000}]
})";

// What the exchange sent, for the checks against the record.
struct ExchangeSent {
    std::uint32_t openSendId = 0;
    std::uint32_t requestSendId = 0;
    std::uint32_t byTypeSendId = 0;
};

class SimStubLink : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Starts the stand-in (skips the test when that build is not there).
    void startStub(const SimStubOptions& options);
    // SimConnect.cfg of the working folder: a [SimConnect] section of lines.
    void writeConfig(const std::string& lines);
    // Records every connection attempt ("pipe <path>", "ipv6 <host> <port>")
    // before the library's own transport makes it.
    void recordAttempts();

    // Dispatches until done holds; false when it never does.
    bool pump(const std::function<bool()>& done);
    std::vector<Bytes> messagesWithId(std::uint32_t id) const;

    // Open, OPEN, a data definition, a request on the user aircraft and a
    // by-type request, checked on the client's side; the Open and the
    // requests are left for checkRecord.
    void exchange(ExchangeSent& sent);
    // The stand-in's record of the same exchange, on one session of transport.
    void checkRecord(const ExchangeSent& sent, const std::string& transport);
    // Closes the handle and waits for the stand-in to see the client go.
    void closeAndSeeDisconnect();

    static void collect(const std::uint8_t* data, std::uint32_t size, void* context);

    ScratchFolder scratch;
    std::filesystem::path clientFolder;
    std::filesystem::path previousFolder;
    std::unique_ptr<SimStubProcess> stub;
    SimConnectHandle handle = nullptr;
    std::vector<Bytes> messages;
    SimConnectResult lastDispatch = SIMCONNECT_OK;
    std::vector<std::string> attempts;
};
