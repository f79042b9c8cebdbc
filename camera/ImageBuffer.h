#pragma once
// The last received frame of an open camera: `height` rows of `width` pixels,
// 3 bytes each (BGR) for a colour camera, 1 byte for a monochrome one, one row
// after the other. The host pulls it row by row.
#include <cstdint>
#include <memory>

namespace vq {

class ImageBuffer {
 public:
  // Throws TextException("Err") for a size of 0 or less or when the block
  // cannot be allocated.
  ImageBuffer(bool color, uint32_t width, int32_t height);

  void Allocate(int32_t size);
  void Release();
  // Address of row r, or null (logged) for a row outside the buffer.
  unsigned char* GetLine(int32_t r) const;
  // Copies n bytes into row r; the caller keeps n within the row.
  void CopyNewLine(int32_t r, const unsigned char* src, size_t n);
  // Copies `rows` whole rows from 0 on, packed one after the other in src, in
  // one block: the same as a CopyNewLine per row, without a copy per row.
  void CopyNewLines(int32_t rows, const unsigned char* src);

  uint32_t Width() const { return _width; }
  int32_t Height() const { return _height; }
  bool Color() const { return _color; }
  size_t RowSize() const { return static_cast<size_t>(_width) * (_color ? 3 : 1); }
  int32_t AllocatedSize() const { return _allocatedSize; }

 private:
  int32_t _allocatedSize = 0;
  uint32_t _width;
  int32_t _height;
  bool _color;
  std::unique_ptr<unsigned char[]> _data;
};

}  // namespace vq
