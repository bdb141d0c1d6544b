#pragma once

#include <cstddef>
#include <cstdint>

namespace ivra::imageio {

// The per-row filtering step of the PNG encoder. Writes the filter type byte followed by
// the filtered row (rowBytes + 1 bytes) to `out`. `previous` is the unfiltered row above,
// or null for the first row. bytesPerPixel is 3 (RGB) or 4 (RGBA).
//
// Rows that are mostly flat (UI backgrounds, text) stay unfiltered: the compressor then
// finds repeated glyphs and runs as they are. Other rows (photographs, gradients) take
// the filter with the smallest sum of absolute differences among Sub, Up and Paeth.
void filterPngRow(const uint8_t* row, const uint8_t* previous, size_t rowBytes, int bytesPerPixel,
                  uint8_t* out);

} // namespace ivra::imageio
