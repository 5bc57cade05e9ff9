# Turns the known decimals of pi (tests/data/pi_decimals.txt, 100 to a line) into the table of
# base-10000 words that the program checks its result against. Run at build time:
#   cmake -DDECIMALS=<decimals file> -DOUTPUT=<.cpp file> -P pi_words.cmake
file(STRINGS "${DECIMALS}" lines REGEX "^[0-9]+$")
set(body "")
set(words 0)
foreach(line IN LISTS lines)
  string(REGEX MATCHALL "[0-9][0-9][0-9][0-9]" groups "${line}")
  list(LENGTH groups count)
  math(EXPR words "${words} + ${count}")
  # No leading zeros: a C++ literal with one is octal.
  list(TRANSFORM groups REPLACE "^0*([1-9][0-9]*|0)$" "\\1")
  list(JOIN groups ", " row)
  string(APPEND body "    ${row},\n")
endforeach()
file(WRITE "${OUTPUT}.new"
"// Generated from ${DECIMALS} by cmake/pi_words.cmake: do not edit.
#include \"tu_mardo/pi_truth.hpp\"

namespace tu_mardo {

const int32_t PI_TRUTH_WORD_COUNT = ${words};
const uint16_t PI_TRUTH_WORDS[${words}] = {
${body}};

}  // namespace tu_mardo
")
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.new")
