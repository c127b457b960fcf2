// The names the store accepts, the same on every operating system, so that a
// key path or value name that works on one works on all.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace palvex::reg {

// What an interrupted write of the Linux store leaves behind; no name begins
// with it, on any system, so that a value can move between them.
constexpr std::string_view kTempPrefix = ".regtmp.";
// The Linux store's file of the default value; no value is named so.
constexpr std::string_view kDefaultValueFile = "@";

// One name of a key path: not empty, not "." or "..", no '/' or zero byte,
// at most 255 bytes, not beginning with the temporary prefix.
bool IsSafeKeyName(std::string_view name);
// A value name: "" (the default value) or a safe name without '\' that is
// not "@".
bool IsSafeValueName(std::string_view name);
// "A\B\C" -> {"A", "B", "C"}; "" -> {}. False for an empty or unsafe name.
bool SplitKeyPath(std::string_view path, std::vector<std::string>& names);

} // namespace palvex::reg
