// Reading the park airport's stand file: the file itself (downloaded first
// when it is archived), then the airport's learned file over it, the quality
// factors, the stand numbers and neighbours; and giving the airport's
// settings back when the airport is left.
#pragma once

#include "airports/stand_records.h"

#include <filesystem>
#include <string>
#include <string_view>

#include <pugixml.hpp>

// Reads the stand file of a reference into g_standList (which the caller has
// emptied) and g_parkAirportFile; empty on success, else the error text.
// ozr::UserErrorException (bad altitude or stand id) passes to the caller.
std::string gf_readApf(std::string_view reference);
// An archived stand file downloaded ahead (off the worker's pass) into
// gf_prefetchPath(): the next gf_readApf of that reference reads it instead
// of downloading it again.
std::filesystem::path gf_prefetchPath();
void gf_setPrefetchedStandFile(std::string reference);
// The user's file the last failed read blames when that is not the stand
// file itself: a hand-made file that gave no stand. Empty otherwise. It is
// the file the user must mend, and the one whose change is worth a new read.
std::filesystem::path gf_standFileAtFault();
// Overlays a learned file on the stand list and the airport settings. Never
// throws.
void lf_readLearned(const std::filesystem::path& learnedPath);
// When the stand has this id: takes the element's learned corrections and
// options and returns true.
bool lf_mergeLearnedStand(const std::string& id, pugi::xml_node parkpos, bool clearFlights, Stand& stand);
// The same use of a stand: same day, kind, registration, airline and type,
// at an overlapping half hour. Callsigns are not compared.
bool lf_sameStandOption(const StandOption& a, const StandOption& b);
// The nine airport settings back to their values from before the read,
// each saved at once.
void gf_restoreAirportSettings();
// Numbers the stands 1.. in list order and lists each stand's neighbours
// (stands whose circles, widened by a tenth, overlap).
void gf_numberStandsAndNeighbours(std::vector<Stand>& stands);
// The learned uses of a close whose write failed (the file held open by
// another program, a full disk): kept for the file, so that the next visit
// of the airport in this run has them again and its close saves them.
void gf_keepUnsavedUses(const std::filesystem::path& learnedPath, const std::vector<Stand>& stands);
void gf_forgetUnsavedUses();
