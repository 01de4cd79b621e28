// Prints what the program's own simulator look-ups find in the registry of
// the Wine prefix it runs in, one line a version, such as
// "v6 installed=1 setup=D:\Sims\Prepar3D v6". registry.sh writes the keys
// and compares these lines.
#include "core/registry.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

std::string lf_utf8(const std::wstring& text) {
    if (text.empty()) return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    if (n > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

}  // namespace

int main() {
    // Plain newlines: the script compares the lines as they come.
    _setmode(_fileno(stdout), _O_BINARY);
    for (int version : {5, 6}) {
        const bool installed = gf_p3dInstalled(version);
        const std::string setupPath = lf_utf8(gf_p3dSetupPath(version));
        std::printf("v%d installed=%d setup=%s\n", version, installed ? 1 : 0, setupPath.c_str());
    }
    return 0;
}
