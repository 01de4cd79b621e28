#include "catalogue/livery.h"

#include "core/text.h"

#include <tuple>

std::list<Livery> g_liveryScanList;
LiveryTitleSet g_liveryScanTitles;
TextHashSet g_dontUseTitles;

namespace {
// Longer atc_id parts are no registrations but remarks of the livery's author.
constexpr std::size_t kMaxAtcIdLength = 12;
}  // namespace

Livery::Livery(Livery&& other) noexcept
    : airl(std::move(other.airl)),
      type(std::move(other.type)),
      title(std::move(other.title)),
      atcid(std::move(other.atcid)),
      folderIndex(other.folderIndex),
      cargo(other.cargo) {
    // A moved-from std::string is only "valid but unspecified": make it the
    // empty record callers test for.
    other.airl.clear();
    other.type.clear();
    other.title.clear();
    other.atcid.clear();
}

Livery& Livery::operator=(Livery&& other) noexcept {
    if (this != &other) {
        airl = std::move(other.airl);
        type = std::move(other.type);
        title = std::move(other.title);
        atcid = std::move(other.atcid);
        folderIndex = other.folderIndex;
        cargo = other.cargo;
        other.airl.clear();
        other.type.clear();
        other.title.clear();
        other.atcid.clear();
    }
    return *this;
}

bool Livery::operator<(const Livery& other) const {
    return std::tie(airl, type, title) < std::tie(other.airl, other.type, other.title);
}

bool Livery::operator==(const Livery& other) const {
    return title == other.title && airl == other.airl && type == other.type && atcid == other.atcid &&
           cargo == other.cargo;
}

std::optional<Livery> lf_makeLivery(std::uint32_t folderIndex, std::string airl, std::string type, int passenger, std::string title,
                     std::string atcid) {
    bool isNew = false;
    {
        std::lock_guard lock(g_liveryScanTitles.mutex);
        isNew = g_liveryScanTitles.titles.insert(title).second;
    }
    if (!isNew) return std::nullopt;
    return Livery(std::move(airl), std::move(type), std::move(title), std::move(atcid), folderIndex, passenger == 0);
}

bool lf_isDontUseTitle(std::string_view title) {
    return !g_dontUseTitles.empty() && g_dontUseTitles.find(title) != g_dontUseTitles.end();
}

bool lf_checkAtcId(std::string_view value, std::string& registration) {
    const std::vector<std::string> parts = gf_split(value, ',');
    if (parts.empty()) return false;
    for (const std::string& part : parts) {
        if (part.empty() || part == " " || part.size() > kMaxAtcIdLength) return false;
        if (part.find('*') != std::string::npos) return false;
    }
    registration = parts.size() == 1 ? parts.front() : std::string();
    return true;
}

void gf_resetLiveryScanTitles() {
    {
        std::lock_guard lock(g_liveryScanTitles.mutex);
        g_liveryScanTitles.titles.clear();
    }
    g_dontUseTitles.clear();
}
