// The true decimals after the point of pi, arctan(1/5) and arctan(1/239), as base-10000 words
// (word 1 holds decimals 1 to 4), generated at build time from independently computed data in
// tests/data. Enough for the largest vector: 16001 words, guard word included, and a few beyond.
#pragma once

#include <cstdint>

namespace tu_mardo {

extern const int32_t PI_TRUTH_WORD_COUNT;
extern const uint16_t PI_TRUTH_WORDS[];
extern const int32_t ARCTAN5_TRUTH_WORD_COUNT;
extern const uint16_t ARCTAN5_TRUTH_WORDS[];
extern const int32_t ARCTAN239_TRUTH_WORD_COUNT;
extern const uint16_t ARCTAN239_TRUTH_WORDS[];

}  // namespace tu_mardo
