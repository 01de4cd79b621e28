// Login to the service for a session GUID, and the credential it sends.
#pragma once

#include <filesystem>
#include <string>

class TrafficReader;
class WeatherReader;

// The service's licence file, where the service's own application keeps it:
// RealTraffic.lic in "InsideSystems" of the roaming AppData folder (the one
// gf_knownFolderAppData gives, so GLIM_APPDATA replaces it in both builds).
// Empty when there is no AppData folder.
std::filesystem::path gf_rtLicensePath();
// The credential: GLIM_RT_LICENSE when set, else the "License" member of the
// licence file; empty when neither gives one. Read once, kept for the process.
std::string gf_rtCredential();
// Why there is no credential: names the file looked for (or that there is
// no AppData folder); empty when a credential is there.
std::string gf_rtLicenceProblem();
// Forgets the credential read, so the next login reads it again.
void gf_resetRtCredential();

// One POST /v4/auth with the weather client's own handle; true when logged in.
bool authenticate(WeatherReader& weather, int& status);
// The login step of a run: stops the run on failure; throws for 405 and 500,
// and for a licence that is missing (440) or refused (402, 404), with the
// reason and where the licence was looked for.
void Authenticater(WeatherReader& weather, TrafficReader& traffic);
