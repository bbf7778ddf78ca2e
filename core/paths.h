// File name rules. Both "/" and "\" separate folders, so names written on either platform work.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

bool IsPathSeparator(char c);

// The text after the last separator; the whole text when there is none.
std::string FileNamePart(std::string_view path);

// The name without the extension of its file-name part: the text before the last "." that
// follows the last separator; the whole name when the file-name part has no ".".
std::string BaseName(std::string_view path);

// True when the name holds a "." anywhere (a "." in a folder name counts).
bool ContainsDot(std::string_view path);

// Appends ext (such as ".FFT") when the name has no "." anywhere.
std::string WithDefaultExtension(std::string_view path, std::string_view ext);

// The data-save rule: ".DTA" is appended when the name has no dot, and also when its last
// four characters are not exactly ".DTA" (so a.dta becomes a.dta.DTA).
std::string DataSaveName(std::string_view path);

// Whether the name can be saved to here. Not: empty, an embedded NUL, a drive letter ("C:..."),
// or any "\" (a UNC name "\\server\share\x" or "C:\data\x"). The name rules above read "\" as a
// folder separator, so a file created under such a name would not be the file they describe:
// it would be one file in the working folder named after the whole text.
bool IsUsableLocalPath(std::string_view path);

// Number of characters (UTF-8 code points; any byte that does not start a well-formed sequence
// counts as one character of its own).
size_t CharCount(std::string_view text);

// Shortens a path for a narrow edit: while longer than n characters (n = 0: unchanged),
// replace the middle folders with "...". Counts characters, never cuts inside one.
std::string ShortenPath(std::string_view path, int n);

// Where the simulated unit listens and the link looks for it: $KALVEX_UNIT_SOCKET, else
// $XDG_RUNTIME_DIR/kalvex-unit.sock, else /tmp/kalvex-unit-<uid>.sock.
std::string DefaultUnitSocketPath();
