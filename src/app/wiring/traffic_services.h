// The Traffic engine wired into the run: its containers, the hand-over of
// live batches, the 10 ms pass, the object events and the per-second rules,
// and the feed's door into the engine.
#pragma once

#include <cstdint>
#include <vector>

#include "app/run_services.h"
#include "feed/feed_records.h"

void lf_wireTraffic(RunServices& services);

// The feed's calls into the engine (Traffic Reader and Weather Reader
// threads).
void gf_engineTakeTrafficBatch(std::vector<FlightRecord>& batch, int delay_s);
void gf_enginePushBlockedEvent(std::uint32_t hexid);
void gf_enginePublishQnh(int qnh_hpa);
