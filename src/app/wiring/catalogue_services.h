// The aircraft catalogue wired into the run: the Dbase read at start-up, the
// livery catalogue, the match reports, and the catalogue answers the
// simulator link needs.
#pragma once

#include "app/run_services.h"

void lf_wireCatalogue(RunServices& services);
