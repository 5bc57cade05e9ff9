#include "platform/blocked_time.hpp"

#include <chrono>

namespace platform {
namespace {

int64_t blocked_total_ns = 0;

int64_t now_ns() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

BlockedCall::BlockedCall() : start_ns_(now_ns()), continues_(continues_seen()) {}

BlockedCall::~BlockedCall() {
  if (continues_seen() == continues_) blocked_total_ns += now_ns() - start_ns_;
}

int64_t blocked_ns() { return blocked_total_ns; }

}  // namespace platform
