// What the safety tests share: the table lines of a run and its clock.
#pragma once

#include <string>

#include "records/real_digits.hpp"

namespace test {

inline const std::string LONG_RUN = "10:00:00.00 10:01:30.50";
inline const std::string NAME_LINE = "MY PC" + std::string(45, ' ');
inline const std::string EARLIER =
    "DEC 3000-600s AXP alpha station                      61440.00    \r\n";

inline bool ends_with(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// The table line a value gives, as the program writes it.
inline std::string table_line(float value) {
  char field[15];
  records::detail::edit_g(field, value, 15, 7);
  return NAME_LINE + " " + std::string(field, 15) + "\r\n";
}

}  // namespace test
