// The run's livery scan wired to the catalogue's scan.
#pragma once

struct RunServices;

void lf_wireLiveryScan(RunServices& services);
