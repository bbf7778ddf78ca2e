// Command line of kalvex-unitsim.
#pragma once

#include "paths.h"

#include "unit_engine.h"

#include <string>
#include <string_view>
#include <vector>

struct TSimOptions {
    TUnitConfig unit;
    std::string socketPath; // empty: the default path rule
    double tickMs = 5.0;    // records go out in batches at most this often
    bool once = false;      // end when the first connection closes
    bool quiet = false;
    bool help = false;
    std::string error; // not empty: the command line was refused
};

TSimOptions ParseSimOptions(const std::vector<std::string_view>& args);
std::string SimHelpText();
