// Settings file texts for the window tests: the default init file with some lines replaced.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "../files/file_fixtures.h"

inline std::string InitText(const std::vector<std::pair<std::string, std::string>>& replace) {
    auto lines = DefaultPrfLines();
    for (auto& l : lines)
        for (const auto& [key, line] : replace)
            if (l.rfind(key, 0) == 0) l = line;
    return CrLf(lines);
}
