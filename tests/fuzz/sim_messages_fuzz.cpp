// libFuzzer target: simulator messages of any shape through the SimClient's
// dispatch procedure, the same entry SimConnect_CallDispatch calls.
//
// Byte 0 sets the link's state before the messages (bit 0: a user position
// already answered, so AI objects and exceptions count; bit 1: the run is
// stopping; bit 2: two creations pending, send ids 7 and 9, callsigns
// "DLH4" and "EIN12", so refusals and new objects find them; bit 3: object
// 5 announced as new). The rest is one or more messages, each as long as its
// own size field says (the framing hands over whole messages); a size field
// below 12 or past the end takes the rest of the input, so the handlers also
// see messages shorter than they claim.
#include "core/exit_reason.h"
#include "core/run_flags.h"
#include "core/user_error.h"
#include "simlink/creation_tracking.h"
#include "simlink/sim_client.h"
#include "simlink/sim_neighbours.h"
#include "simlink/sim_queues.h"
#include "simlink/sim_state.h"
#include "core/status_line.h"

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

namespace {

class FuzzNeighbours final : public SimLinkNeighbours {
public:
    double halfWingspanNm(std::string_view type) override { return type.size() == 4 ? 0.01 : 0.0; }
    double maxHalfWingspanNm() override { return 0.02; }
    AcCategory acCategory(std::string_view type) override {
        return type.empty() ? AcCategory::Large : static_cast<AcCategory>(static_cast<unsigned char>(type[0]) % 4);
    }
    std::string categoryName(AcCategory) override { return "Large"; }
    std::string standNameAt(LatLon) override { return "B2"; }
    void reserveUserStand(const std::string&) override {}
    std::string simVersionText() override { return "5"; }
};

void lf_reset() {
    gf_resetSimLink(5);
    gf_resetSimQueues(5);
    gf_resetExitReason();
    gf_resetRunFlags();
    gf_resetStatusLine();
    gf_resetCreationTracking();
    std::lock_guard lock(g_simObjectEvents.mutex);
    g_simObjectEvents.events.clear();
}

std::uint32_t lf_u32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static FuzzNeighbours neighbours;
    static const bool installed = [] {
        gf_setSimLinkNeighbours(&neighbours);
        return true;
    }();
    (void)installed;
    if (size < 1) return 0;
    lf_reset();
    const std::uint8_t state = data[0];
    if (state & 1) {
        UserAcData user;
        user.lat_deg = 50.0;
        user.lon_deg = 8.5;
        gf_setUserAcData(user);
        g_userObjectId.store(1);
    }
    if (state & 2) g_runStopping.store(true);
    if (state & 4) g_simQueues.pendingCreations = {{7, 0x3C6444, "DLH4"}, {9, 42, "EIN12"}};
    if (state & 8) g_simQueues.newObjects.push_back(5);

    std::size_t at = 1;
    while (at < size) {
        const std::size_t left = size - at;
        std::size_t length = left;
        if (left >= 4) {
            const std::uint32_t declared = lf_u32(data + at);
            if (declared >= 12 && declared <= left) length = declared;
        }
        // A copy of exactly the message's bytes: a read past its end is a
        // finding, not a read into the next message.
        const std::vector<std::uint8_t> message(data + at, data + at + length);
        try {
            lf_dispatchSimMessage(message.data(), static_cast<std::uint32_t>(message.size()), nullptr);
        } catch (const ozr::UserErrorException&) {
            // Wrong simulator, version mismatch: the session ends there.
            break;
        }
        at += length;
    }
    lf_reset();
    return 0;
}
