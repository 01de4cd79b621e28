// Parking on real stands and the conflicts around a stand.
#pragma once

#include <cstdint>
#include <string>

#include "airports/stand_records.h"
#include "traffic/live_ac.h"

// Whether the aircraft may take the stand.
bool lf_standArbitration(std::uint32_t standId, const std::string& callsign);
// The static aircraft on the stand and its neighbours make way.
void lf_makesWay(const Stand& stand);
// The stand's cargo attribute meets the aircraft's.
void lf_standCargoAttribute(LiveAc& ac, Stand& stand);
