// The AceXML flight plans of AI aircraft: one file "{object id}.pln" in the
// folder "orig_dest" of the application folder, for the simulator to fly.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "simlink/ac_category.h"

// Builds the folder path (kept for every later run), creates the folder with
// its parents and tells whether it exists afterwards. A creation error is
// logged, not thrown.
bool gf_createFlightPlanFolder();
// Removes the folder with its contents when its path is set; a failure logs
// "gf_removeFlightPlanFolder: {}" and returns false.
bool gf_removeFlightPlanFolder();
// The folder joined with "{objectId}.pln".
std::filesystem::path gf_flightPlanPath(std::uint32_t objectId);

// "IFR" for Buzjets, Large and Heavy, "VFR" for the rest.
std::string_view gf_flightPlanType(AcCategory category);
// The whole file text; origin and destination are XML-escaped.
std::string gf_flightPlanText(AcCategory category, std::string_view origin, std::string_view destination);
// Writes the plan; false when the file cannot be opened, written or flushed.
bool gf_writeFlightPlan(const std::filesystem::path& path, AcCategory category, std::string_view origin,
                        std::string_view destination);

// The plans are written on a thread of their own, never inside the traffic
// pass: jobs run in the order they were queued (a plan's removal after its
// write), and a finished write is handed back to the engine, which only then
// asks the simulator to fly it.
struct WrittenFlightPlan {
    std::uint32_t objectId = 0;
    std::uint32_t owner = 0;  // the caller's mark of the aircraft, handed back
    std::string path;
    bool ok = false;
};
void gf_queueFlightPlanWrite(std::uint32_t objectId, std::uint32_t owner, AcCategory category, std::string origin,
                             std::string destination);
void gf_queueFlightPlanRemoval(std::uint32_t objectId);
// The writes finished since the last call, in their order.
std::vector<WrittenFlightPlan> gf_takeWrittenFlightPlans();
// Returns once every job queued so far is done.
void gf_waitFlightPlanWrites();
