// The run control's answers to the window's three messages.
#pragma once

// WM_APP+1: starts the next run on a new worker thread; false when the user
// has closed the window meanwhile (the program ends instead).
bool lf_onStartRun();
// WM_APP+2: saves the window position, logs the time; the exit code.
int lf_onEndProgram(int left, int top);
// WM_CLOSE: "Close window button clicked, closing GLIM_P3D ..." and USER
// CLOSED SIM; remembered for the rest of the process.
void lf_onUserClose();
// initInstance: the position kept in parameters.xml.
void lf_initialWindowPosition(int& x, int& y);
