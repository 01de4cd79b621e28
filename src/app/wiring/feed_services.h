// The live feed wired into the program: its environment reaches the
// settings, the run control and the window, the Traffic engine, the
// catalogue's Dbase, the simulator link's user aircraft and the airports.
#pragma once

// Installs the feed's environment; it stays for the rest of the process.
void lf_wireFeed();
