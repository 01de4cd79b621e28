#include "core/clock.h"

#include <fmt/format.h>

#include <atomic>
#include <chrono>
#include <cmath>

namespace {

// The last second the Windows runtime's 64-bit breakdown accepts
// (3000-12-31 23:59:59). Both builds use it, so a time text never differs
// between the native tests and the program.
constexpr std::int64_t kLastBreakableTime_s = 32535215999;
constexpr std::int64_t kSecondsPerDay = 86400;
// Minute 29 second 30 of the hour, where the second half-hour slot begins.
constexpr int kSecondSlotStart_s = 29 * 60 + 30;

constexpr const char* kWeekdayNames[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
constexpr const char* kMonthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

std::int64_t lf_realSystemTime() {
    using namespace std::chrono;
    return duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
}

std::atomic<SystemTimeSource> g_systemTimeSource{&lf_realSystemTime};
std::atomic<bool> g_timeShiftOn{false};
std::atomic<double> g_dataTime{0.0};

const char* lf_weekdayName(int weekday) {
    return weekday >= 1 && weekday <= 7 ? kWeekdayNames[weekday - 1] : "???";
}

const char* lf_monthName(int month) {
    return month >= 1 && month <= 12 ? kMonthNames[month - 1] : "???";
}

// The data time as "now" while the time shift is on. A data time comes from
// the feed: one that is not a number or lies outside what the clock can break
// down is ignored rather than thrown as a narrowing error, which would end the
// run (or kill a reader thread) over one bad time stamp.
std::optional<std::int64_t> lf_shiftedNow() {
    if (!g_timeShiftOn.load()) return std::nullopt;
    const double rounded = std::round(g_dataTime.load());
    if (!std::isfinite(rounded) || rounded < 0.0 || rounded > static_cast<double>(kLastBreakableTime_s))
        return std::nullopt;
    const auto t = static_cast<std::int64_t>(rounded);
    if (t == 0) return std::nullopt;
    return t;
}

// hh:mm:ss cut from the formatted text: 8 characters beginning 13 before the
// end. "Invalid time" is too short to cut and throws std::out_of_range.
std::string lf_timeOfDay(std::int64_t t) {
    const std::string text = gf_formatTime(t);
    return text.substr(text.size() - 13, 8);
}

}  // namespace

std::optional<UtcTime> gf_utcBreakdown(std::int64_t t) {
    if (t < 0 || t > kLastBreakableTime_s) return std::nullopt;
    const std::int64_t days = t / kSecondsPerDay;
    const std::int64_t secondsOfDay = t % kSecondsPerDay;

    // Civil date from a day count (proleptic Gregorian, eras of 400 years
    // starting on 0000-03-01); days is never negative here.
    const std::int64_t z = days + 719468;
    const std::int64_t era = z / 146097;
    const std::int64_t dayOfEra = z - era * 146097;
    const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t monthFromMarch = (5 * dayOfYear + 2) / 153;
    const int day = static_cast<int>(dayOfYear - (153 * monthFromMarch + 2) / 5 + 1);
    const int month = static_cast<int>(monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9);
    const int year = static_cast<int>(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));

    UtcTime u{};
    u.year = year;
    u.month = month;
    u.day = day;
    u.hour = static_cast<int>(secondsOfDay / 3600);
    u.minute = static_cast<int>(secondsOfDay / 60 % 60);
    u.second = static_cast<int>(secondsOfDay % 60);
    // 1970-01-01 was a Thursday (4).
    u.weekday = static_cast<int>((days + 3) % 7) + 1;
    return u;
}

std::int64_t gf_systemTime() { return g_systemTimeSource.load()(); }

void gf_setSystemTimeSource(SystemTimeSource source) {
    g_systemTimeSource.store(source ? source : &lf_realSystemTime);
}

void gf_setTimeShiftOn(bool on) { g_timeShiftOn.store(on); }
bool gf_timeShiftOn() { return g_timeShiftOn.load(); }
void gf_setDataTime(double t) { g_dataTime.store(t); }
double gf_dataTime() { return g_dataTime.load(); }

std::int64_t gf_now() {
    if (const auto shifted = lf_shiftedNow()) return *shifted;
    return gf_systemTime();
}

std::string gf_formatTime(std::int64_t t) {
    const auto u = gf_utcBreakdown(t);
    if (!u) return "Invalid time";
    return fmt::format("{:3} {:3} {:02} {:02}:{:02}:{:02} {:4}", lf_weekdayName(u->weekday), lf_monthName(u->month),
                       u->day, u->hour, u->minute, u->second, u->year);
}

std::string gf_clockText() { return lf_timeOfDay(gf_systemTime()); }

std::string gf_dateText() {
    const std::string text = gf_formatTime(gf_systemTime());
    return fmt::format("{}, {}", text.substr(4, 6), text.substr(20, 4));
}

std::string gf_simTimeText() {
    if (const auto shifted = lf_shiftedNow()) return fmt::format("<<< {}", lf_timeOfDay(*shifted));
    return lf_timeOfDay(gf_systemTime());
}

int gf_halfHourSlot(std::int64_t t) {
    const auto u = gf_utcBreakdown(t);
    if (!u) return -1;
    return 2 * u->hour + (u->minute * 60 + u->second < kSecondSlotStart_s ? 0 : 1);
}

int gf_halfHourSlot() { return gf_halfHourSlot(gf_now()); }

int gf_weekday(std::int64_t t) {
    const auto u = gf_utcBreakdown(t);
    return u ? u->weekday : -1;
}
