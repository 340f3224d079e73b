// Splitting a whole command line into program and arguments by the rules a
// Windows program's C runtime applies to its own command line.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quorvane::platform {

// The program name (first element) and the arguments of commandLine.
//
// The program name ends at the first blank or tab outside double quotes; its
// quotes are removed and backslashes are plain characters. For the arguments:
// blanks and tabs separate them; double quotes group blanks and are removed;
// 2n backslashes before a double quote give n backslashes and the quote
// toggles quoting; 2n+1 backslashes before a double quote give n backslashes
// and a literal double quote; backslashes elsewhere are literal; inside a
// quoted run two double quotes give one literal double quote and the run goes
// on. An empty command line, or one of blanks only, gives an empty list.
std::vector<std::string> SplitCommandLine(std::string_view commandLine);

}  // namespace quorvane::platform
