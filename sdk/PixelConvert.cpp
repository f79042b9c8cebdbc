#include "sdk/PixelConvert.h"

#include <algorithm>
#include <cstring>
#include <vector>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace FlyCapture2::detail {

namespace {

// ---- BT.601 studio-range YUV in 16-bit fixed point -------------------------

constexpr int kLuma = 76284;        // 1.164
constexpr int kRedFromV = 104596;   // 1.596
constexpr int kGreenFromU = 25690;  // 0.392
constexpr int kGreenFromV = 53281;  // 0.813
constexpr int kBlueFromU = 132186;  // 2.017
constexpr int kHalf = 1 << 15;

// The chroma share of each output channel, rounding included.
struct Chroma {
  int red;
  int green;
  int blue;
};

inline Chroma ChromaOf(int u, int v) {
  u -= 128;
  v -= 128;
  return {kRedFromV * v + kHalf, -kGreenFromU * u - kGreenFromV * v + kHalf, kBlueFromU * u + kHalf};
}

// Saturation by table lookup: random-looking pixel data would make a
// compare-and-branch clamp mispredict all the time. The sums of StoreYuv stay
// within -280 .. 540 after the shift.
struct SaturationTable {
  static constexpr int kOffset = 384;
  uint8_t value[1024];
  constexpr SaturationTable() : value() {
    for (int i = 0; i < 1024; ++i) value[i] = static_cast<uint8_t>(std::clamp(i - kOffset, 0, 255));
  }
};
constexpr SaturationTable kSaturation;

inline uint8_t ClampFixed(int value) { return kSaturation.value[(value >> 16) + SaturationTable::kOffset]; }

inline void StoreYuv(int y, const Chroma& chroma, uint8_t* bgr) {
  const int luma = kLuma * (y - 16);
  bgr[0] = ClampFixed(luma + chroma.blue);
  bgr[1] = ClampFixed(luma + chroma.green);
  bgr[2] = ClampFixed(luma + chroma.red);
}

template <typename RowKernel>
void ForEachRow(const SourceView& source, const TargetView& target, RowKernel kernel) {
  for (size_t row = 0; row < source.rows; ++row)
    kernel(source.data + row * source.stride, target.data + row * target.stride, source.cols);
}

// Colour channels numbered by their byte offset in a BGR pixel.
enum Channel { kBlue = 0, kGreen = 1, kRed = 2 };

// ---- sixteen pixels at a time ------------------------------------------------
// Where the processor has SSSE3 (chosen at run time), kernels that write BGR
// work on sixteen pixels per step and interleave their colour planes with
// byte shuffles; the rest of a row goes pixel by pixel.
#if defined(__x86_64__)
#define VQ_SIXTEEN_AT_A_TIME 1

bool HaveSsse3() {
  static const bool have = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("ssse3") != 0;
  }();
  return have;
}

__m128i LoadBytes(const uint8_t* at) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at)); }
void StoreBytes(uint8_t* at, __m128i bytes) { _mm_storeu_si128(reinterpret_cast<__m128i*>(at), bytes); }

// (a + b + c + d + 2) >> 2 for each byte, from the rounded-up means of the
// two pairs: their mean, rounded up again, is one too high where a pair's sum
// was odd and the two means' sum is odd.
__m128i RoundedMeanOf4(__m128i a, __m128i b, __m128i c, __m128i d) {
  const __m128i ab = _mm_avg_epu8(a, b), cd = _mm_avg_epu8(c, d);
  const __m128i oddPair = _mm_or_si128(_mm_xor_si128(a, b), _mm_xor_si128(c, d));
  const __m128i tooHigh = _mm_and_si128(_mm_and_si128(_mm_xor_si128(ab, cd), oddPair), _mm_set1_epi8(1));
  return _mm_sub_epi8(_mm_avg_epu8(ab, cd), tooHigh);
}

// `a` where `mask` is set, `b` elsewhere.
__m128i Select(__m128i mask, __m128i a, __m128i b) {
  return _mm_or_si128(_mm_and_si128(mask, a), _mm_andnot_si128(mask, b));
}

// Shuffle controls that spread sixteen bytes over sixteen BGR pixels, 48
// bytes in three parts: at[channel][part] puts each byte into its pixel's
// `channel` within output bytes 16 × part to 16 × part + 15; grey[part] puts
// it into all three.
struct SpreadControls {
  alignas(16) int8_t at[3][3][16];
  alignas(16) int8_t grey[3][16];
  constexpr SpreadControls() : at(), grey() {
    for (int part = 0; part < 3; ++part)
      for (int k = 0; k < 16; ++k) {
        const int byte = 16 * part + k;
        for (int channel = 0; channel < 3; ++channel)
          at[channel][part][k] = static_cast<int8_t>(byte % 3 == channel ? byte / 3 : -1);
        grey[part][k] = static_cast<int8_t>(byte / 3);
      }
  }
};
constexpr SpreadControls kSpread;

__attribute__((target("ssse3"))) __m128i Shuffle(__m128i bytes, const int8_t (&control)[16]) {
  return _mm_shuffle_epi8(bytes, _mm_load_si128(reinterpret_cast<const __m128i*>(control)));
}

// Part `part` of sixteen BGR pixels from three colour planes.
__attribute__((target("ssse3"))) void StoreBgrPart(uint8_t* out, int part, __m128i blue, __m128i green, __m128i red) {
  StoreBytes(out + 16 * part, _mm_or_si128(_mm_or_si128(Shuffle(blue, kSpread.at[kBlue][part]),
                                                        Shuffle(green, kSpread.at[kGreen][part])),
                                           Shuffle(red, kSpread.at[kRed][part])));
}

// Sixteen BGR pixels from three colour planes. The three parts are written
// out: compilers keep a loop over them, which cost a sixth of the Bayer
// kernel's time.
__attribute__((target("ssse3"))) void StoreBgr(uint8_t* out, __m128i blue, __m128i green, __m128i red) {
  StoreBgrPart(out, 0, blue, green, red);
  StoreBgrPart(out, 1, blue, green, red);
  StoreBgrPart(out, 2, blue, green, red);
}

// Grey to BGR as far as whole blocks of sixteen reach; returns the first
// pixel left.
__attribute__((target("ssse3"))) size_t GreyToBgrBlocks(const uint8_t* in, uint8_t* out, size_t cols) {
  size_t x = 0;
  for (; x + 16 <= cols; x += 16) {
    const __m128i grey = LoadBytes(in + x);
    StoreBytes(out + 3 * x, Shuffle(grey, kSpread.grey[0]));
    StoreBytes(out + 3 * x + 16, Shuffle(grey, kSpread.grey[1]));
    StoreBytes(out + 3 * x + 32, Shuffle(grey, kSpread.grey[2]));
  }
  return x;
}

// ---- thirty-two pixels at a time ------------------------------------------
// Where the processor has AVX2, the Bayer interior goes thirty-two pixels per
// step. AVX2's byte shuffles stay within each 128-bit half of a register, so
// each half is one block of sixteen worked as above, and the two blocks' BGR
// bytes are put in order when they are stored. The helpers are inlined into
// the kernel, which clears the registers' upper halves before it returns:
// left set, they slow down every SSE instruction run after it on the core
// (the measured Aravis frame rate fell by a fifth).
bool HaveAvx2() {
  static const bool have = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
  }();
  return have;
}

__attribute__((target("avx2"), always_inline)) inline __m256i LoadBytes32(const uint8_t* at) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
}

__attribute__((target("avx2"), always_inline)) inline __m256i RoundedMeanOf4(__m256i a, __m256i b, __m256i c,
                                                                             __m256i d) {
  const __m256i ab = _mm256_avg_epu8(a, b), cd = _mm256_avg_epu8(c, d);
  const __m256i oddPair = _mm256_or_si256(_mm256_xor_si256(a, b), _mm256_xor_si256(c, d));
  const __m256i tooHigh = _mm256_and_si256(_mm256_and_si256(_mm256_xor_si256(ab, cd), oddPair), _mm256_set1_epi8(1));
  return _mm256_sub_epi8(_mm256_avg_epu8(ab, cd), tooHigh);
}

__attribute__((target("avx2"), always_inline)) inline __m256i Select(__m256i mask, __m256i a, __m256i b) {
  return _mm256_blendv_epi8(b, a, mask);
}

__attribute__((target("avx2"), always_inline)) inline __m256i Shuffle(__m256i bytes, const int8_t (&control)[16]) {
  return _mm256_shuffle_epi8(bytes,
                             _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(control))));
}

__attribute__((target("avx2"), always_inline)) inline __m256i BgrPart(int part, __m256i blue, __m256i green,
                                                                      __m256i red) {
  return _mm256_or_si256(
      _mm256_or_si256(Shuffle(blue, kSpread.at[kBlue][part]), Shuffle(green, kSpread.at[kGreen][part])),
      Shuffle(red, kSpread.at[kRed][part]));
}

// Thirty-two BGR pixels: the low halves of the three parts are the first
// sixteen pixels' 48 bytes, the high halves the next sixteen's.
__attribute__((target("avx2"), always_inline)) inline void StoreBgr(uint8_t* out, __m256i blue, __m256i green,
                                                                    __m256i red) {
  const __m256i part0 = BgrPart(0, blue, green, red), part1 = BgrPart(1, blue, green, red),
                part2 = BgrPart(2, blue, green, red);
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), _mm256_permute2x128_si256(part0, part1, 0x20));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 32), _mm256_permute2x128_si256(part2, part0, 0x30));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 64), _mm256_permute2x128_si256(part1, part2, 0x31));
}
#endif

// ---- Bayer -------------------------------------------------------------

// The colour of each position of the 2 × 2 tile, row-major.
struct Tile {
  Channel at[4];
  Channel At(size_t y, size_t x) const { return at[(y & 1) * 2 + (x & 1)]; }
};

// The tile as seen from the next row down.
BayerTileFormat RowShifted(BayerTileFormat format) {
  switch (format) {
    case RGGB: return GBRG;
    case GBRG: return RGGB;
    case GRBG: return BGGR;
    case BGGR: return GRBG;
    default: return format;
  }
}

Tile TileOf(BayerTileFormat format) {
  switch (format) {
    case GRBG: return {{kGreen, kRed, kBlue, kGreen}};
    case GBRG: return {{kGreen, kBlue, kRed, kGreen}};
    case BGGR: return {{kBlue, kGreen, kGreen, kRed}};
    case RGGB:
    default: return {{kRed, kGreen, kGreen, kBlue}};
  }
}

// The general rule, with the neighbourhood clipped to the image: used on the
// border and for images too small for the interior loops.
void DemosaicPixel(const SourceView& source, const Tile& tile, size_t y, size_t x, uint8_t* bgr) {
  unsigned sum[3] = {0, 0, 0};
  unsigned count[3] = {0, 0, 0};
  const size_t yEnd = std::min(y + 1, source.rows - 1);
  const size_t xEnd = std::min(x + 1, source.cols - 1);
  for (size_t yy = (y > 0 ? y - 1 : 0); yy <= yEnd; ++yy) {
    const uint8_t* row = source.data + yy * source.stride;
    for (size_t xx = (x > 0 ? x - 1 : 0); xx <= xEnd; ++xx) {
      const Channel channel = tile.At(yy, xx);
      sum[channel] += row[xx];
      ++count[channel];
    }
  }
  for (int channel = 0; channel < 3; ++channel)
    bgr[channel] = count[channel] ? static_cast<uint8_t>((sum[channel] + count[channel] / 2) / count[channel]) : 0;
  const Channel own = tile.At(y, x);
  bgr[own] = source.data[y * source.stride + x];
}

// ---- the interior, sixteen or thirty-two pixels at a time ------------------
// The rule below on whole registers: every candidate value of a block of pixels
// is computed and each pixel takes those of its own place in the tile. The
// results are the scalar rule's, bit for bit.
#ifdef VQ_SIXTEEN_AT_A_TIME
// Columns x to cols - 2 of one row (see DemosaicInteriorRow) in blocks of
// sixteen, as far as whole blocks reach; returns the first column left. `x` is
// odd: with green at the even columns, red or blue pixels are the even lanes
// of a block.
template <Channel kRowColour, bool kGreenFirst>
__attribute__((target("ssse3"))) size_t DemosaicInteriorBlocks(const uint8_t* up, const uint8_t* mid,
                                                               const uint8_t* down, uint8_t* out, size_t x,
                                                               size_t cols) {
  const __m128i ownColourLanes = _mm_set1_epi16(kGreenFirst ? 0x00FF : static_cast<int16_t>(0xFF00));
  for (; x + 17 <= cols; x += 16) {
    const __m128i left = LoadBytes(mid + x - 1), centre = LoadBytes(mid + x), right = LoadBytes(mid + x + 1);
    const __m128i above = LoadBytes(up + x), below = LoadBytes(down + x);
    const __m128i diagonalMean =
        RoundedMeanOf4(LoadBytes(up + x - 1), LoadBytes(up + x + 1), LoadBytes(down + x - 1), LoadBytes(down + x + 1));
    const __m128i rowColour = Select(ownColourLanes, centre, _mm_avg_epu8(left, right));
    const __m128i green = Select(ownColourLanes, RoundedMeanOf4(above, below, left, right), centre);
    const __m128i otherColour = Select(ownColourLanes, diagonalMean, _mm_avg_epu8(above, below));
    if constexpr (kRowColour == kBlue)
      StoreBgr(out + 3 * x, rowColour, green, otherColour);
    else
      StoreBgr(out + 3 * x, otherColour, green, rowColour);
  }
  return x;
}

// The same in blocks of thirty-two, from column 1. Written out again rather
// than shared: each width's code is compiled for its own instruction set, and
// a template over both could not be.
template <Channel kRowColour, bool kGreenFirst>
__attribute__((target("avx2"))) size_t DemosaicInteriorBlocks32(const uint8_t* up, const uint8_t* mid,
                                                                const uint8_t* down, uint8_t* out, size_t cols) {
  const __m256i ownColourLanes = _mm256_set1_epi16(kGreenFirst ? 0x00FF : static_cast<int16_t>(0xFF00));
  size_t x = 1;
  for (; x + 33 <= cols; x += 32) {
    const __m256i left = LoadBytes32(mid + x - 1), centre = LoadBytes32(mid + x), right = LoadBytes32(mid + x + 1);
    const __m256i above = LoadBytes32(up + x), below = LoadBytes32(down + x);
    const __m256i diagonalMean = RoundedMeanOf4(LoadBytes32(up + x - 1), LoadBytes32(up + x + 1),
                                                LoadBytes32(down + x - 1), LoadBytes32(down + x + 1));
    const __m256i rowColour = Select(ownColourLanes, centre, _mm256_avg_epu8(left, right));
    const __m256i green = Select(ownColourLanes, RoundedMeanOf4(above, below, left, right), centre);
    const __m256i otherColour = Select(ownColourLanes, diagonalMean, _mm256_avg_epu8(above, below));
    if constexpr (kRowColour == kBlue)
      StoreBgr(out + 3 * x, rowColour, green, otherColour);
    else
      StoreBgr(out + 3 * x, otherColour, green, rowColour);
  }
  _mm256_zeroupper();
  return x;
}
#endif

// One row away from the border. The row holds green and `kRowColour`
// (red or blue) alternately, green at even columns when kGreenFirst; the rows
// above and below hold green and the third colour.
template <Channel kRowColour, bool kGreenFirst>
void DemosaicInteriorRow(const uint8_t* up, const uint8_t* mid, const uint8_t* down, uint8_t* out, size_t cols) {
  constexpr Channel kOtherColour = kRowColour == kRed ? kBlue : kRed;
  auto green = [&](size_t x) {
    uint8_t* bgr = out + 3 * x;
    bgr[kGreen] = mid[x];
    bgr[kRowColour] = static_cast<uint8_t>((mid[x - 1] + mid[x + 1] + 1) >> 1);
    bgr[kOtherColour] = static_cast<uint8_t>((up[x] + down[x] + 1) >> 1);
  };
  auto nonGreen = [&](size_t x) {
    uint8_t* bgr = out + 3 * x;
    bgr[kRowColour] = mid[x];
    bgr[kGreen] = static_cast<uint8_t>((up[x] + down[x] + mid[x - 1] + mid[x + 1] + 2) >> 2);
    bgr[kOtherColour] = static_cast<uint8_t>((up[x - 1] + up[x + 1] + down[x - 1] + down[x + 1] + 2) >> 2);
  };
  size_t x = 1;
#ifdef VQ_SIXTEEN_AT_A_TIME
  if (HaveAvx2()) x = DemosaicInteriorBlocks32<kRowColour, kGreenFirst>(up, mid, down, out, cols);
  if (HaveSsse3()) x = DemosaicInteriorBlocks<kRowColour, kGreenFirst>(up, mid, down, out, x, cols);
#endif
  for (; x + 2 < cols; x += 2) {
    if constexpr (kGreenFirst) {
      nonGreen(x);
      green(x + 1);
    } else {
      green(x);
      nonGreen(x + 1);
    }
  }
  if (x + 1 < cols) {
    if constexpr (kGreenFirst)
      nonGreen(x);
    else
      green(x);
  }
}

using InteriorRowKernel = void (*)(const uint8_t*, const uint8_t*, const uint8_t*, uint8_t*, size_t);

InteriorRowKernel InteriorKernelFor(Channel evenColumn, Channel oddColumn) {
  if (evenColumn == kGreen)
    return oddColumn == kRed ? DemosaicInteriorRow<kRed, true> : DemosaicInteriorRow<kBlue, true>;
  return evenColumn == kRed ? DemosaicInteriorRow<kRed, false> : DemosaicInteriorRow<kBlue, false>;
}

void DemosaicBorderRow(const SourceView& source, const Tile& tile, size_t y, uint8_t* out) {
  for (size_t x = 0; x < source.cols; ++x) DemosaicPixel(source, tile, y, x, out + 3 * x);
}

// ---- the edges, written out ------------------------------------------------
// The rule where the image's edge cuts the neighbourhood, for each kind of
// place, in images of at least three rows and columns: the first and last
// pixel of a row that has rows above and below, and the first and last row
// but their corners, whose only neighbouring row is `next`. The general loop
// of DemosaicPixel took a fifth of the whole conversion for these few pixels.

inline uint8_t Mean2(unsigned a, unsigned b) { return static_cast<uint8_t>((a + b + 1) >> 1); }
inline uint8_t Mean3(unsigned a, unsigned b, unsigned c) { return static_cast<uint8_t>((a + b + c + 1) / 3); }

// The colour that alternates with green in row y, and the third colour, which
// the rows above and below hold.
struct RowColours {
  Channel own;
  Channel other;
};

RowColours RowColoursOf(const Tile& tile, size_t y) {
  const Channel own = tile.At(y, 0) == kGreen ? tile.At(y, 1) : tile.At(y, 0);
  return {own, own == kRed ? kBlue : kRed};
}

// Column x, the first or the last, of a row between `up` and `down`; `inward`
// is its one neighbouring column.
void DemosaicEdgeColumn(const uint8_t* up, const uint8_t* mid, const uint8_t* down, size_t x, size_t inward, bool green,
                        RowColours colours, uint8_t* bgr) {
  if (green) {
    bgr[kGreen] = mid[x];
    bgr[colours.own] = mid[inward];
    bgr[colours.other] = Mean2(up[x], down[x]);
  } else {
    bgr[colours.own] = mid[x];
    bgr[kGreen] = Mean3(up[x], down[x], mid[inward]);
    bgr[colours.other] = Mean2(up[inward], down[inward]);
  }
}

// The first or the last row.
void DemosaicEdgeRow(const SourceView& source, const Tile& tile, size_t y, uint8_t* out) {
  const uint8_t* mid = source.data + y * source.stride;
  const uint8_t* next = source.data + (y == 0 ? 1 : y - 1) * source.stride;
  const RowColours colours = RowColoursOf(tile, y);
  const size_t last = source.cols - 1;
  DemosaicPixel(source, tile, y, 0, out);
  for (size_t x = 1; x < last; ++x) {
    uint8_t* bgr = out + 3 * x;
    if (tile.At(y, x) == kGreen) {
      bgr[kGreen] = mid[x];
      bgr[colours.own] = Mean2(mid[x - 1], mid[x + 1]);
      bgr[colours.other] = next[x];
    } else {
      bgr[colours.own] = mid[x];
      bgr[kGreen] = Mean3(mid[x - 1], mid[x + 1], next[x]);
      bgr[colours.other] = Mean2(next[x - 1], next[x + 1]);
    }
  }
  DemosaicPixel(source, tile, y, last, out + 3 * last);
}

// ---- samples deeper than 8 bits --------------------------------------------------

// One little-endian sample of `kBits` bits in two bytes; a sample with bits
// set above its depth saturates at 255.
template <unsigned kBits>
void HighBitsOf16(const uint8_t* in, uint8_t* out, size_t cols) {
  static_assert(kBits > 8 && kBits <= 16);
  for (size_t x = 0; x < cols; ++x) {
    const unsigned sample = in[2 * x] | (unsigned{in[2 * x + 1]} << 8);
    out[x] = static_cast<uint8_t>(std::min(sample >> (kBits - 8), 255u));
  }
}

#ifdef VQ_SIXTEEN_AT_A_TIME
// The packed layouts sixteen samples at a time, from two loads of four groups
// of three bytes (two of five bytes for 10-bit LSB packing) gathered with byte
// shuffles. A block is taken while the row holds all the bytes both loads
// read: those past the block belong to samples still to come. Each returns
// the first sample left, a multiple of sixteen.

__attribute__((target("ssse3"))) size_t HighBitsOfPairsBlocks(const uint8_t* in, uint8_t* out, size_t cols) {
  const __m128i firstAndThird = _mm_setr_epi8(0, 2, 3, 5, 6, 8, 9, 11, -1, -1, -1, -1, -1, -1, -1, -1);
  size_t x = 0;
  for (; x + 19 <= cols; x += 16, in += 24)
    StoreBytes(out + x, _mm_unpacklo_epi64(_mm_shuffle_epi8(LoadBytes(in), firstAndThird),
                                           _mm_shuffle_epi8(LoadBytes(in + 12), firstAndThird)));
  return x;
}

// Eight 12-bit samples of four groups: the first of a group is bits 4 to 11
// of its first two bytes, the second its third byte.
__attribute__((target("ssse3"))) __m128i LsbPacked12Eight(__m128i bytes) {
  const __m128i firstTwo = _mm_setr_epi8(0, 1, 3, 4, 6, 7, 9, 10, -1, -1, -1, -1, -1, -1, -1, -1);
  const __m128i thirdHigh = _mm_setr_epi8(-1, 2, -1, 5, -1, 8, -1, 11, -1, -1, -1, -1, -1, -1, -1, -1);
  const __m128i first = _mm_and_si128(_mm_srli_epi16(_mm_shuffle_epi8(bytes, firstTwo), 4), _mm_set1_epi16(0x00FF));
  return _mm_or_si128(first, _mm_shuffle_epi8(bytes, thirdHigh));
}

__attribute__((target("ssse3"))) size_t HighBitsOfLsbPacked12Blocks(const uint8_t* in, uint8_t* out, size_t cols) {
  size_t x = 0;
  for (; x + 19 <= cols; x += 16, in += 24)
    StoreBytes(out + x, _mm_unpacklo_epi64(LsbPacked12Eight(LoadBytes(in)), LsbPacked12Eight(LoadBytes(in + 12))));
  return x;
}

// Eight 10-bit samples of two groups: sample i of a group is its bytes i and
// i + 1 shifted right by 2 (i + 1); the shifts by lane are multiplications
// keeping the high half.
__attribute__((target("ssse3"))) __m128i LsbPacked10Eight(__m128i bytes) {
  const __m128i windows = _mm_setr_epi8(0, 1, 1, 2, 2, 3, 3, 4, 5, 6, 6, 7, 7, 8, 8, 9);
  const __m128i shifts = _mm_setr_epi16(1 << 14, 1 << 12, 1 << 10, 1 << 8, 1 << 14, 1 << 12, 1 << 10, 1 << 8);
  return _mm_and_si128(_mm_mulhi_epu16(_mm_shuffle_epi8(bytes, windows), shifts), _mm_set1_epi16(0x00FF));
}

__attribute__((target("ssse3"))) size_t HighBitsOfLsbPacked10Blocks(const uint8_t* in, uint8_t* out, size_t cols) {
  size_t x = 0;
  for (; x + 21 <= cols; x += 16, in += 20)
    StoreBytes(out + x, _mm_packus_epi16(LsbPacked10Eight(LoadBytes(in)), LsbPacked10Eight(LoadBytes(in + 10))));
  return x;
}
#else
// Elsewhere every sample goes one by one.
size_t NoBlocks(const uint8_t*, uint8_t*, size_t) { return 0; }
constexpr auto HighBitsOfPairsBlocks = NoBlocks;
constexpr auto HighBitsOfLsbPacked12Blocks = NoBlocks;
constexpr auto HighBitsOfLsbPacked10Blocks = NoBlocks;
#endif

// Where the processor allows, the first whole blocks of a row go `blocks`'s
// way; returns the first sample left.
size_t PackedBlocks(size_t (*blocks)(const uint8_t*, uint8_t*, size_t), const uint8_t* in, uint8_t* out, size_t cols) {
#ifdef VQ_SIXTEEN_AT_A_TIME
  if (!HaveSsse3()) return 0;
#endif
  return blocks(in, out, cols);
}

// Two samples in three bytes; bytes 0 and 2 are their high 8 bits whatever
// their depth (10 or 12).
void HighBitsOfPairs(const uint8_t* in, uint8_t* out, size_t cols) {
  size_t x = PackedBlocks(HighBitsOfPairsBlocks, in, out, cols);
  for (in += x / 2 * 3; x + 1 < cols; x += 2, in += 3) {
    out[x] = in[0];
    out[x + 1] = in[2];
  }
  if (x < cols) out[x] = in[0];
}

// Samples of `kBits` bits back to back, least significant bit first. Sample
// i starts at bit s = (i × kBits) mod 8 of byte i × kBits / 8; with 9 to 16
// bits it ends within the next byte, which belongs to the row, and its high 8
// bits are bits s + kBits - 8 up of those two bytes.
template <unsigned kBits>
uint8_t HighBitsAt(const uint8_t* in, size_t i) {
  const size_t bit = i * kBits;
  const unsigned window = in[bit / 8] | (unsigned{in[bit / 8 + 1]} << 8);
  return static_cast<uint8_t>(window >> (bit % 8 + kBits - 8));
}

// Whole groups of samples that end on a byte (four 10-bit samples in five
// bytes, two 12-bit samples in three), spelled out; a partial group at the
// end of the row sample by sample.
void HighBitsOfLsbPacked10(const uint8_t* in, uint8_t* out, size_t cols) {
  size_t x = PackedBlocks(HighBitsOfLsbPacked10Blocks, in, out, cols);
  for (in += x / 4 * 5; x + 4 <= cols; x += 4, in += 5) {
    out[x] = static_cast<uint8_t>(in[0] >> 2 | in[1] << 6);
    out[x + 1] = static_cast<uint8_t>(in[1] >> 4 | in[2] << 4);
    out[x + 2] = static_cast<uint8_t>(in[2] >> 6 | in[3] << 2);
    out[x + 3] = in[4];
  }
  for (size_t i = 0; x + i < cols; ++i) out[x + i] = HighBitsAt<10>(in, i);
}

void HighBitsOfLsbPacked12(const uint8_t* in, uint8_t* out, size_t cols) {
  size_t x = PackedBlocks(HighBitsOfLsbPacked12Blocks, in, out, cols);
  for (in += x / 2 * 3; x + 2 <= cols; x += 2, in += 3) {
    out[x] = static_cast<uint8_t>(in[0] >> 4 | in[1] << 4);
    out[x + 1] = in[2];
  }
  if (x < cols) out[x] = HighBitsAt<12>(in, 0);
}

}  // namespace

SampleRowReader HighBitsReader(PixelFormat format, SampleLayout layout, unsigned int sampleBits) {
  switch (format) {
    case PIXEL_FORMAT_MONO16:
    case PIXEL_FORMAT_RAW16:
      if (layout != LAYOUT_DEFAULT) return nullptr;
      if (sampleBits == 10) return HighBitsOf16<10>;
      if (sampleBits == 12) return HighBitsOf16<12>;
      if (sampleBits == 16) return HighBitsOf16<16>;
      return nullptr;
    case PIXEL_FORMAT_MONO12:
    case PIXEL_FORMAT_RAW12:
      if (sampleBits != 10 && sampleBits != 12) return nullptr;
      if (layout == LAYOUT_DEFAULT) return HighBitsOfPairs;
      if (layout == LAYOUT_LSB_PACKED) return sampleBits == 10 ? HighBitsOfLsbPacked10 : HighBitsOfLsbPacked12;
      return nullptr;
    default: return nullptr;
  }
}

void DeepMonoToMono8(const SourceView& source, const TargetView& target, SampleRowReader reader) {
  for (size_t row = 0; row < source.rows; ++row)
    reader(source.data + row * source.stride, target.data + row * target.stride, source.cols);
}

void DeepMonoToBgr(const SourceView& source, const TargetView& target, SampleRowReader reader) {
  Scratch greyRow(source.cols);
  uint8_t* grey = greyRow.Data();
  for (size_t row = 0; row < source.rows; ++row) {
    reader(source.data + row * source.stride, grey, source.cols);
    uint8_t* out = target.data + row * target.stride;
    for (size_t x = 0; x < source.cols; ++x) out[3 * x] = out[3 * x + 1] = out[3 * x + 2] = grey[x];
  }
}

size_t SourceRowBytes(PixelFormat format, size_t cols) {
  switch (format) {
    case PIXEL_FORMAT_MONO8:
    case PIXEL_FORMAT_RAW8: return cols;
    case PIXEL_FORMAT_MONO12:
    case PIXEL_FORMAT_RAW12: return (3 * cols + 1) / 2;
    case PIXEL_FORMAT_MONO16:
    case PIXEL_FORMAT_RAW16: return 2 * cols;
    case PIXEL_FORMAT_RGB8:
    case PIXEL_FORMAT_BGR:
    case PIXEL_FORMAT_444YUV8: return 3 * cols;
    case PIXEL_FORMAT_422YUV8: return (cols + 1) / 2 * 4;
    case PIXEL_FORMAT_411YUV8: return (cols + 3) / 4 * 6;
    default: return 0;
  }
}

size_t SourceRowBytes(PixelFormat format, SampleLayout layout, unsigned int sampleBits, size_t cols) {
  if (layout == LAYOUT_LSB_PACKED && (format == PIXEL_FORMAT_MONO12 || format == PIXEL_FORMAT_RAW12))
    return (cols * sampleBits + 7) / 8;
  return SourceRowBytes(format, cols);
}

void CopyRows(const SourceView& source, const TargetView& target, size_t rowBytes) {
  // One block copy when the rows are packed alike: row by row, glibc copies
  // each row with "rep movsb", which some processors run ten times slower
  // when source and target lie a multiple of 4 KiB apart.
  if (source.stride == rowBytes && target.stride == rowBytes) {
    std::memcpy(target.data, source.data, rowBytes * source.rows);
    return;
  }
  for (size_t row = 0; row < source.rows; ++row)
    std::memcpy(target.data + row * target.stride, source.data + row * source.stride, rowBytes);
}

void Mono8ToBgr(const SourceView& source, const TargetView& target) {
  ForEachRow(source, target, [](const uint8_t* in, uint8_t* out, size_t cols) {
    size_t x = 0;
#ifdef VQ_SIXTEEN_AT_A_TIME
    if (HaveSsse3()) x = GreyToBgrBlocks(in, out, cols);
#endif
    for (; x < cols; ++x) out[3 * x] = out[3 * x + 1] = out[3 * x + 2] = in[x];
  });
}

void Mono16ToBgr(const SourceView& source, const TargetView& target) {
  ForEachRow(source, target, [](const uint8_t* in, uint8_t* out, size_t cols) {
    for (size_t x = 0; x < cols; ++x) out[3 * x] = out[3 * x + 1] = out[3 * x + 2] = in[2 * x + 1];
  });
}

void Mono16ToMono8(const SourceView& source, const TargetView& target) {
  ForEachRow(source, target, [](const uint8_t* in, uint8_t* out, size_t cols) {
    for (size_t x = 0; x < cols; ++x) out[x] = in[2 * x + 1];
  });
}

void Mono12ToBgr(const SourceView& source, const TargetView& target) {
  ForEachRow(source, target, [](const uint8_t* in, uint8_t* out, size_t cols) {
    for (size_t x = 0; x < cols; ++x) {
      const uint8_t high = in[x / 2 * 3 + (x & 1) * 2];
      out[3 * x] = out[3 * x + 1] = out[3 * x + 2] = high;
    }
  });
}

void Mono12ToMono8(const SourceView& source, const TargetView& target) {
  ForEachRow(source, target, [](const uint8_t* in, uint8_t* out, size_t cols) {
    for (size_t x = 0; x < cols; ++x) out[x] = in[x / 2 * 3 + (x & 1) * 2];
  });
}

void Rgb8ToBgr(const SourceView& source, const TargetView& target) {
  ForEachRow(source, target, [](const uint8_t* in, uint8_t* out, size_t cols) {
    for (size_t x = 0; x < cols; ++x) {
      out[3 * x] = in[3 * x + 2];
      out[3 * x + 1] = in[3 * x + 1];
      out[3 * x + 2] = in[3 * x];
    }
  });
}

void Yuv444ToBgr(const SourceView& source, const TargetView& target) {
  ForEachRow(source, target, [](const uint8_t* in, uint8_t* out, size_t cols) {
    for (size_t x = 0; x < cols; ++x) {
      const uint8_t* uyv = in + 3 * x;
      StoreYuv(uyv[1], ChromaOf(uyv[0], uyv[2]), out + 3 * x);
    }
  });
}

namespace {

// Pairs of pixels in four bytes that share their chroma; the offsets of the
// first pixel's luma, U, the second pixel's luma and V.
template <size_t kY0, size_t kU, size_t kY1, size_t kV>
void Packed422ToBgr(const SourceView& source, const TargetView& target) {
  ForEachRow(source, target, [](const uint8_t* in, uint8_t* out, size_t cols) {
    size_t x = 0;
    for (; x + 1 < cols; x += 2) {
      const uint8_t* pair = in + 2 * x;
      const Chroma chroma = ChromaOf(pair[kU], pair[kV]);
      StoreYuv(pair[kY0], chroma, out + 3 * x);
      StoreYuv(pair[kY1], chroma, out + 3 * x + 3);
    }
    if (x < cols) {
      const uint8_t* pair = in + 2 * x;
      StoreYuv(pair[kY0], ChromaOf(pair[kU], pair[kV]), out + 3 * x);
    }
  });
}

}  // namespace

void Yuv422ToBgr(const SourceView& source, const TargetView& target) { Packed422ToBgr<1, 0, 3, 2>(source, target); }

void Yuyv422ToBgr(const SourceView& source, const TargetView& target) { Packed422ToBgr<0, 1, 2, 3>(source, target); }

void Yuv411ToBgr(const SourceView& source, const TargetView& target) {
  ForEachRow(source, target, [](const uint8_t* in, uint8_t* out, size_t cols) {
    static constexpr size_t kLumaOffset[4] = {1, 2, 4, 5};
    for (size_t x = 0; x < cols; x += 4) {
      const uint8_t* group = in + x / 4 * 6;
      const Chroma chroma = ChromaOf(group[0], group[3]);
      const size_t pixels = std::min<size_t>(4, cols - x);
      for (size_t i = 0; i < pixels; ++i) StoreYuv(group[kLumaOffset[i]], chroma, out + 3 * (x + i));
    }
  });
}

void BayerToBgr(const SourceView& source, BayerTileFormat format, const TargetView& target) {
  BayerRowsToBgr(source, format, 0, source.rows, target);
}

void BayerRowsToBgr(const SourceView& source, BayerTileFormat format, size_t first, size_t count,
                    const TargetView& target) {
  const Tile tile = TileOf(format);
  const bool small = source.rows < 3 || source.cols < 3;
  const InteriorRowKernel kernels[2] = {InteriorKernelFor(tile.At(0, 0), tile.At(0, 1)),
                                        InteriorKernelFor(tile.At(1, 0), tile.At(1, 1))};
  const size_t last = source.cols - 1;
  for (size_t y = first; y < first + count; ++y) {
    uint8_t* out = target.data + (y - first) * target.stride;
    if (small) {
      DemosaicBorderRow(source, tile, y, out);
      continue;
    }
    if (y == 0 || y + 1 == source.rows) {
      DemosaicEdgeRow(source, tile, y, out);
      continue;
    }
    const uint8_t* mid = source.data + y * source.stride;
    const uint8_t *up = mid - source.stride, *down = mid + source.stride;
    kernels[y & 1](up, mid, down, out, source.cols);
    const RowColours colours = RowColoursOf(tile, y);
    DemosaicEdgeColumn(up, mid, down, 0, 1, tile.At(y, 0) == kGreen, colours, out);
    DemosaicEdgeColumn(up, mid, down, last, last - 1, tile.At(y, last) == kGreen, colours, out + 3 * last);
  }
}

void Bayer16ToBgr(const SourceView& source, BayerTileFormat format, const TargetView& target) {
  Bayer16RowsToBgr(source, format, 0, source.rows, target);
}

void Bayer16RowsToBgr(const SourceView& source, BayerTileFormat format, size_t first, size_t count,
                      const TargetView& target) {
  DeepBayerRowsToBgr(source, format, first, count, target, HighBitsOf16<16>);
}

void DeepBayerRowsToBgr(const SourceView& source, BayerTileFormat format, size_t first, size_t count,
                        const TargetView& target, SampleRowReader reader) {
  if (count == 0) return;
  const size_t top = first > 0 ? first - 1 : 0;
  const size_t rows = std::min(first + count + 1, source.rows) - top;
  Scratch window(rows * source.cols);
  uint8_t* high = window.Data();
  DeepMonoToMono8(SourceView{source.data + top * source.stride, source.stride, rows, source.cols},
                  TargetView{high, source.cols}, reader);
  BayerWindowRowsToBgr(SourceView{high, source.cols, rows, source.cols}, format, top, first, count, target);
}

// The window demosaiced as an image of its own: a window that starts on an
// odd row sees the tile shifted by one row.
void BayerWindowRowsToBgr(const SourceView& window, BayerTileFormat format, size_t top, size_t first, size_t count,
                          const TargetView& target) {
  const BayerTileFormat shifted = (top & 1) ? RowShifted(format) : format;
  // Borders of the window that are not borders of the image are never
  // converted: they only serve as neighbours.
  BayerRowsToBgr(window, shifted, first - top, count, target);
}

}  // namespace FlyCapture2::detail
