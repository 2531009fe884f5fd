// PNG files for tests: an image of a given size, encoded with libpng.
#pragma once

#include <png.h>

#include <string>
#include <vector>

inline std::string PngBytes(unsigned cx, unsigned cy) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = cx;
    image.height = cy;
    image.format = PNG_FORMAT_RGBA;
    std::vector<unsigned char> pixels(PNG_IMAGE_SIZE(image), 0x80);
    png_alloc_size_t size = 0;
    if (!png_image_write_to_memory(&image, nullptr, &size, 0, pixels.data(), 0, nullptr)) return {};
    std::string bytes(size, '\0');
    if (!png_image_write_to_memory(&image, &bytes[0], &size, 0, pixels.data(), 0, nullptr)) return {};
    bytes.resize(size);
    return bytes;
}
