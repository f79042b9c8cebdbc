#pragma once
#include <string>

// Writes 8-bit grey (1 byte per pixel) or BGR (3 bytes per pixel) rows as a
// PNG file. Throws std::runtime_error on failure.
void WritePng(const std::string& path, const unsigned char* pixels, int width, int height, int bytesPerPixel);
