// kalvex-cli's entry point; everything else is RunKalvexCli.
#include <iostream>

#include "cli.h"

int main(int argc, char** argv) {
    const int code =
        RunKalvexCli(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
    return code;
}
