#include "app/application.h"

std::atomic<bool> g_productionMode{false};
