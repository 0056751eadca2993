#pragma once
#include <string>

// Files and the wire carry one byte per character; the program keeps UTF-8.
namespace bg {
// Each byte becomes the character with that code.
std::string Latin1ToUtf8(const std::string& bytes);
// Each character becomes one byte. A character above 255 becomes '?': its low
// byte alone could be LF, CR or NUL and would cut a line or a field.
std::string Utf8ToLatin1(const std::string& text);
// The text cut to at most `chars` characters, each one byte on the wire; a
// shorter text is returned unchanged.
std::string CutText(const std::string& text, size_t chars);
}  // namespace bg
