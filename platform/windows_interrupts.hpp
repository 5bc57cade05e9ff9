// Interrupts on Windows: what the rest of the Windows seam needs of them.
#pragma once

namespace platform::windows {

// Installs the console control handler (Ctrl-C, Ctrl-Break, the console's closing).
void install_interrupt_handler();

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

}  // namespace platform::windows
