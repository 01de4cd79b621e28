#include "app/wiring/update_services.h"

#include "ui/self_update.h"

void lf_wireUpdates(RunServices& services) { services.checkForUpdates = [] { return gf_checkForUpdates(); }; }
