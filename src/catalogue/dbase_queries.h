// The read-only questions the program asks of the Dbase, and the similar-model
// tables the matcher uses when an airline has no livery of a model.
#pragma once

#include "catalogue/dbase.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Large, Heavy, Buzjets, Rotorcraft, HighPerf in this order of tests; Light
// for any other type, the empty text included.
AcCategory gf_acCategory(std::string_view type);
// "Light", "Buzjets", "Large", "Heavy", "HighPerf", "Rotorcraft"; throws
// std::out_of_range for any other value.
std::string gf_categoryName(AcCategory category);
bool gf_isKnownAcType(std::string_view type);
bool lf_isIcaoAirline(std::string_view code);
// Half the wing span in nautical miles; the average of the type's category for
// a type without span.
double gf_halfWingspanNm(std::string_view type);

// Candidate Dbase keys of a registration: the dash forms of one written
// without a dash (PHBXA: PH-BXA, P-HBXA), then the registration itself.
std::vector<std::string> gf_registrationKeys(std::string_view registration);
// The record of the first candidate key the Dbase holds. A record without
// airline code names no airline and counts as none.
std::optional<DbaseRecord> gf_lookupRegistration(std::string_view registration);
// The same, also a record without airline code: its type, operator and
// cargo flag still correct the liveries the scan finds.
std::optional<DbaseRecord> gf_lookupRegistrationRecord(std::string_view registration);
// The record stored under exactly this key (same rule for an empty airline).
std::optional<DbaseRecord> gf_findRegistrationKey(std::string_view key);
std::string lf_airlineOfRegistration(std::string_view registration);
std::string lf_operatorOfRegistration(std::string_view registration);
// A short Dbase registration (under six characters) that occurs in the title;
// of several, the smallest in byte order.
std::optional<std::string> lf_registrationInTitle(std::string_view title);

// True for an empty name; else whether name occurs in the path's UTF-8 text,
// ASCII letters compared without case.
bool gf_pathContainsNoCase(const std::filesystem::path& path, std::string_view name);
// The reported name of the first publisher group with a name found in the
// path (an empty name matches every path).
std::optional<std::string> gf_publisherOfPath(const std::filesystem::path& path);

// The similar-model tables, built once the catalogue exists.
void lf_buildSimilarModels();
// The similar models of a model that have liveries, in a new random order; for
// a Light, Buzjets or Rotorcraft model without such a definition one random
// model of its category with liveries. The list stays valid until the next
// call (worker thread only).
const std::vector<std::string>& lf_similarModels(std::string_view model);
// The similar models the airline has liveries of, for a model it has none of,
// in a new random order.
const std::vector<std::string>& lf_similarModelsForAirline(std::string_view airline, std::string_view model);

// Empties the similar-model tables (catalogue cleared, tests).
void gf_clearSimilarModels();
// Entries of the model table (tests, log).
std::size_t gf_similarModelCount();
