// One output statement in one call, so that the run reads like its list of records.
// The statement is abandoned at the first status that is not 0, which is returned; a
// statement without status never gets that far, as the record service ends the run at its
// first failing call.
#pragma once

#include <cstdint>
#include <string_view>

#include "records/records.hpp"

namespace tu_mardo {

inline int32_t put(std::string_view text) { return records::put_text(text); }
inline int32_t put(int16_t value) { return records::put_int16(value); }
inline int32_t put(int32_t value) { return records::put_int32(value); }
inline int32_t put(float value) { return records::put_real32(value); }

template <class... Items>
int32_t write_statement(records::UnitId unit, std::string_view format, bool want_status,
                        const Items&... items) {
  int32_t status = records::begin_write(unit, format, want_status);
  ((status = status != 0 ? status : put(items)), ...);
  return status != 0 ? status : records::end_write();
}

// Words of a digit vector as one statement (a listing).
inline int32_t write_words(records::UnitId unit, std::string_view format, bool want_status,
                           const int32_t* words, int32_t count) {
  int32_t status = records::begin_write(unit, format, want_status);
  for (int32_t i = 0; i < count && status == 0; ++i) status = records::put_int32(words[i]);
  return status != 0 ? status : records::end_write();
}

// A list-directed console record; console statements ask for no status.
template <class... Items>
void console(const Items&... items) {
  write_statement(records::CONSOLE_OUT, records::LIST_DIRECTED, false, items...);
}

// A formatted console record.
template <class... Items>
void console_formatted(std::string_view format, const Items&... items) {
  write_statement(records::CONSOLE_OUT, format, false, items...);
}

// A statement to a file unit, with status.
template <class... Items>
int32_t to_file(int16_t unit, std::string_view format, const Items&... items) {
  return write_statement(unit, format, true, items...);
}

}  // namespace tu_mardo
