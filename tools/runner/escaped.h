// How the runner shows text it did not write itself (a scenario's words, a settings file's lines,
// the plug-in's notices): printable ASCII as it stands, any other byte as \xNN, and only the first
// bytes of it, so that a message stays one line of plain text whatever it echoes.
#pragma once

#include <cstddef>
#include <string>

// The most bytes of one piece of text a message shows.
constexpr size_t kMostBytesShown = 40;

// `text` escaped (a quote or a backslash gets a backslash before it), cut after `most` bytes
// with "... (N bytes)" saying how long it was.
std::string escaped(const std::string& text, size_t most = kMostBytesShown);

// The same, in double quotes.
std::string quoted(const std::string& text, size_t most = kMostBytesShown);
