// The Traffic Reader: buffered snapshots at the start of a run, then live
// polls at the service's pace, parked traffic on request, and the parsing of
// every entry into a FlightRecord or ParkedRecord.
#pragma once

#include "feed/entry_limits.h"
#include "feed/feed_env.h"
#include "feed/feed_records.h"
#include "feed/rt_client.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <set>
#include <string>
#include <vector>

struct FeedBox {
    double top = 52.44;
    double bottom = 52.17;
    double left = 4.54;
    double right = 4.98;
};

// A box whose edges the worker moves while the reader formats requests from
// it: each edge atomic, a mix of old and new edges is harmless.
struct AtomicBox {
    std::atomic<double> top{52.44};
    std::atomic<double> bottom{52.17};
    std::atomic<double> left{4.54};
    std::atomic<double> right{4.98};
    void store(const FeedBox& box);
    FeedBox load() const;
};

// Callsigns and hexids of the received flights, collected while the collect
// flag is raised; the worker takes them whole.
struct CollectedIds {
    std::set<std::string> callsigns;
    std::set<std::uint32_t> hexids;
};

inline constexpr int kParkedPending = -1;
inline constexpr int kParkedTaken = 0;
inline constexpr int kParkedFailed = 1;

class WeatherReader;

class TrafficReader : public RtClient {
public:
    TrafficReader();

    bool receive(int& status);
    bool buffer(int& status);
    void parkedtraffic();

    // Parses `entry` (one 48-value array) into flightRecords.
    void processLine();
    // Parses `parkedEntry` with its key (the hexid text) into the answer of
    // the parked request in progress.
    void processParkedTrafficLine(const std::string& key);
    // The records of the parked request in progress (Traffic Reader thread).
    const std::vector<ParkedRecord>& parkedWork() const { return m_parkedWork; }
    void clearParkedWork() { m_parkedWork.clear(); }

    // Copies the settings and positions of other threads, once per answer.
    void refreshAnswerSettings();

    // Worker side of the collected ids: takes them and lowers the collect flag.
    CollectedIds takeCollectedIds();

    // The parked answer the worker accepted last (worker thread only).
    std::vector<ParkedRecord> parkedRecords;

    // Set by the worker: a parked request for box; returns its number.
    std::uint64_t postParkedRequest(const FeedBox& box);
    // The published answer when it carries `number`: status and records.
    bool takeParkedAnswer(std::uint64_t number, int& status, std::vector<ParkedRecord>& records);
    int parkedStatus() const { return m_parkedStatus.load(); }

    bool trafficLampLatch = false;
    AtomicBox liveBox;
    std::atomic<double> filterLat{0.0};
    std::atomic<double> filterLon{0.0};
    double boxCentreLat = 0.0;
    double boxCentreLon = 0.0;
    double boxRange = -1.0;
    std::atomic<std::int32_t> qnh{1013};
    std::atomic<std::int64_t> trafficCount{0};
    std::atomic<bool> collect{false};
    std::atomic<bool> parkedRequest{false};
    std::atomic<bool> receiving{false};
    bool blockReport = true;
    // Steady-clock time (ms) by which the next live answer is due: the last
    // answer's time, the service's pause and a margin. A reader still
    // receiving after it waits for a slow service (the lamps show it).
    std::atomic<std::int64_t> answerDue_ms{0};
    bool answersLate(std::int64_t now_ms) const;
    static std::int64_t steadyNowMs();
    // Worker: the slow service has been reported (status line and log).
    bool slowReported = false;
    // What the entries of the answer being parsed lost to the limits.
    EntryDrops entryDrops;
    // Set by the first entry of a run dropped for its feed time: one log line.
    bool feedTimeReported = false;

    std::string trafficResponse;
    nlohmann::json parkedEntry;
    std::vector<FlightRecord> flightRecords;
    // The settings copy the parsers read; tests set it directly.
    FeedSettings answerSettings;

    // Between runs (the reader thread has ended).
    void resetForRun();

private:
    void parseEntries(const nlohmann::json& data);
    void handOver(int delay_s);

    CurlPtr m_trcurl;
    CurlPtr m_ptcurl;

    std::mutex m_collectMutex;
    CollectedIds m_collected;

    // Parked hand-shake: the request (number and box) and the published
    // answer (number, status, records) change together under this lock, and
    // the worker takes only the answer to its own request.
    mutable std::mutex m_parkedMutex;
    std::uint64_t m_parkedRequestNumber = 0;
    FeedBox m_parkedBox;
    std::uint64_t m_parkedAnswerNumber = 0;
    std::vector<ParkedRecord> m_parkedAnswer;
    int m_parkedAnswerStatus = kParkedTaken;
    std::atomic<int> m_parkedStatus{kParkedTaken};
    // Filled by processParkedTrafficLine during one parked request.
    std::vector<ParkedRecord> m_parkedWork;
};

bool gf_isNonAircraftType(std::string_view type);
// Whether a report this high above the field at this speed is read as the
// ground (the rules the feed applies to a report with a speed).
bool gf_slowReadsAsGround(double height_ft, double speed_kt);

// Thread bodies of a run: the reader given, the other one stopped on failure.
void gf_runTrafficReader(TrafficReader& traffic, WeatherReader& weather);
// Worker side of the parked request; true with traffic.parkedRecords ready.
// wait_ms bounds the wait for the reader's answer.
bool gf_requestParkedTraffic(TrafficReader& traffic, int wait_ms = 10000);
