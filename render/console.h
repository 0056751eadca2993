#pragma once
#include <string>

namespace bg {
// Appends a line to the chat console without making a hidden console visible.
void CPrint(const std::string& text);
inline void DPrint(const std::string&) {}
inline void DCPrint(const std::string&) {}
}  // namespace bg
