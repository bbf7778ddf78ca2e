// File name rules. Both "/" and "\" separate folders, so names written on either platform work.
#pragma once

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

// Shortens a path for a narrow edit: while longer than n characters (n = 0: unchanged),
// replace the middle folders with "...".
std::string ShortenPath(std::string_view path, int n);

// Where the simulated unit listens and the link looks for it: $KALVEX_UNIT_SOCKET, else
// $XDG_RUNTIME_DIR/kalvex-unit.sock, else /tmp/kalvex-unit-<uid>.sock.
std::string DefaultUnitSocketPath();
