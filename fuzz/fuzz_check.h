// Shared by the targets: a check that names itself when it fails, and the switch for checks of
// faults that are known and not fixed yet.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#define FUZZ_CHECK(cond)                                                                           \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond);          \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

// True when the fault of that name is listed in KALVEX_FUZZ_OPEN (names separated by commas):
// its check is left out, so that a routine run only reports new faults. The names are listed in
// fuzz/README.md.
inline bool KnownFault(const char* name) {
    static const std::string list = [] {
        const char* v = std::getenv("KALVEX_FUZZ_OPEN");
        return "," + std::string(v ? v : "") + ",";
    }();
    return list.find("," + std::string(name) + ",") != std::string::npos;
}
