// Tests of file units: the record service started afresh in a temporary directory of its own.
#pragma once

#include <gtest/gtest.h>

#include <string_view>

#include "fake_console.hpp"
#include "records/records.hpp"
#include "temp_dir.hpp"

namespace test {

// One record with status: a blank and the text.
inline int32_t write_record(int16_t unit, std::string_view text) {
  int32_t status = records::begin_write(unit, "(1X,A)", true);
  if (status == 0) status = records::put_text(text);
  return status != 0 ? status : records::end_write();
}

class FileUnitFixture : public testing::Test {
 protected:
  void SetUp() override { start_fake_console(false, false); }
  void TearDown() override { records::close_all_units(0); }
  InTempDir here_;
};

}  // namespace test
