// The headless backend carries out scripts itself; windows exist only in
// the window layer, whose own check covers them.
#include "platform/backends/headless/headless.h"
#include "tests/ui/driver.h"

namespace test {

void StartDriver() { headless::Reset(); }

int WindowsLeftOpen() { return 0; }

}  // namespace test
