// How a run ends: the first reason set wins and decides restart or quit.
#pragma once

#include <string_view>

enum class ExitReason : int {
    notYetSet = 0,
    simWasClosed = 1,
    newFlight = 2,
    newSettings = 3,
    userClosedSim = 4,
    simconnectError = 5,
    readerError = 6,
    systemError = 7,
    newVersion = 8,
};

// "NOT YET SET", "SIM WAS CLOSED", ... as the log and the status line show them.
std::string_view gf_exitReasonText(ExitReason reason);

// Any thread. The first reason of a run wins; USER CLOSED SIM also marks the
// user's close, which is never turned into a restart.
void gf_setExitReason(ExitReason reason, int delaySeconds);

// A reason stored over whatever was stored before (the worker's handlers of
// user errors and of unknown exceptions); the delay stays as it was.
void gf_forceExitReason(ExitReason reason);

// Replaces a stored reason `from` by `to` with its delay in one step; false
// when another reason (or none) is stored. For a run that ended on an error
// the user has since fixed: the stored error turns into a restart.
bool gf_replaceExitReason(ExitReason from, ExitReason to, int delaySeconds);

ExitReason gf_exitReason();
int gf_exitDelaySeconds();

// "The {} has stopped with an error"; READER ERROR (15 s) when restart is
// true, else SYSTEM ERROR (0 s), when first.
void gf_stopWithError(std::string_view name, bool restart);

// The simulator went away: SIM WAS CLOSED when first.
void gf_simDisconnected();

// Between runs: no reason stored, both stop flags clear.
void gf_resetExitReason();
