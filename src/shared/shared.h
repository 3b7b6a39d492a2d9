// Shared components: the use-count release of one component and the removal
// of a component's directory tree.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace qf {

// Gives up this product's share of the shared component `componentName`:
// lowers its use count, or, for the last holder, deletes its files, its
// directory and its key under SharedKey.
void ReleaseSharedComponent(const std::string& componentName);

// Deletes every file and subdirectory below `dirPath` but leaves `dirPath`
// itself.  Links are removed, never followed.  For the "MSHelp" component the
// help registrations of the deleted files go as well.  `dirPath` is opened
// and checked as OpenCheckedRoot does; one that fails is left alone.
void DeleteDirectoryContents(const std::string& dirPath, const std::string& componentName);

// The same for the directory open in `dir`, whose final path is `dirPath`:
// each entry is opened below its parent's handle and deleted through its
// own, and only when it is still what the listing showed.
void EmptyDirectory(const platform::FileHandle& dir, const std::string& dirPath,
                    const std::string& componentName);

// How a root directory was found when it was opened for emptying.
enum class RootCheck { Verified, Missing, Refused };

// Opens the directory at `path`, whose resolved form is `resolved`, as
// itself (a link is not followed), held so that it cannot be renamed or
// replaced, for listing and, where it can be, deletion.  Verified when the
// handle shows a directory that is no link and whose final path names
// `resolved` (case-insensitively, 8.3 names expanded); `finalPath` then gets
// the final path.  Missing when nothing is there.
RootCheck OpenCheckedRoot(const std::string& path, std::string resolved,
                          platform::FileHandle* root, std::string* finalPath);

// Whether two names are the same to the file system (ASCII letters in any case).
bool SameName(std::string_view a, std::string_view b);
// `parent` + "" + `name`, with no second backslash after a drive root.
std::string JoinFinalPath(const std::string& parent, std::string_view name);

// The use count's text as the standard text-to-integer conversion reads it:
// leading white space, one optional sign, decimal digits up to the first
// other character; no digits give 0; an overflow wraps.
int32_t ParseUseCount(std::string_view text);

}  // namespace qf
