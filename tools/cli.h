// kalvex-cli as a library call, so the batch tool, its tests and the fuzz target share one
// entry point.
#pragma once

#include <ostream>
#include <string>
#include <vector>

// Runs kalvex-cli with args (without the program name): results to out, messages to err.
// Returns the exit code. Never exits the process, never reads standard input, keeps no state
// between calls.
int RunKalvexCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
