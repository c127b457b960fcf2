// The command-line form of each parameter: the table of parameters that do
// not take the default form of their type, by method and name. FormOf and
// Callable (cli/cli_args.h) read it.
#pragma once

#include "cli/cli_args.h"

#include <string>
#include <string_view>

namespace palvex::cli {

// The call whose height sizes the out-arrays of one element per screen row.
constexpr std::string_view kScreenMethod = "SetLedProperty";
constexpr std::string_view kScreenHeightParam = "LedHeight";

// The type of a parameter or result, as a message names it.
std::string TypeText(VARTYPE vt);

} // namespace palvex::cli
