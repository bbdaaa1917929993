#pragma once

// The driver that carries out the UI tests' scripts on the backend under
// test: in memory (headless), or on real windows (Win32 under Wine). The
// same behaviour cases run on each.

namespace test {

// Selects the backend under test and starts afresh: an empty script and record.
void StartDriver();

// How many windows the backend still shows.
int WindowsLeftOpen();

}  // namespace test
