// The run's livery scan wired to the catalogue's scan.
#include "app/wiring/catalogue_services.h"

#include "catalogue/livery_scan.h"

void RealRunCatalogue::scanLiveries() { gf_scanLiveries(); }
