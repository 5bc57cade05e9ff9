// What the tables of test cases share: each row shows in test listings by its name, or as its
// describe(row, os) says, and names its test case.
#pragma once

#include <concepts>
#include <ostream>
#include <string>

namespace test {

// gtest prints a row with PrintTo, which it looks for beside the row's type: a test file brings
// these in with `using test::PrintTo;`.
template <class Row>
requires requires(const Row& row) {
  { row.name } -> std::convertible_to<std::string>;
}
void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

template <class Row>
requires requires(const Row& row, std::ostream* os) { describe(row, os); }
void PrintTo(const Row& row, std::ostream* os) { describe(row, os); }

// The test case's name from its row's: INSTANTIATE_TEST_SUITE_P(..., test::row_name).
inline constexpr auto row_name = [](const auto& info) { return std::string(info.param.name); };

}  // namespace test
