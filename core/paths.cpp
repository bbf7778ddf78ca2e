#include "paths.h"

#include <cstdlib>
#include <unistd.h>
#include <vector>

bool IsPathSeparator(char c) {
    return c == '/' || c == '\\';
}

namespace {

size_t LastSeparator(std::string_view path) {
    return path.find_last_of("/\\");
}

} // namespace

std::string FileNamePart(std::string_view path) {
    const size_t sep = LastSeparator(path);
    return std::string(sep == std::string_view::npos ? path : path.substr(sep + 1));
}

std::string BaseName(std::string_view path) {
    const size_t sep = LastSeparator(path);
    const size_t nameStart = sep == std::string_view::npos ? 0 : sep + 1;
    const size_t dot = path.rfind('.');
    if (dot == std::string_view::npos || dot < nameStart) return std::string(path);
    return std::string(path.substr(0, dot));
}

bool ContainsDot(std::string_view path) {
    return path.find('.') != std::string_view::npos;
}

std::string WithDefaultExtension(std::string_view path, std::string_view ext) {
    std::string out(path);
    if (!ContainsDot(path)) out += ext;
    return out;
}

std::string DataSaveName(std::string_view path) {
    std::string out(path);
    if (!ContainsDot(path) || !path.ends_with(".DTA")) out += ".DTA";
    return out;
}

std::string ShortenPath(std::string_view path, int n) {
    std::string text(path);
    if (n <= 0) return text;
    while (static_cast<int>(text.size()) > n) {
        std::vector<size_t> seps;
        for (size_t i = 0; i < text.size(); ++i)
            if (IsPathSeparator(text[i])) seps.push_back(i);
        std::string next;
        if (seps.size() >= 3) {
            next = text.substr(0, seps[1] + 1) + "..." + text.substr(seps[2] + 1);
        } else if (seps.size() == 2) {
            next = text.substr(0, seps[0] + 1) + "..." + text.substr(seps[1] + 1);
        } else {
            next = text.substr(0, 3) + "..." + (text.size() > 10 ? text.substr(10) : "");
            // A short text cannot shrink any further this way.
            if (next.size() >= text.size()) break;
        }
        text = std::move(next);
    }
    return text;
}

std::string DefaultUnitSocketPath() {
    if (const char* p = std::getenv("KALVEX_UNIT_SOCKET"); p && *p) return p;
    if (const char* d = std::getenv("XDG_RUNTIME_DIR"); d && *d)
        return std::string(d) + "/kalvex-unit.sock";
    return "/tmp/kalvex-unit-" + std::to_string(getuid()) + ".sock";
}
