// What the conversion of a page is made of, for skipping pages whose output
// is up to date.
#pragma once

#include <string>
#include <vector>

namespace quorvane {

// The page, every file it includes (the whole chain), every local file that
// the links of these files name, and the value of every parameter the page
// sets for the current target (the ones that name a file matter), in this
// order. Linked files and values are listed whether they name an existing
// file or not. Raises what LoadDocument raises.
std::vector<std::string> PageDependencies(const std::string& mainFile);

}  // namespace quorvane
