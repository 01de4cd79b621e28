// Environment variables set from tests, benchmarks and the engine's test
// folder, read back the way both builds' code reads them: an empty value
// removes the variable, as it does on Windows.
#pragma once

#include <cstdlib>
#include <string>

inline void setTestEnv(const char* name, const std::string& value) {
#ifdef _WIN32
    _putenv_s(name, value.c_str());
#else
    if (value.empty()) {
        unsetenv(name);
    } else {
        setenv(name, value.c_str(), 1);
    }
#endif
}
