#include "ui/text_metrics.h"

#include <algorithm>
#include <array>

namespace {

// Advances of the characters 32 to 126.
constexpr std::array<int, 95> kAdvances{
    4, 5, 6, 10, 7, 11, 9, 4, 5, 5, 6, 10, 4, 4, 4, 4, 7, 7, 7,
    7, 7, 7, 7, 7, 7, 7, 4, 4, 10, 10, 10, 6, 11, 8, 8, 8, 9, 7,
    7, 9, 9, 4, 4, 8, 7, 10, 9, 9, 7, 9, 8, 7, 7, 9, 8, 11, 8,
    7, 8, 5, 4, 5, 10, 6, 6, 7, 7, 7, 7, 7, 4, 7, 7, 4, 4, 7,
    4, 11, 7, 7, 7, 7, 5, 6, 5, 7, 7, 9, 7, 7, 6, 7, 4, 7, 10};

}  // namespace

int gf_modelTextWidth(std::string_view utf8) {
    static const int widest = *std::max_element(kAdvances.begin(), kAdvances.end());
    int width = 0;
    for (const char ch : utf8) {
        const auto c = static_cast<unsigned char>(ch);
        if (c >= 32 && c <= 126) {
            width += kAdvances[c - 32];
        } else if ((c & 0xC0) != 0x80) {
            // The first byte of a character outside ASCII (or a control).
            width += widest;
        }
    }
    return width;
}
