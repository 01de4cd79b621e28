// The stand-in as a client meets it: a real TCP connection, hand-built
// packets, and the port, control, state and record files.
#include "simstub/host.h"
#include "simstub/client_bytes.h"
#include "simstub/test_socket.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace {

namespace fs = std::filesystem;
namespace t = simstub_test;
using simstub::Host;
using simstub::HostOptions;

std::string lf_readAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// Waits for a file's content to satisfy pred; the deadline only keeps a
// broken stand-in from hanging the test.
template <typename Pred>
bool lf_waitFor(const fs::path& p, Pred pred) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        if (pred(lf_readAll(p))) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

class HostTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("simstub_host_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override {
        stop = true;
        if (runner.joinable()) runner.join();
        host.reset();
        std::error_code ec;
        fs::remove_all(dir, ec);
    }

    void startHost(nlohmann::json scenario, bool pipe = false, std::string pipePath = {}) {
        HostOptions o;
        o.pipe = pipe;
        if (!pipePath.empty()) o.pipePath = pipePath;
        o.portFile = dir / "port";
        o.recordFile = dir / "record.jsonl";
        o.stateFile = dir / "state.json";
        o.controlFile = dir / "control";
        std::ofstream(o.controlFile) << "quit\n";   // a line of an earlier run: never executed
        host = std::make_unique<Host>(o, simstub::parseScenario(scenario));
        std::string error;
        ASSERT_TRUE(host->start(error)) << error;
        runner = std::thread([this] { host->run(stop); });
    }

    void control(const std::string& line) {
        std::ofstream(dir / "control", std::ios::app) << line << "\n";
    }

    nlohmann::json state() {
        std::string text = lf_readAll(dir / "state.json");
        return text.empty() ? nlohmann::json() : nlohmann::json::parse(text);
    }

    std::vector<nlohmann::json> records() {
        std::vector<nlohmann::json> out;
        std::istringstream in(lf_readAll(dir / "record.jsonl"));
        for (std::string line; std::getline(in, line);) out.push_back(nlohmann::json::parse(line));
        return out;
    }

    fs::path dir;
    std::unique_ptr<Host> host;
    std::atomic<bool> stop{false};
    std::thread runner;
};

TEST_F(HostTest, ServesAClientOverTcpFromOpenToRemoval) {
    startHost({{"refuse_titles", {"Broken Livery"}}, {"frame_rate", 0}});
    EXPECT_EQ(lf_readAll(dir / "port"), std::to_string(host->port()) + "\n");

    t::TestSocket client(host->port());
    ASSERT_TRUE(client.connected());
    // Everything in one write: the stand-in has to frame it.
    t::Bytes setup = t::openPacket(1);
    for (const auto& p : {t::subscribePacket(2, 201, "Sim"), t::subscribePacket(3, 202, "ObjectAdded"),
                          t::subscribePacket(4, 203, "ObjectRemoved"),
                          t::addDatumPacket(5, 409, "SIM ON GROUND", "Bool", t::kInt64),
                          t::requestDataPacket(6, 108, 409, 0, 1)}) {
        setup.insert(setup.end(), p.begin(), p.end());
    }
    ASSERT_TRUE(client.send(setup));
    auto got = client.receive(3);
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].id(), 2u);
    EXPECT_EQ(got[0].size(), 308u);
    EXPECT_EQ(got[0].version(), 35u);
    EXPECT_EQ(got[1].id(), 4u);
    EXPECT_EQ(got[1].u32(16), 201u);
    EXPECT_EQ(got[1].u32(20), 1u);
    EXPECT_EQ(got[2].id(), 8u);
    EXPECT_EQ(got[2].u32(12), 108u);
    EXPECT_EQ(got[2].i64(40), 1);

    ASSERT_TRUE(client.send(t::createPacket(7, "Broken Livery", "BAD1")));
    got = client.receive(1);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].id(), 1u);
    EXPECT_EQ(got[0].u32(12), 22u);
    EXPECT_EQ(got[0].u32(16), 7u);

    ASSERT_TRUE(client.send(t::createPacket(8, "Airbus A320 Lufthansa", "DLH4AB")));
    got = client.receive(2);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].id(), 12u);
    EXPECT_EQ(got[1].id(), 5u);
    std::uint32_t oid = got[0].u32(16);
    EXPECT_EQ(got[1].u32(20), oid);

    ASSERT_TRUE(lf_waitFor(dir / "state.json", [](const std::string& text) {
        return !text.empty() && nlohmann::json::parse(text)["objects"].size() == 1;
    }));
    auto st = state();
    EXPECT_EQ(st["objects"][0]["atc_id"], "DLH4AB");
    EXPECT_EQ(st["objects"][0]["title"], "Airbus A320 Lufthansa");
    EXPECT_EQ(st["objects"][0]["object_id"], oid);

    ASSERT_TRUE(client.send(t::removePacket(9, oid)));
    got = client.receive(1);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].id(), 5u);
    EXPECT_EQ(got[0].u32(16), 203u);

    control("quit");
    got = client.receive(1);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].id(), 3u);

    auto lines = records();
    std::vector<std::string> functions;
    for (const auto& l : lines) {
        if (l.contains("function")) functions.push_back(l["function"]);
    }
    const std::vector<std::string> expected = {
        "SimConnect_Open", "SimConnect_SubscribeToSystemEvent", "SimConnect_SubscribeToSystemEvent",
        "SimConnect_SubscribeToSystemEvent", "SimConnect_AddToDataDefinition", "SimConnect_RequestDataOnSimObject",
        "SimConnect_AICreateNonATCAircraft", "SimConnect_AICreateNonATCAircraft", "SimConnect_AIRemoveObject"};
    EXPECT_EQ(functions, expected);
    int quits = 0;
    for (const auto& l : lines) quits += l.value("control", "") == "quit";
    EXPECT_EQ(quits, 1) << "the control file's earlier line was skipped";
}

TEST_F(HostTest, AcceptsTheFsxOpenRefusesAForeignOneAndStopsOnCommand) {
    startHost({{"sim_version", 6}});
    t::TestSocket fsx(host->port());
    t::TestSocket foreign(host->port());
    ASSERT_TRUE(fsx.connected());
    ASSERT_TRUE(foreign.connected());

    ASSERT_TRUE(fsx.send(t::fsxOpenPacket(1)));
    auto got = fsx.receive(1);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].id(), 2u);
    EXPECT_EQ(got[0].version(), 4u);
    EXPECT_NE(got[0].text(12, 256).find("v6"), std::string::npos);

    ASSERT_TRUE(foreign.send(t::openPacket(5, 35, t::kTagP3D, 4, 5)));
    got = foreign.receive(1);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].id(), 1u);
    EXPECT_EQ(got[0].u32(12), 5u);
    EXPECT_EQ(got[0].u32(16), 5u);

    control("drop");
    fsx.receive(1);
    EXPECT_TRUE(fsx.closedByPeer());

    control("stop");
    runner.join();
    auto st = state();
    EXPECT_EQ(st["commands_done"], 2);
    EXPECT_TRUE(st["sessions"].empty());
}

}  // namespace
