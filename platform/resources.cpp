#include "platform/resources.h"

std::uint32_t IconImage::Pixel(int x, int y) const {
    const char letter = rows[y][x];
    for (const auto& [key, colour] : palette) {
        if (key == letter) return colour;
    }
    return 0;
}
