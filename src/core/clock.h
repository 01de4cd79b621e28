// The program's "now" and its time texts.
//
// Two times exist: the system's UTC time and the data time of the received
// traffic, which stands in for "now" while the user shifts the traffic's time
// into the past. The engine's 10 ms tick clock is separate from both.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

// A moment broken down as UTC.
struct UtcTime {
    int year;     // e.g. 2026
    int month;    // 1..12
    int day;      // 1..31
    int hour;     // 0..23
    int minute;   // 0..59
    int second;   // 0..59
    int weekday;  // Monday 1 .. Sunday 7
};

// Breaks t (seconds since 1970) down as UTC. The same arithmetic runs in both
// builds; like the Windows runtime's 64-bit breakdown it accepts 1970-01-01
// 00:00:00 to 3000-12-31 23:59:59 and gives nothing outside.
std::optional<UtcTime> gf_utcBreakdown(std::int64_t t);

// The system's UTC time in seconds since 1970. Tests replace the source so
// that every time text and slot can be checked at a chosen moment.
using SystemTimeSource = std::int64_t (*)();
std::int64_t gf_systemTime();
// nullptr restores the real clock.
void gf_setSystemTimeSource(SystemTimeSource source);

// The time-shift-on flag: set while the applied time shift is above 0 minutes.
void gf_setTimeShiftOn(bool on);
bool gf_timeShiftOn();
// The data time: the feed time of the traffic in the last live answer, 0 when
// the last answer was empty. Written by the Traffic Reader.
void gf_setDataTime(double t);
double gf_dataTime();

// Now in seconds since 1970: the data time, rounded, while the time shift is
// on and a data time is known; the system time otherwise.
std::int64_t gf_now();

// "Sun Dec 06 12:44:42 2026", or "Invalid time" when t cannot be broken down.
std::string gf_formatTime(std::int64_t t);
// hh:mm:ss of the system time (never shifted).
std::string gf_clockText();
// "Dec 06, 2026" of the system time.
std::string gf_dateText();
// "<<< hh:mm:ss" of the data time while the time shift is on, else the
// hh:mm:ss of the system time.
std::string gf_simTimeText();

// Half-hour slot of the UTC day, 0..47: 2 x hour, plus 1 from minute 29
// second 30 of the hour on. -1 when t cannot be broken down.
int gf_halfHourSlot(std::int64_t t);
// The slot of gf_now.
int gf_halfHourSlot();
// Weekday of t, Monday 1 .. Sunday 7; -1 when t cannot be broken down.
int gf_weekday(std::int64_t t);
