// What the livery scan asks of the Dbase: known model codes and their fixes,
// ICAO airline codes, model categories and registrations. The scan reads the
// Dbase only through this view, so its rules can be exercised with a small
// table of codes instead of a whole decrypted Dbase. By default it reads the
// program's Dbase.
#pragma once

#include "simlink/ac_category.h"

#include <optional>
#include <string>

// What a registration of the Dbase says about its aircraft.
struct LiveryRegistrationRecord {
    std::string airl;  // ICAO airline code
    std::string type;  // ICAO model code
    std::string opr;   // operator; may be empty
    bool cargo = false;
};

class LiveryScanDbase {
public:
    virtual ~LiveryScanDbase() = default;
    // Exact, case-sensitive.
    virtual bool isKnownType(const std::string& type) const = 0;
    // The correct code for a known wrong one.
    virtual std::optional<std::string> fixedType(const std::string& type) const = 0;
    // False for the empty text.
    virtual bool isIcaoAirline(const std::string& code) const = 0;
    virtual AcCategory category(const std::string& type) const = 0;
    virtual std::optional<LiveryRegistrationRecord> lookupRegistration(const std::string& registration) const = 0;
    // A Dbase registration shorter than 6 characters that occurs in the title.
    virtual std::optional<std::string> registrationInTitle(const std::string& title) const = 0;
};

// The view in use; never null. Read by the parse tasks, so it is replaced
// only while no scan runs.
const LiveryScanDbase& gf_liveryScanDbase();
// nullptr restores the view of the program's Dbase. Not owned.
void gf_setLiveryScanDbase(const LiveryScanDbase* dbase);
