// The native build has no registry: every key is missing, so no Prepar3D
// version counts as installed.
#include "core/registry.h"

namespace {

class NoRegistryReader final : public RegistryReader {
public:
    long openMachineKey(std::wstring_view, RegHandle&) override { return kRegFileNotFound; }
    void closeKey(RegHandle) override {}
    long queryValue(RegHandle, std::wstring_view, std::uint32_t&, unsigned char*, std::uint32_t&) override {
        return kRegFileNotFound;
    }
};

}  // namespace

RegistryReader& gf_systemRegistryReader() {
    static NoRegistryReader reader;
    return reader;
}
