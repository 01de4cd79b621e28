// The livery catalogue: every installed livery indexed by airline, model and
// registration, built once per process from LiveriesScanned.xml and read by
// the matcher for every aircraft created.
//
// liveriesByAirline owns the title texts; every other container holds views
// of them. The owning containers are filled completely before the first view
// is taken and are not touched again until the catalogue is cleared, so the
// views stay valid that long.
#pragma once

#include "catalogue/dbase.h"

#include <atomic>
#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

struct CatalogueTitle {
    std::string title;
    bool cargo = false;
};

using TitleViews = std::vector<std::string_view>;
using ModelTitles = TextMap<TitleViews>;

struct LiveryCatalogue {
    TextMap<TextMap<std::vector<CatalogueTitle>>> liveriesByAirline;  // airline -> model -> titles
    TextMap<ModelTitles> paxTitlesByAirline;
    TextMap<ModelTitles> cargoTitlesByAirline;
    ModelTitles paxTitlesByModel;
    ModelTitles cargoTitlesByModel;
    TextMap<std::string_view> regcodeTitles;  // registration -> title
    TextSet soleSpecialRegistrations;
    std::vector<std::string_view> reservedTitles;  // one per special regcode
    // Index of reservedTitles for the matcher's draws.
    std::unordered_set<std::string_view> reservedTitleSet;
    // Every title -> the catalogue's own copy (the first livery of a title).
    std::unordered_map<std::string_view, std::string_view> titleIndex;
    std::vector<std::string> randomLightModels;
    std::vector<std::string> randomBuzjetModels;
    std::vector<std::string> randomRotorcraftModels;
};

extern LiveryCatalogue g_catalogue;
extern std::atomic<bool> g_catalogueProcessed;
// The number of liveries the window shows.
extern std::atomic<std::size_t> g_liveryCount;

// Builds the catalogue from LiveriesScanned.xml once per process (a catalogue
// marked stale is cleared first and built again). Throws the reader's
// ozr::UserErrorException. Worker thread.
void gf_processScannedLiveries();
// Empties every container but the processed mark. Worker thread.
void gf_clearLiveryCatalogue();
// The window's request for a new scan while no run reads the catalogue: it
// only marks the catalogue stale (any thread); the worker clears it at the
// start of its next build, never while a build or a match may be using it.
void gf_markLiveryCatalogueStale();
bool gf_liveryCatalogueStale();
// Once per process: room for the containers that grow while traffic runs.
void gf_reserveLiveryCatalogue();

// The catalogue's own copy of a title; empty when no livery has it.
std::string_view gf_catalogueTitleView(std::string_view title);
bool gf_hasAirlineModel(std::string_view airline, std::string_view model);
// Every airline code, each cut to three characters.
std::vector<std::string> gf_catalogueAirlines();
std::string gf_randomLightModel();
std::string gf_randomBuzjetModel();
std::string gf_randomRotorcraftModel();

// Steps of the build, in their order (also for tests).
void lf_buildLiveryCatalogue();
void lf_buildAirlineMaps();
void lf_buildModelMaps();
void lf_categoryTally(AcCategory category);
void lf_logGenericLiveries();
