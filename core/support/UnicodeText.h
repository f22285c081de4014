#pragma once
// Unicode helpers shared by settings, translation and capture code.
// All functions are pure and thread-safe. Text is UTF-8; invalid sequences are
// read as U+FFFD and never make a function fail.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace vela {

// The whitespace-and-newline set: horizontal and vertical spaces (general
// category Zs plus TAB), the line breaks LF, VT, FF, CR, NEL, LS and PS.
bool isWhitespaceOrNewline(char32_t scalar);

// C0 and C1 control characters and DEL (general category Cc).
bool isControlCharacter(char32_t scalar);

// Text received from outside the program (a service's answer, the command line),
// made fit for every consumer once where it enters: invalid UTF-8 becomes U+FFFD
// and NUL characters are dropped, because C strings downstream (clipboard, GTK)
// would end the text there.
std::string externalText(std::string_view text);

// Text without leading and trailing whitespace-and-newline scalars.
std::string trimmed(std::string_view text);

// Unicode scalars of UTF-8 text, and back.
std::u32string toScalars(std::string_view text);
std::string fromScalars(std::u32string_view scalars);
void appendUtf8(std::string& out, char32_t scalar);

// Full Unicode upper-casing in the root locale ("ß" becomes "SS").
std::string upperCased(std::string_view text);

// User-perceived characters (extended grapheme clusters), each as UTF-8.
std::vector<std::string> graphemeClusters(std::string_view text);

// The first / last `count` user-perceived characters of the text (all of it when shorter).
std::string firstGraphemes(std::string_view text, std::size_t count);
std::string lastGraphemes(std::string_view text, std::size_t count);

}  // namespace vela
