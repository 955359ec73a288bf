#pragma once

#include <cstdint>

// G.711 encoding of 16-bit linear samples (ITU-T G.711, the segment tables
// of the reference implementation): A-law with its even bits inverted as
// sent on the wire, mu-law with its bits inverted and the 0x84 bias. Any
// thread.
namespace G711 {

uint8_t alaw(int16_t sample);
uint8_t ulaw(int16_t sample);

// Encodes count samples into out (count bytes).
void encodeAlaw(const int16_t *samples, int count, uint8_t *out);
void encodeUlaw(const int16_t *samples, int count, uint8_t *out);

} // namespace G711
