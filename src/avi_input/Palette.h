// Palettes of 8-bit video: the colour table after a BITMAPINFOHEADER, and the palette change
// chunks ('##pc') that give some of its entries new colours from a frame on.
#pragma once

#include <cstdint>
#include <vector>

namespace zarvex {

// Larger payloads are no palette change that readers apply.
inline constexpr uint32_t MaxPaletteChange = 4 + 4 * 256;

// True for a chunk id ending in 'pc'.
bool IsPaletteChangeId(uint32_t id);
// The entries of format's colour table: biClrUsed, 0 meaning 1 << biBitCount, as far as the
// format holds them.
uint32_t PaletteEntries(const std::vector<uint8_t>& format);
// Gives format's colour table the colours of a palette change, as FFmpeg applies one: a change
// reaching past entry 255 changes nothing.
void ApplyPaletteChange(std::vector<uint8_t>& format, const uint8_t* payload, uint32_t size);
// A palette change that sets every entry of format's colour table; empty when it has none.
std::vector<uint8_t> WholePaletteChange(const std::vector<uint8_t>& format);

} // namespace zarvex
