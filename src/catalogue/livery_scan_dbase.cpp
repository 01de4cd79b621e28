#include "catalogue/livery_scan_dbase.h"

#include "catalogue/dbase.h"
#include "catalogue/dbase_queries.h"

#include <atomic>

namespace {

// The program's Dbase, read on the worker thread before the scan starts.
class ProgramDbase final : public LiveryScanDbase {
public:
    bool isKnownType(const std::string& type) const override { return g_dbase.knownTypes.count(type) != 0; }
    std::optional<std::string> fixedType(const std::string& type) const override {
        const auto it = g_dbase.codeFixes.find(type);
        if (it == g_dbase.codeFixes.end()) return std::nullopt;
        return it->second;
    }
    bool isIcaoAirline(const std::string& code) const override { return lf_isIcaoAirline(code); }
    AcCategory category(const std::string& type) const override { return gf_acCategory(type); }
    std::optional<LiveryRegistrationRecord> lookupRegistration(const std::string& registration) const override {
        const auto record = gf_lookupRegistrationRecord(registration);
        if (!record) return std::nullopt;
        return LiveryRegistrationRecord{record->airl, record->type, record->opr, record->cargo};
    }
    std::optional<std::string> registrationInTitle(const std::string& title) const override {
        return lf_registrationInTitle(title);
    }
};

const ProgramDbase g_programDbase;
std::atomic<const LiveryScanDbase*> g_dbaseView{&g_programDbase};

}  // namespace

const LiveryScanDbase& gf_liveryScanDbase() { return *g_dbaseView.load(); }

void gf_setLiveryScanDbase(const LiveryScanDbase* dbase) { g_dbaseView.store(dbase ? dbase : &g_programDbase); }
