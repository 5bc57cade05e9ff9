// Interrupts on POSIX systems: what the rest of the POSIX seam needs of them.
#pragma once

namespace platform::posix {

// Installs the handlers of SIGINT, SIGTERM, SIGHUP and SIGQUIT.
void install_interrupt_handlers();

// A wait for input or for a lock: for its length an interrupt takes effect at once, even
// inside a statement, since nothing is half written while the program waits.
class InterruptibleWait {
 public:
  InterruptibleWait();
  ~InterruptibleWait();
  InterruptibleWait(const InterruptibleWait&) = delete;
  InterruptibleWait& operator=(const InterruptibleWait&) = delete;

 private:
  int held_before_;
};

}  // namespace platform::posix
