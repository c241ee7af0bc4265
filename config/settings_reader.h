// Applying settings text to `settings` by the file's line rules.
#pragma once

#include <cstddef>
#include <string_view>

// The three keys, in the order in which they decide a line that holds more than one.
constexpr std::string_view kEnabledKey = "enabled=";
constexpr std::string_view kToggleKeyKey = "toggle-key=";
constexpr std::string_view kAffectAllPedsKey = "affect-all-peds=";

// A load reads no more of the file than this. The file the plug-in writes is about 1 KB; one of
// megabytes is a mistake or damage, and one that never ends (a link to a device) must not hold the
// game's script thread.
constexpr size_t kSettingsReadLimit = size_t{64} * 1024;

// Applies settings text as the file holds it, line by line: a line ends at LF (a CR right before
// it is part of the line end), a Ctrl-Z byte ends the text, and only the first kSettingsReadLimit
// bytes are text. A `length` beyond the limit says that the file goes on: the line the limit cuts
// may then be incomplete, and is left out.
void applySettingsText(const char* text, size_t length);
