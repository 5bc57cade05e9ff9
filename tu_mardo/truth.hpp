// The true decimals of pi after the point, as base-10000 words (word 1 holds decimals 1 to 4),
// generated at build time from independently computed data. Enough for the largest vector:
// 16001 words, guard word included, and a few beyond.
#pragma once

#include <cstdint>

namespace tu_mardo {

extern const int32_t PI_TRUTH_WORD_COUNT;
extern const uint16_t PI_TRUTH_WORDS[];

}  // namespace tu_mardo
