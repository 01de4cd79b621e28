// Shared by the livery fuzz targets: a small Dbase view, a folder of their
// own (removed at exit) holding an aircraft folder with the files a section
// names, and the scan state emptied between inputs so memory stays flat.
#pragma once

#include "catalogue/livery.h"
#include "catalogue/livery_reports.h"
#include "catalogue/livery_scan_dbase.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace livery_fuzz {

class Dbase final : public LiveryScanDbase {
public:
    bool isKnownType(const std::string& type) const override { return type == "B738" || type == "B744"; }
    std::optional<std::string> fixedType(const std::string& type) const override {
        if (type == "B73H") return std::string("B738");
        return std::nullopt;
    }
    bool isIcaoAirline(const std::string& code) const override { return code == "BAW" || code == "ZZZ"; }
    AcCategory category(const std::string& type) const override {
        return type == "B744" ? AcCategory::Heavy : AcCategory::Large;
    }
    std::optional<LiveryRegistrationRecord> lookupRegistration(const std::string& reg) const override {
        if (reg.size() == 5) return LiveryRegistrationRecord{"BAW", "B738", reg[0] == 'G' ? "" : "SHT", true};
        return std::nullopt;
    }
    std::optional<std::string> registrationInTitle(const std::string& title) const override {
        if (title.find("G-ABC") != std::string::npos) return std::string("G-ABC");
        return std::nullopt;
    }
};

// The aircraft folder: model, texture and b738.air exist.
inline const std::filesystem::path& aircraftFolder() {
    static const std::filesystem::path folder = [] {
        // Kept on the heap for the exit handler, which runs after the
        // statics of this function are gone.
        static const auto* root = new std::filesystem::path(std::filesystem::temp_directory_path() /
                                                            ("glim_livery_fuzz_" + std::to_string(getpid())));
        const std::filesystem::path aircraft = *root / "IVAO_MTL" / "IVAO_B738";
        std::filesystem::create_directories(aircraft / "model");
        std::filesystem::create_directories(aircraft / "texture");
        std::ofstream(aircraft / "b738.air") << "";
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(*root, ec);
        });
        static Dbase dbase;
        gf_setLiveryScanDbase(&dbase);
        g_dontUseTitles.insert("Dont Use");
        return aircraft;
    }();
    return folder;
}

inline void resetScanState() {
    lf_clearReportLists();
    std::lock_guard lock(g_liveryScanTitles.mutex);
    g_liveryScanTitles.titles.clear();
}

}  // namespace livery_fuzz
