// The add-on airport scan wired into the run: the airport database, the
// shell and the window as its neighbours.
#pragma once

// The whole scan with the program's lookups and window (worker thread).
void lf_scanAddonAirports();
