// Livery titles the simulator refused to create, kept for the whole program so
// that the livery matching never offers them again, and the title chosen for
// each hexid so that an aircraft keeps its livery while it is re-created.
// Worker thread; a small lock keeps the catalogue's look-ups safe from any
// thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Threshold of failed titles that ends the run with user error 81.
inline constexpr std::size_t kMaxFailedLiveryTitles = 20;

// Enters the title chosen for a hexid.
void gf_rememberLiveryTitle(std::uint32_t hexid, std::string_view title);
// The remembered title of hexid, empty when none; a title that failed since
// is forgotten and gives empty.
std::string gf_rememberedLiveryTitle(std::uint32_t hexid);
// Clears the remembered titles (traffic reset, closing down, daily).
void gf_clearRememberedLiveryTitles();

// Whether a title is in the failed set (the livery matching skips it).
bool gf_isFailedLiveryTitle(std::string_view title);
std::size_t gf_failedLiveryTitleCount();
// The failure report: "{type} {airline}" of every aircraft whose creation
// failed, sorted.
std::vector<std::string> gf_creationFailureReport();

// The simulator refused to create this aircraft: status line (unless the run
// is stopping), the title into the failed set, "{type} {airline}" into the
// report; throws ozr::UserErrorException 81 once 20 titles have failed.
void gf_liveryCreationFailed(std::string_view callsign, std::string_view liveryTitle, std::string_view acType,
                             std::string_view airline);

// Forgets everything (tests).
void gf_resetCreationTracking();
