// Interrupts: what the rest of each platform implementation needs of them.
#pragma once

namespace platform {

// Installs the handlers: SIGINT, SIGTERM, SIGHUP and SIGQUIT on POSIX systems; the console
// control handler (Ctrl-C, Ctrl-Break, the console's closing) on Windows.
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

}  // namespace platform
