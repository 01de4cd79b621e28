// What the window's controls do: the push buttons, the check boxes, the
// combos and Enter in the three edit fields. Main thread only. The Win32
// window reads the control (the box's new state, the combo's choice, the
// edit's text) and hands it over here; whatever the worker must do on the
// engine's aircraft lists becomes a request flag (window_requests.h).
#pragma once

#include "ui/window_command.h"

#include <string>

// True when a handler took the command. An exception is logged
// ("lf_HandleWMCOMMAND exception ..."), the controls band repainted, and the
// command counts as not handled.
bool lf_HandleWMCOMMAND(const WindowCommand& command);
bool lf_onButton(int id);
bool lf_onCheckBox(int id, bool newValue);
bool lf_onComboBox(int id, int index, const std::string& text);

// Enter in an edit field: the field's id and its text (UTF-8).
void lf_onEditEnter(int id, const std::string& text);
void lf_onInstallPathEnter(const std::string& text);
void lf_onBlockCallsignEnter(const std::string& text);
void lf_onDestinationEnter(const std::string& text);
void lf_unblockCallsign();
void lf_setBlockCallsign(const std::string& text);
// 0 emptied, 1 not valid, 2 already set, 3 unknown.
void lf_reportDestinationResult(int result, const std::string& text);
