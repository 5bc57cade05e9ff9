# Turns independently computed decimals (tests/data/*_decimals.txt, 100 to a line) into a table
# of base-10000 words that the program checks its results against. Run at build time:
#   cmake -DDECIMALS=<decimals file> -DNAME=<C++ name prefix> -DOUTPUT=<.cpp file> -P truth_words.cmake
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
get_filename_component(source "${DECIMALS}" NAME)
file(WRITE "${OUTPUT}.new"
"// Generated from ${source} by cmake/truth_words.cmake: do not edit.
#include \"tu_mardo/truth.hpp\"

namespace tu_mardo {

const int32_t ${NAME}_WORD_COUNT = ${words};
const uint16_t ${NAME}_WORDS[${words}] = {
${body}};

}  // namespace tu_mardo
")
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.new")
