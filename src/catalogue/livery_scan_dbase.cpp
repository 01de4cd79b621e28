#include "catalogue/livery_scan_dbase.h"

#include <atomic>

namespace {

class EmptyDbase final : public LiveryScanDbase {
public:
    bool isKnownType(const std::string&) const override { return false; }
    std::optional<std::string> fixedType(const std::string&) const override { return std::nullopt; }
    bool isIcaoAirline(const std::string&) const override { return false; }
    AcCategory category(const std::string&) const override { return AcCategory::Light; }
    std::optional<LiveryRegistrationRecord> lookupRegistration(const std::string&) const override {
        return std::nullopt;
    }
    std::optional<std::string> registrationInTitle(const std::string&) const override { return std::nullopt; }
};

const EmptyDbase g_emptyDbase;
std::atomic<const LiveryScanDbase*> g_dbaseView{&g_emptyDbase};

}  // namespace

const LiveryScanDbase& gf_liveryScanDbase() { return *g_dbaseView.load(); }

void gf_setLiveryScanDbase(const LiveryScanDbase* dbase) { g_dbaseView.store(dbase ? dbase : &g_emptyDbase); }
