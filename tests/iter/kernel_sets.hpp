// Tests that run once with each kernel set this CPU can run.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "iter/kernels.hpp"

namespace test {

// Every set of the table that this CPU can run.
inline std::vector<const iter::kernels::KernelSet*> kernel_sets() {
  std::vector<const iter::kernels::KernelSet*> sets;
  for (const iter::kernels::KernelSet* set : iter::kernels::all_sets()) {
    if (set->cpu_can_run()) sets.push_back(set);
  }
  return sets;
}

inline std::string kernel_set_name(
    const testing::TestParamInfo<const iter::kernels::KernelSet*>& info) {
  std::string name = info.param->name;
  for (char& c : name) c = c == '-' ? '_' : c;
  return name;
}

class KernelTest : public testing::TestWithParam<const iter::kernels::KernelSet*> {
 protected:
  void SetUp() override { iter::kernels::select(*GetParam()); }
  void TearDown() override { iter::kernels::select(iter::kernels::best_for_this_cpu()); }
};

}  // namespace test
