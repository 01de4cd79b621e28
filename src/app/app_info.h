// The program's name as the log, the window and the messages show it.
#pragma once

inline constexpr const char* kAppName = "GLIM_P3D";
inline constexpr const char* kSimName = "Prepar3D v5/v6";
