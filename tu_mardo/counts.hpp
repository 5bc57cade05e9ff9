// The counts a run is made of: the operator's answer and what follows from it.
#pragma once

#include <cstdint>

namespace tu_mardo {

struct RunCounts {
  int32_t ndigits = 16000;  // the answer; kept when an answer assigns no value
  int32_t nwords = 0;       // words listed: the answer widened to whole words
  int32_t naccepted = 0;    // digits accepted, nwords * word digits
  int32_t n = 0;            // words of every vector, the guard word included
};

// The run's counts, and a copy of them with every bit inverted, written once when the answer
// is accepted: a count changed in memory during the run makes the two disagree.
extern RunCounts counts;
extern RunCounts inverted_counts;

// Widens the accepted answer in counts.ndigits to whole words and writes the copy.
void accept_counts(int32_t word_digits);

// Whether the counts agree with their copy and follow from the answer as accept_counts made
// them, for an answer between 4 and max_digits.
bool counts_agree(int32_t word_digits, int32_t max_digits);

}  // namespace tu_mardo
