// The real registry reader of the Windows build, for a given root key.
#pragma once

#include "core/registry.h"

#include <memory>

// A reader whose "machine" keys lie below root (HKEY_LOCAL_MACHINE for the
// program; tests root it elsewhere so they never touch the simulator's keys).
std::unique_ptr<RegistryReader> gf_makeWin32RegistryReader(RegHandle root);
