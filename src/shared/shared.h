// Shared components: the use-count release of one component and the removal
// of a component's directory tree.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qf {

// Gives up this product's share of the shared component `componentName`:
// lowers its use count, or, for the last holder, deletes its files, its
// directory and its key under SharedKey.
void ReleaseSharedComponent(const std::string& componentName);

// Deletes every file and subdirectory below `dirPath` but leaves `dirPath`
// itself.  Links are removed, never followed.  For the "MSHelp" component the
// help registrations of the deleted files go as well.
void DeleteDirectoryContents(const std::string& dirPath, const std::string& componentName);

// The use count's text as the standard text-to-integer conversion reads it:
// leading white space, one optional sign, decimal digits up to the first
// other character; no digits give 0; an overflow wraps.
int32_t ParseUseCount(std::string_view text);

}  // namespace qf
