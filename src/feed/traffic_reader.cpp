#include "feed/traffic_reader.h"

#include "core/clock.h"
#include "core/geometry.h"
#include "core/log.h"
#include "core/text.h"
#include "feed/feed_window_values.h"
#include "feed/weather_reader.h"

#include <fmt/format.h>

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <thread>

namespace {

constexpr int kBufferCount = 5;
constexpr int kBufferTime_s = 6;
constexpr int kLiveDelay_s = 30;
constexpr int kParkedPoll_ms = 100;
// 3 NM around the park airport: 3 x 1.852 / 111.2 degrees of latitude, and
// 3 x 6076.11549 ft east and west.
constexpr double kParkedHalfHeight_deg = 0.04996402877697842;
constexpr double kParkedHalfWidth_ft = 18228.34647;
constexpr double kHalfPi = 1.5707963267948966;
// A live poll that has run this long gives way to a parked request waiting
// behind it: the worker waits 10 s for the parked answer, a trickling poll
// would hold the reader for its whole time limit.
constexpr long kPollYieldAfter_ms = 1500;
// The parked request ends in time for the worker's 10 s wait.
constexpr long kParkedTotal_ms = 7000;
// No answer for this long beyond the service's pause: the service is slow.
constexpr std::int64_t kSlowAnswer_ms = 10000;

std::int64_t lf_steadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::string lf_boxBody(const std::string& guid, const FeedBox& box, const char* querytype, std::int32_t toffset) {
    return fmt::format("GUID={}&top={:.2F}&bottom={:.2F}&left={:.2F}&right={:.2F}&querytype={}&toffset={}",
                       gf_formValue(guid), box.top, box.bottom, box.left, box.right, querytype, toffset);
}

}  // namespace

void AtomicBox::store(const FeedBox& box) {
    top = box.top;
    bottom = box.bottom;
    left = box.left;
    right = box.right;
}

FeedBox AtomicBox::load() const { return FeedBox{top.load(), bottom.load(), left.load(), right.load()}; }

TrafficReader::TrafficReader() : m_trcurl(gf_newCurlHandle("trcurl_")), m_ptcurl(gf_newCurlHandle("ptcurl_")) {
    trafficResponse.reserve(16384);
    flightRecords.reserve(384);
}

void TrafficReader::refreshAnswerSettings() { answerSettings = gf_feedEnv().settings(); }

CollectedIds TrafficReader::takeCollectedIds() {
    std::lock_guard lock(m_collectMutex);
    CollectedIds taken = std::move(m_collected);
    m_collected = CollectedIds{};
    collect = false;
    return taken;
}

std::uint64_t TrafficReader::postParkedRequest(const FeedBox& box) {
    std::uint64_t number;
    {
        std::lock_guard lock(m_parkedMutex);
        number = ++m_parkedRequestNumber;
        m_parkedBox = box;
        m_parkedStatus = kParkedPending;
    }
    parkedRequest = true;
    return number;
}

bool TrafficReader::takeParkedAnswer(std::uint64_t number, int& status, std::vector<ParkedRecord>& records) {
    std::lock_guard lock(m_parkedMutex);
    if (m_parkedAnswerNumber != number) return false;
    status = m_parkedAnswerStatus;
    records = std::move(m_parkedAnswer);
    m_parkedAnswer.clear();
    return true;
}

void TrafficReader::parseEntries(const nlohmann::json& data) {
    auto take = [this](const nlohmann::json& member) {
        if (!member.is_array() || member.size() != 48) return;
        entry = member;
        processLine();
    };
    entryDrops = EntryDrops{};
    if (data.is_object()) {
        for (const auto& item : data.items()) take(item.value());
    } else if (data.is_array()) {
        for (const auto& member : data) take(member);
    }
    // One line an answer, however many entries it lost.
    const std::string dropped = entryDrops.logLine("Live traffic");
    if (!dropped.empty()) gf_logLine(dropped);
}

void TrafficReader::handOver(int delay_s) {
    trafficCount = static_cast<std::int64_t>(flightRecords.size());
    gf_feedEnv().takeTrafficBatch(flightRecords, delay_s);
    flightRecords.clear();
}

bool TrafficReader::buffer(int& status) {
    if (GUID.empty()) return false;
    bool result = false;
    try {
        refreshAnswerSettings();
        const std::string body = lf_boxBody(GUID, liveBox.load(), "locationtraffic", toffset.load()) +
                                 fmt::format("&buffercount={}&buffertime={}", kBufferCount, kBufferTime_s);
        const CURLcode code = gf_rtPost(m_trcurl.get(), "trcurl_", "/v4/traffic", body, trafficResponse, &stop);
        if (code != CURLE_OK) {
            // A transfer the stop aborted is the run closing down, no fault.
            if (!stop) {
                gf_logHighlight(fmt::format("{} buffer traffic code: {}", gf_formatTime(gf_now()), curl_easy_strerror(code)));
            }
        } else if (trafficResponse.empty()) {
            gf_logHighlight(fmt::format("buffer traffic: {}", gf_rtEmptyAnswer(m_trcurl.get())));
        } else {
            const auto answer = gf_parseAnswer(trafficResponse, true, kMaxTrafficAnswerValues);
            const int st = gf_answerStatus(answer);
            if (st != 200) {
                status = st;
                if (st == 406) gf_logHighlight(fmt::format(" buffer traffic msg {}", gf_jsonMessage(answer)));
            } else {
                rrl = gf_answerPause(answer, "rrl", kDefaultPause_ms);
                collect = true;
                const auto it = answer.find("data");
                if (it != answer.end() && !it->empty()) {
                    result = true;
                    for (int i = 0; i < kBufferCount; ++i) {
                        const std::string key = fmt::format("buffer_{}", kBufferCount - 1 - i);
                        if (it->is_object()) {
                            const auto b = it->find(key);
                            if (b != it->end() && !b->empty()) parseEntries(*b);
                        }
                        handOver(i * kBufferTime_s);
                    }
                }
            }
        }
    } catch (const std::exception& e) {
        gf_logHighlight(fmt::format("{}: {}", "buffer", gf_logExcerpt(e.what())));
    }
    pause(rrl);
    if (stop) {
        status = kReaderStopped;
        return false;
    }
    return result;
}

bool TrafficReader::receive(int& status) {
    if (GUID.empty()) return false;
    int bufferStatus = 0;
    if (!buffer(bufferStatus) && !stop) gf_logHighlight(fmt::format("buffer failed {}", bufferStatus));
    if (stop) {
        // A stop during the snapshots is the run closing down, not a fault.
        status = kReaderStopped;
        return false;
    }
    answerDue_ms = lf_steadyMs() + rrl + kSlowAnswer_ms;
    receiving = true;
    while (!stop) {
        if (parkedRequest.exchange(false)) {
            parkedtraffic();
            pause(rrl);
            continue;
        }
        try {
            refreshAnswerSettings();
            const std::string body = lf_boxBody(GUID, liveBox.load(), "locationtraffic", toffset.load());
            RtTransferWatch watch;
            watch.stops[0] = &stop;
            watch.yieldTo = &parkedRequest;
            watch.yieldAfter_ms = kPollYieldAfter_ms;
            const CURLcode code = gf_rtPost(m_trcurl.get(), "trcurl_", "/v4/traffic", body, trafficResponse, watch);
            if (code != CURLE_OK || trafficResponse.empty()) {
                if (stop) break;
                if (watch.yielded) {
                    // The parked request goes next, after the service's pause
                    // (the poll was sent and counts for its pace).
                    gf_logLine("Live traffic poll given up after 1.5 s for the parked traffic request");
                    pause(rrl);
                    continue;
                }
                if (code != CURLE_OK) {
                    gf_logHighlight(fmt::format("curl traffic code:{} = {}", static_cast<int>(code), curl_easy_strerror(code)));
                } else {
                    gf_logHighlight(fmt::format("traffic receive: {}", gf_rtEmptyAnswer(m_trcurl.get())));
                }
                pause(rrl);
                continue;
            }
            const auto answer = gf_parseAnswer(trafficResponse, true, kMaxTrafficAnswerValues);
            const int st = gf_answerStatus(answer);
            answerDue_ms = lf_steadyMs() + rrl + kSlowAnswer_ms;
            if (st == 406) {
                gf_logHighlight(fmt::format("{} curl traffic msg: {}", gf_formatTime(gf_now()), gf_jsonMessage(answer)));
                pause(rrl);
                continue;
            }
            if (st != 200) {
                status = st;
                break;
            }
            rrl = gf_answerPause(answer, "rrl", kDefaultPause_ms);
            const auto it = answer.find("data");
            if (it != answer.end() && !it->empty()) parseEntries(*it);
            handOver(kLiveDelay_s);
            pause(rrl);
        } catch (const std::exception& e) {
            gf_logHighlight(fmt::format("{}: {}", "receive", gf_logExcerpt(e.what())));
            flightRecords.clear();
            pause(rrl);
        }
    }
    receiving = false;
    if (stop) status = kReaderStopped;
    return false;
}

void TrafficReader::parkedtraffic() {
    std::uint64_t number;
    FeedBox box;
    {
        std::lock_guard lock(m_parkedMutex);
        number = m_parkedRequestNumber;
        box = m_parkedBox;
    }
    m_parkedWork.clear();
    int st = kParkedFailed;
    if (!GUID.empty()) {
        try {
            refreshAnswerSettings();
            const std::string body = lf_boxBody(GUID, box, "parkedtraffic", toffset.load());
            RtTransferWatch watch;
            watch.stops[0] = &stop;
            watch.total_ms = kParkedTotal_ms;
            const CURLcode code = gf_rtPost(m_ptcurl.get(), "ptcurl_", "/v4/traffic", body, trafficResponse, watch);
            if (code != CURLE_OK) {
                if (!stop) {
                    gf_logHighlight(
                        fmt::format("{} curl parkedtraffic code: {}", gf_formatTime(gf_now()), curl_easy_strerror(code)));
                }
            } else if (trafficResponse.empty()) {
                gf_logHighlight(fmt::format("parkedtraffic: {}", gf_rtEmptyAnswer(m_ptcurl.get())));
            } else {
                std::string whyRefused;
                const auto answer = gf_parseAnswer(trafficResponse, false, kMaxTrafficAnswerValues, &whyRefused);
                if (answer.is_discarded()) {
                    gf_logHighlight("parkedtraffic: invalid JSON");
                    gf_logContinuation(whyRefused);
                } else {
                    const int status = gf_answerStatus(answer);
                    if (status == 406) {
                        gf_logHighlight(fmt::format("parkedtraffic msg: {}", gf_jsonMessage(answer)));
                        st = kParkedTaken;
                    } else if (status != 200) {
                        st = status;
                    } else {
                        rrl = gf_answerPause(answer, "rrl", kDefaultPause_ms);
                        const auto it = answer.find("data");
                        entryDrops = EntryDrops{};
                        if (it != answer.end() && it->is_object()) {
                            for (const auto& item : it->items()) {
                                parkedEntry = item.value();
                                processParkedTrafficLine(item.key());
                            }
                        } else if (it != answer.end() && it->is_array()) {
                            for (std::size_t i = 0; i < it->size(); ++i) {
                                parkedEntry = (*it)[i];
                                processParkedTrafficLine(std::to_string(i));
                            }
                        }
                        const std::string dropped = entryDrops.logLine("Parked traffic");
                        if (!dropped.empty()) gf_logLine(dropped);
                        st = kParkedTaken;
                    }
                }
            }
        } catch (const std::exception& e) {
            gf_logHighlight(fmt::format("{}: {}", "parkedtraffic", gf_logExcerpt(e.what())));
            m_parkedWork.clear();
            st = kParkedFailed;
        }
    }
    std::lock_guard lock(m_parkedMutex);
    m_parkedAnswerNumber = number;
    m_parkedAnswer = std::move(m_parkedWork);
    m_parkedWork.clear();
    m_parkedAnswerStatus = st;
    m_parkedStatus.exchange(st);
}

void TrafficReader::resetForRun() {
    reset();
    m_trcurl = gf_newCurlHandle("trcurl_");
    m_ptcurl = gf_newCurlHandle("ptcurl_");
    trafficResponse.clear();
    gf_setDataTime(0.0);
    takeCollectedIds();
    flightRecords.clear();
    trafficCount = 0;
    qnh = 1013;
    boxRange = -1.0;
    boxCentreLat = 0.0;
    boxCentreLon = 0.0;
    liveBox.store(FeedBox{});
    trafficLampLatch = true;
    blockReport = true;
    feedTimeReported = false;
    receiving = false;
    parkedRequest = false;
    answerDue_ms = 0;
    slowReported = false;
}

bool TrafficReader::answersLate(std::int64_t now_ms) const {
    return receiving.load() && now_ms > answerDue_ms.load();
}

std::int64_t TrafficReader::steadyNowMs() { return lf_steadyMs(); }

void gf_runTrafficReader(TrafficReader& traffic, WeatherReader& weather) {
    gf_runReaderThread(traffic, weather, g_trafficLamp, {"Traffic Reader", "Traffic", "gf_trafficReader"},
                       [&traffic](int& status) { return traffic.receive(status); });
}

bool gf_requestParkedTraffic(TrafficReader& traffic, int wait_ms) {
    FeedEnv& env = gf_feedEnv();
    const auto airport = env.parkAirport();
    if (!airport) return false;
    const LatLon centre{airport->lat, airport->lon};
    FeedBox box;
    box.top = airport->lat + kParkedHalfHeight_deg;
    box.bottom = airport->lat - kParkedHalfHeight_deg;
    box.left = gf_destinationPoint(centre, -kHalfPi, kParkedHalfWidth_ft).lon;
    box.right = gf_destinationPoint(centre, kHalfPi, kParkedHalfWidth_ft).lon;
    const std::uint64_t number = traffic.postParkedRequest(box);

    std::this_thread::sleep_for(std::chrono::milliseconds(kParkedPoll_ms));
    const auto start = std::chrono::steady_clock::now();
    int status = kParkedPending;
    std::vector<ParkedRecord> records;
    while (!traffic.takeParkedAnswer(number, status, records)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(kParkedPoll_ms));
        if (std::chrono::steady_clock::now() - start > std::chrono::milliseconds(wait_ms)) {
            gf_logLine("ParkedTraffic receiving timed out after 10 seconds");
            return false;
        }
    }
    if (status == kParkedFailed) return false;
    if (status == 400) throw std::runtime_error("RT API parameter fault");
    if (status == 401) {
        gf_logHighlight(fmt::format("RT Parkedtraffic: re-authentication to RT API is needed {}", "GLIM_P3D"));
        return false;
    }
    if (status != kParkedTaken) {
        gf_logHighlight(fmt::format("RT Parkedtraffic error status: {}", status));
        return false;
    }

    const FeedSettings settings = env.settings();
    const int nowSlot = gf_halfHourSlot();
    for (auto& r : records) {
        int age = nowSlot - r.slot;
        if (age < 0) age += 48;
        r.slot = age;
    }
    if (!settings.rtParkTrafficOnly) {
        std::erase_if(records, [&](const ParkedRecord& r) { return r.slot > settings.maxFit; });
    }
    std::stable_sort(records.begin(), records.end(),
                     [](const ParkedRecord& a, const ParkedRecord& b) { return a.slot < b.slot; });
    std::vector<ParkedRecord> kept;
    for (auto& r : records) {
        const bool taken = std::any_of(kept.begin(), kept.end(), [&](const ParkedRecord& k) {
            return k.standName == r.standName || (!r.callsign.empty() && k.callsign == r.callsign);
        });
        if (!taken) kept.push_back(std::move(r));
    }
    traffic.parkedRecords = std::move(kept);
    return true;
}
