#pragma once

#include <cstdint>

// Tiger's four S-boxes, t1 to t4; every Tiger round indexes all four with the bytes of one word.
extern const std::uint64_t g_tigerSBoxes[4][256];
