#pragma once

namespace tav {

// The argument with which TAV starts its key agent (see key_cache.h).
inline constexpr const char* kKeyAgentArgument = "--key-agent";

// Runs as the key agent on the listening socket TAV handed over; returns
// when the agent has nothing left to remember.
int RunKeyAgent();

}  // namespace tav
