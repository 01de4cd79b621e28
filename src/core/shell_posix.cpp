#include "core/shell.h"

// The native build has no file browser to hand a folder to.
bool lf_systemOpenFolder(const std::filesystem::path&) { return false; }
