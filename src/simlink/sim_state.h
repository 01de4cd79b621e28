// Inside the simulator link: state that the session and the handler files
// share. The handlers run on the SimClient thread; what other threads read is
// atomic or behind the small locks of sim_client.cpp.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "core/geometry.h"
#include "simlink/sim_client.h"

// The dispatch procedure given to SimConnect_CallDispatch; may throw
// ozr::UserErrorException (wrong simulator, version mismatch, no model).
void lf_dispatchSimMessage(const std::uint8_t* message, std::uint32_t size, void* context);

// The simulator sent QUIT: the session ends as SIM WAS CLOSED.
extern std::atomic<bool> g_simQuitReceived;
// The handlers ask the worker for a parking-spot check (flight loaded, new
// flight file, end of the connection).
extern std::atomic<bool> g_userParkingSpotCheckDue;
// Frames since the frame rate was last taken (counted on the SimClient thread).
extern std::atomic<int> g_frameCount;

// Stores a new user aircraft block; gives the position of the block before
// (0, 0 at the start of a run) and keeps the new one for the next answer.
LatLon lf_storeUserAcData(const UserAcData& data);
void lf_setSimName(const std::string& name);
std::string lf_userAcTitle();
void lf_setUserAcTitle(const std::string& title);
void lf_setUserHalfWingspanNm(double halfSpan_nm);
