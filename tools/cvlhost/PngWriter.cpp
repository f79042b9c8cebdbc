#include "tools/cvlhost/PngWriter.h"

#include <png.h>

#include <cstdio>
#include <memory>
#include <stdexcept>

void WritePng(const std::string& path, const unsigned char* pixels, int width, int height, int bytesPerPixel) {
  std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "wb"), std::fclose);
  if (!file) throw std::runtime_error("cannot create " + path);
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    throw std::runtime_error("cannot start PNG encoding of " + path);
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    throw std::runtime_error("PNG encoding of " + path + " failed");
  }
  png_init_io(png, file.get());
  const bool color = bytesPerPixel == 3;
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
               color ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_set_compression_level(png, 1);  // frames are written while grabbing: favour speed
  png_write_info(png, info);
  if (color) png_set_bgr(png);
  const size_t rowBytes = static_cast<size_t>(width) * bytesPerPixel;
  for (int row = 0; row < height; ++row) png_write_row(png, pixels + row * rowBytes);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
}
