// The sticky floating-point flags, tested where nothing traps; on every system whose C library
// keeps them (WebAssembly has none: its run's checks stand in, see wasm.cpp).
#include <cfenv>

#include "platform/floating_point.hpp"
#include "platform/platform.hpp"

namespace platform {

void check_floating_point_errors() {
  // An armed trap would already have ended the run; the flags are tested all the same, so the
  // check is the same code everywhere.
  const int raised = std::fetestexcept(FE_DIVBYZERO | FE_OVERFLOW | FE_INVALID);
  if (raised == 0) return;
  end_on_floating_point_error(floating_point_error_text(
      (raised & FE_DIVBYZERO) != 0, (raised & FE_OVERFLOW) != 0, (raised & FE_INVALID) != 0));
}

}  // namespace platform
