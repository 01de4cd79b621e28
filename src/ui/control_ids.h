// Ids of the main window's child controls, shared by the window and by the
// run, which enables and disables some of them. The settings' own bindings
// carry the same numbers; these names serve code that has no setting at hand
// (the push buttons above all).
#pragma once

// Push buttons.
constexpr int kIdTblo = 32804;
constexpr int kIdUnblock = 32829;
constexpr int kIdCsOid = 32830;
constexpr int kIdBlock = 32832;
constexpr int kIdReRead = 32838;
constexpr int kIdNow = 32847;
constexpr int kIdFlushStatic = 32857;

// Edits.
constexpr int kIdInstallPath = 32788;
constexpr int kIdBlockCallsign = 32828;
constexpr int kIdDestination = 32839;

// Check boxes.
constexpr int kIdScanLiveries = 32798;
constexpr int kIdLigPrioritize = 32800;
constexpr int kIdAlwaysOnTop = 32771;
constexpr int kIdScanAirports = 32802;
constexpr int kIdNavLights = 32776;
constexpr int kIdLightAircraft = 32809;
constexpr int kIdHelicopters = 32810;
constexpr int kIdHighPerf = 32811;
constexpr int kIdGuidChanges = 32773;
constexpr int kIdAutoRange = 32819;
constexpr int kIdAirborneOnly = 32821;
constexpr int kIdCollisionUserGnd = 32834;
constexpr int kIdCollisionUserAir = 32833;
constexpr int kIdCollisionLiveParked = 32835;
constexpr int kIdSimTime = 32861;
constexpr int kIdKeepSimTime = 32862;
constexpr int kIdStraightPbs = 32855;
constexpr int kIdInitialLoadOnly = 32851;
constexpr int kIdWeek = 32853;
constexpr int kIdParkSoft = 32852;
constexpr int kIdParkTrafficOnly = 32856;

// Combos.
constexpr int kIdMatchingDepth = 32808;
constexpr int kIdRange = 32818;
constexpr int kIdArAboveHeight = 32820;
constexpr int kIdTimeShiftDays = 32858;
constexpr int kIdTimeShiftHours = 32859;
constexpr int kIdCallsignList = 32831;
constexpr int kIdTimeShiftMins = 32860;
constexpr int kIdMaxParkSel = 32848;
constexpr int kIdMaxLiveSel = 32849;
constexpr int kIdAirpRange = 32840;
constexpr int kIdAirpHeight = 32841;
constexpr int kIdParkingPercentage = 32850;
constexpr int kIdMaxFit = 32854;
