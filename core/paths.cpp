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

bool IsUsableLocalPath(std::string_view path) {
    if (path.empty() || path.find('\0') != std::string_view::npos) return false;
    if (path.find('\\') != std::string_view::npos) return false;
    const bool driveLetter =
        path.size() >= 2 && path[1] == ':' &&
        ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
    return !driveLetter;
}

namespace {

// Bytes of the character that starts at i: a well-formed UTF-8 sequence, else the single byte.
size_t CharBytes(std::string_view t, size_t i) {
    const auto b = static_cast<unsigned char>(t[i]);
    size_t len = 1;
    unsigned char lo = 0x80, hi = 0xBF; // allowed range of the second byte
    if (b >= 0xC2 && b <= 0xDF) {
        len = 2;
    } else if (b >= 0xE0 && b <= 0xEF) {
        len = 3;
        if (b == 0xE0) lo = 0xA0; // no overlong forms
        if (b == 0xED) hi = 0x9F; // no surrogates
    } else if (b >= 0xF0 && b <= 0xF4) {
        len = 4;
        if (b == 0xF0) lo = 0x90;
        if (b == 0xF4) hi = 0x8F;
    }
    if (len == 1 || i + len > t.size()) return 1;
    const auto second = static_cast<unsigned char>(t[i + 1]);
    if (second < lo || second > hi) return 1;
    for (size_t k = 2; k < len; ++k)
        if ((static_cast<unsigned char>(t[i + k]) & 0xC0) != 0x80) return 1;
    return len;
}

// Byte offset of character k (counted from 0); the size when the text has fewer.
size_t CharOffset(std::string_view t, size_t k) {
    size_t i = 0;
    for (; i < t.size() && k > 0; --k)
        i += CharBytes(t, i);
    return i;
}

} // namespace

size_t CharCount(std::string_view text) {
    size_t n = 0;
    for (size_t i = 0; i < text.size(); i += CharBytes(text, i))
        ++n;
    return n;
}

std::string ShortenPath(std::string_view path, int n) {
    std::string text(path);
    if (n <= 0) return text;
    const auto limit = static_cast<size_t>(n);
    size_t length = CharCount(text);
    while (length > limit) {
        // Separators are single bytes that never occur inside a character, so cutting at them
        // keeps every character whole.
        std::vector<size_t> seps;
        for (size_t i = 0; i < text.size(); ++i)
            if (IsPathSeparator(text[i])) seps.push_back(i);
        std::string next;
        if (seps.size() >= 3) {
            next = text.substr(0, seps[1] + 1) + "..." + text.substr(seps[2] + 1);
        } else if (seps.size() == 2) {
            next = text.substr(0, seps[0] + 1) + "..." + text.substr(seps[1] + 1);
        } else {
            next = text.substr(0, CharOffset(text, 3)) + "..." + text.substr(CharOffset(text, 10));
        }
        const size_t nextLength = CharCount(next);
        // A short text cannot shrink any further this way.
        if (seps.size() < 2 && nextLength >= length) break;
        text = std::move(next);
        length = nextLength;
    }
    return text;
}

std::string DefaultUnitSocketPath() {
    if (const char* p = std::getenv("KALVEX_UNIT_SOCKET"); p && *p) return p;
    if (const char* d = std::getenv("XDG_RUNTIME_DIR"); d && *d)
        return std::string(d) + "/kalvex-unit.sock";
    return "/tmp/kalvex-unit-" + std::to_string(getuid()) + ".sock";
}
