#include "app/run_services.h"

#include <utility>

namespace {
RunServices g_runServices;
}  // namespace

RunServices& gf_runServices() { return g_runServices; }

void gf_setRunServices(RunServices services) { g_runServices = std::move(services); }
