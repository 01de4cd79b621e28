// Ids of the main window's child controls, shared by the window and by the
// run, which enables and disables some of them.
#pragma once

constexpr int kIdCsOid = 32830;
constexpr int kIdReRead = 32838;
