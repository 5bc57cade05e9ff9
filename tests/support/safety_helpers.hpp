// What the safety tests share: the table lines of a run and its clock.
#pragma once

#include <string>

namespace test {

inline const std::string LONG_RUN = "10:00:00.00 10:01:30.50";
inline const std::string NAME_LINE = "MY PC" + std::string(45, ' ');
inline const std::string EARLIER =
    "DEC 3000-600s AXP alpha station                      61440.00    \r\n";

inline bool ends_with(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// The table's last line with a value: the name's 50 bytes, a blank and the value's 15 characters
// (G15.7), worked out by hand.
inline std::string value_line(const std::string& g15_7) { return NAME_LINE + " " + g15_7 + "\r\n"; }

// 0.0006 x 4^2 / 90.5 s: a 4-digit run timed by LONG_RUN.
inline const std::string LONG_RUN_LINE = value_line("   .1060774E-03");

}  // namespace test
