// Fuzz target: the image buffer's row-by-row conversion. A frame of any pixel
// format, width, height, row padding and Bayer tile, its bytes taken from the
// input, is lent into an image buffer as a backend lends its stream buffer;
// every row the host would pull is checked against the whole-frame
// conversion of the same frame (Image::Convert into the buffer's row format).
// Where the frame cannot be converted, or does not reach a row or a column of
// the buffer, the buffer keeps what it held: a known picture, read before.
// One thread, no driver around the buffer: an input's outcome is its own.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <vector>

#include "camera/ImageBuffer.h"
#include "sdk/FlyCapture2.h"
#include "tests/fuzz/FuzzSupport.h"

using FlyCapture2::PixelFormat;

namespace {

// What cameras deliver, and formats the buffer must refuse.
constexpr PixelFormat kFormats[] = {
    FlyCapture2::PIXEL_FORMAT_MONO8,   FlyCapture2::PIXEL_FORMAT_MONO12,   FlyCapture2::PIXEL_FORMAT_MONO16,
    FlyCapture2::PIXEL_FORMAT_RAW8,    FlyCapture2::PIXEL_FORMAT_RAW16,    FlyCapture2::PIXEL_FORMAT_RGB8,
    FlyCapture2::PIXEL_FORMAT_BGR,     FlyCapture2::PIXEL_FORMAT_444YUV8,  FlyCapture2::PIXEL_FORMAT_422YUV8,
    FlyCapture2::PIXEL_FORMAT_411YUV8, FlyCapture2::PIXEL_FORMAT_S_MONO16, FlyCapture2::PIXEL_FORMAT_RGB16,
    FlyCapture2::PIXEL_FORMAT_BGRU,    FlyCapture2::PIXEL_FORMAT_RGBU,     FlyCapture2::PIXEL_FORMAT_RAW12,
};

// Bytes of one packed row of `cols` pixels as the camera lays it out.
size_t PackedRowBytes(PixelFormat format, size_t cols) {
  switch (format) {
    case FlyCapture2::PIXEL_FORMAT_MONO12:
    case FlyCapture2::PIXEL_FORMAT_RAW12: return (3 * cols + 1) / 2;    // two pixels in three bytes
    case FlyCapture2::PIXEL_FORMAT_422YUV8: return (cols + 1) / 2 * 4;  // U Y V Y per two pixels
    case FlyCapture2::PIXEL_FORMAT_411YUV8: return (cols + 3) / 4 * 6;  // U Y Y V Y Y per four pixels
    default: {
      FlyCapture2::Image probe;
      probe.SetDimensions(0, 0, 0, format);
      return cols * probe.GetBitsPerPixel() / 8;
    }
  }
}

[[noreturn]] void Fail(const char* what, PixelFormat format, unsigned cols, unsigned rows, unsigned stride, int row,
                       size_t byte) {
  std::fprintf(stderr, "row_convert_fuzz: %s: format 0x%08X, %u x %u, stride %u, row %d, byte %zu\n", what,
               static_cast<unsigned>(format), cols, rows, stride, row, byte);
  __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool quiet = [] { return setenv("VORQUELL_DEBUG_OUTPUT", "none", 1) == 0; }();
  (void)quiet;

  const uint8_t formatPick = vqfuzz::Take<uint8_t>(data, size);
  const uint8_t shape = vqfuzz::Take<uint8_t>(data, size);
  const uint8_t colsPick = vqfuzz::Take<uint8_t>(data, size);
  const uint8_t rowsPick = vqfuzz::Take<uint8_t>(data, size);
  const uint8_t paddingPick = vqfuzz::Take<uint8_t>(data, size);
  const uint8_t bufferPick = vqfuzz::Take<uint8_t>(data, size);
  const uint8_t firstRead = vqfuzz::Take<uint8_t>(data, size);

  // Now and then a pixel format from the input itself, else one of the list.
  PixelFormat format = kFormats[formatPick % std::size(kFormats)];
  if (formatPick >= 0xF0) format = static_cast<PixelFormat>(vqfuzz::Take<uint32_t>(data, size));
  const bool color = shape & 1;
  const auto tile = static_cast<FlyCapture2::BayerTileFormat>((shape >> 1) % 6);  // 5: not a tile
  const unsigned cols = 1 + colsPick % 96;
  const unsigned rows = 1 + rowsPick % 24;
  // Padding after each row; with the top bit, a stride short of a row.
  const size_t packed = PackedRowBytes(format, cols);
  const size_t shortBy = paddingPick & 7;
  const size_t strideBytes =
      (paddingPick & 0x80) ? (packed > shortBy ? packed - shortBy : 0) : packed + paddingPick % 48;
  const auto stride = static_cast<unsigned>(strideBytes);
  // The buffer is the frame's size, or up to two pixels and rows more or less.
  const auto bufferCols = static_cast<uint32_t>(cols + bufferPick % 5 > 2 ? cols + bufferPick % 5 - 2 : 1);
  const int32_t bufferRows =
      static_cast<int32_t>(rows + (bufferPick / 5) % 5 > 2 ? rows + (bufferPick / 5) % 5 - 2 : 1);

  // The camera's bytes: the rest of the input, over and over. An allocation
  // of exactly the frame, so that a read past it is caught.
  const size_t frameBytes = static_cast<size_t>(rows) * stride;
  std::shared_ptr<unsigned char[]> pixels(new unsigned char[frameBytes ? frameBytes : 1]);
  for (size_t i = 0; i < frameBytes; ++i) pixels[i] = size ? data[i % size] : static_cast<unsigned char>(i * 37);
  std::weak_ptr<unsigned char[]> lent = pixels;

  // The whole-frame conversion the rows must match.
  FlyCapture2::Image reference;
  reference.Borrow(rows, cols, stride, format, tile, pixels.get(), pixels);
  std::vector<std::vector<unsigned char>> background;
  {
    vq::RowReaders readers;
    vq::ImageBuffer buffer(color, bufferCols, bufferRows, readers);
    std::vector<unsigned char> row;
    // Row r as the host gets it; null for a row outside the buffer.
    auto readLine = [&](int32_t r) -> const unsigned char* {
      row.assign(buffer.RowSize(), 0);
      std::unique_ptr<FlyCapture2::Error> failure;
      return buffer.CopyLine(r, row.data(), row.size(), &failure) ? row.data() : nullptr;
    };
    const size_t rowSize = buffer.RowSize();
    const size_t pixelSize = color ? 3 : 1;
    if (rowSize != bufferCols * pixelSize) Fail("row size", format, cols, rows, stride, -1, rowSize);
    const PixelFormat rowFormat = buffer.RowFormat();
    if (rowFormat != (color ? FlyCapture2::PIXEL_FORMAT_BGR : FlyCapture2::PIXEL_FORMAT_MONO8))
      Fail("row format", format, cols, rows, stride, -1, 0);

    FlyCapture2::Image whole;
    const bool converts = reference.Convert(rowFormat, &whole) == FlyCapture2::PGRERROR_OK;
    if (converts && (whole.GetRows() != rows || whole.GetCols() != cols || whole.GetStride() != cols * pixelSize))
      Fail("whole-frame conversion has another shape", format, cols, rows, stride, -1, whole.GetStride());

    // First a known picture, in the buffer's own format, read row by row.
    FlyCapture2::Image known(static_cast<unsigned>(bufferRows), bufferCols, static_cast<unsigned>(rowSize), rowFormat);
    for (int32_t r = 0; r < bufferRows; ++r) {
      background.emplace_back(rowSize);
      for (size_t i = 0; i < rowSize; ++i)
        background.back()[i] = known.GetData()[r * rowSize + i] = static_cast<unsigned char>(r * 131 + i * 7 + 0x5A);
    }
    buffer.TakeFrame(known);
    if (known.GetData()) Fail("a new buffer handed back a frame", format, cols, rows, stride, -1, 0);
    for (int32_t r = 0; r < bufferRows; ++r) {
      const unsigned char* line = readLine(r);
      if (!line) Fail("no row of the known picture", format, cols, rows, stride, r, 0);
      for (size_t i = 0; i < rowSize; ++i)
        if (line[i] != background[r][i]) Fail("the known picture is not copied", format, cols, rows, stride, r, i);
    }

    // Then the camera's frame, lent as a backend lends its buffer.
    FlyCapture2::Image frame;
    frame.Borrow(rows, cols, stride, format, tile, pixels.get(), pixels);
    buffer.TakeFrame(frame);
    if (frame.Borrows() || frame.GetRows() != static_cast<unsigned>(bufferRows) || frame.GetCols() != bufferCols)
      Fail("the known picture is not handed back", format, cols, rows, stride, -1, 0);
    pixels.reset();  // the buffer and the reference hold the lease now

    // Every row, from a row the input picks and round; then again once the
    // buffer has let go of the frame, which leaves its pixels.
    const size_t converted = (cols < bufferCols ? cols : bufferCols) * pixelSize;
    for (int pass = 0; pass < 2; ++pass) {
      if (pass == 1) buffer.DropFrame();
      for (int32_t n = 0; n < bufferRows; ++n) {
        const int32_t r = (firstRead + n) % bufferRows;
        const unsigned char* line = readLine(r);
        if (!line) Fail("a row of the buffer is not read", format, cols, rows, stride, r, 0);
        const bool fromFrame = converts && static_cast<unsigned>(r) < rows;
        for (size_t i = 0; i < rowSize; ++i) {
          const unsigned char expected = fromFrame && i < converted
                                             ? whole.GetData()[static_cast<size_t>(r) * whole.GetStride() + i]
                                             : background[r][i];
          if (line[i] != expected)
            Fail(fromFrame && i < converted ? "a row differs from the whole-frame conversion"
                                            : "a row the frame does not reach has changed",
                 format, cols, rows, stride, r, i);
        }
      }
    }
    if (readLine(-1) || readLine(bufferRows))
      Fail("a row outside the buffer is read", format, cols, rows, stride, -1, 0);
    reference.ReturnBorrowed();
    if (!lent.expired()) Fail("the frame let go is still lent", format, cols, rows, stride, -1, 0);
  }
  // Buffer gone: the camera's buffer must have been given back.
  if (!lent.expired()) Fail("the lent frame is kept after the buffer is gone", format, cols, rows, stride, -1, 0);
  return 0;
}
