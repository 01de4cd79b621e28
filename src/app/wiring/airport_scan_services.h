// The add-on airport scan wired into the run: the airport database, the
// shell and the window as its neighbours.
#pragma once

void lf_wireAirportScan();
