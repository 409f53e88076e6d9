#pragma once

#include <string>
#include <string_view>

// Checks for texts that come from outside the program (registry store,
// settings files) before they are trusted.
bool isValidUtf8(std::string_view text);
// Invalid UTF-8 sequences become U+FFFD; everything else is kept.
std::string sanitiseUtf8(std::string_view text);
// Valid UTF-8 without control characters (tab allowed).
bool isPlainText(std::string_view text);
