// Shared by the livery scan tests: a small Dbase of the codes the sample
// livery tree uses, installed as the scan's view, and a clean scan state.
#pragma once

#include "app/wiring/livery_scan_services.h"
#include "catalogue/livery_scan_dbase.h"

#include <cstdint>
#include <functional>

#include <map>
#include <optional>
#include <set>
#include <string>

namespace livery_test {

class FakeDbase : public LiveryScanDbase {
public:
    std::set<std::string> types{"B738", "B744", "C172", "B763", "GLID", "B77W"};
    std::map<std::string, std::string> fixes{{"B73H", "B738"}};
    std::set<std::string> airlines{"BAW", "DLH", "KLM", "ZZZ", "AFR", "MPH"};
    std::set<std::string> heavy{"B744", "B763", "B77W"};
    std::map<std::string, LiveryRegistrationRecord> registrations{
        {"G-ABCD", {"BAW", "B738", "", false}},
        {"D-ABCD", {"DLH", "B738", "", true}},
        {"PH-BXA", {"KLM", "B738", "", false}},
        {"PH-BFA", {"KLM", "B744", "", true}},
        // Operator but no model: the livery keeps its model.
        {"PH-MPS", {"KLM", "", "MPH", false}},
        // No airline: a private aircraft stays private.
        {"N172A", {"", "C172", "", false}},
    };

    bool isKnownType(const std::string& type) const override { return types.count(type) != 0; }
    std::optional<std::string> fixedType(const std::string& type) const override {
        const auto it = fixes.find(type);
        return it == fixes.end() ? std::nullopt : std::optional<std::string>(it->second);
    }
    bool isIcaoAirline(const std::string& code) const override { return airlines.count(code) != 0; }
    AcCategory category(const std::string& type) const override {
        return heavy.count(type) != 0 ? AcCategory::Heavy : AcCategory::Large;
    }
    std::optional<LiveryRegistrationRecord> lookupRegistration(const std::string& reg) const override {
        const auto it = registrations.find(reg);
        return it == registrations.end() ? std::nullopt : std::optional<LiveryRegistrationRecord>(it->second);
    }
    std::optional<std::string> registrationInTitle(const std::string& title) const override {
        for (const auto& [reg, record] : registrations) {
            if (reg.size() < 6 && title.find(reg) != std::string::npos) return reg;
        }
        return std::nullopt;
    }
};

// The window as the program has it, unless a test takes the livery count.
class ScanWindow final : public LiveryScanWindow {
public:
    bool openManual() override { return gf_realLiveryScanWindow().openManual(); }
    bool openParametersFolder() override { return gf_realLiveryScanWindow().openParametersFolder(); }
    void showLiveryCount(std::int32_t count) override {
        if (onCount) {
            onCount(count);
        } else {
            gf_realLiveryScanWindow().showLiveryCount(count);
        }
    }
    std::function<void(std::int32_t)> onCount;
};

}  // namespace livery_test
