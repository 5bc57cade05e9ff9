// The terminal units: carriage control and the owed line end on output, lines of input.
// One unit serves both directions when standard input and output are both interactive;
// otherwise input and output are separate units and reading leaves the output's state alone.
#pragma once

#include <cstdint>

#include "platform/platform.hpp"

namespace records::detail {

void console_start(const platform::ConsoleStreams& streams);

// Emits one record with carriage control. Output is held until console_flush (the end of each
// statement) or until the hold is full. Returns 0 or a positive status once writing failed.
int32_t console_emit(const char* bytes, int32_t length, bool line_continues);
int32_t console_flush();

// Reads one list-directed integer; the variable keeps its value unless 0 is returned.
int32_t console_read_integer(int32_t& variable);

// Bytes as they are, behind what is held; no carriage control, no change of state.
int32_t console_write_bytes(const char* bytes, int32_t length);

// Writes CR LF if a record owes its line end; the line end stays owed.
int32_t console_finish_line();

// Exit processing: ends the owed line and writes out what is held. False if that failed.
bool console_close();

// The system error of the write that failed, for the message.
int console_write_error();

}  // namespace records::detail
