// The socket side of the simulated unit: one connection at a time, the stream carrying exactly
// the bytes of the USB link.
#pragma once

#include "sim_options.h"

#include <atomic>
#include <cstdio>

// Serves until *stop turns true (checked at least every 100 ms) or, with options.once, until
// the first connection ends. Returns 0, or 1 when the socket cannot be set up (reason on log).
int RunUnitServer(const TSimOptions& options, const std::atomic<bool>* stop, std::FILE* log);
