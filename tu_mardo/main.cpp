// tu_mardo: a console benchmark of computing power that computes pi by Machin's formula.
#include "platform/platform.hpp"
#include "records/records.hpp"
#include "tu_mardo/run.hpp"

int main() {
  platform::start_up();
  records::start_up(platform::standard_streams());
  tu_mardo::run();
}
