// Path helpers shared by every subsystem.  Paths are UTF-8 (platform.h);
// every separator and dot is ASCII, so they are worked on byte by byte.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qf {

// `parent` + "\" + `name`, as given: no normalisation, no trailing backslash.
std::string JoinPath(std::string_view parent, std::string_view name);

// A final path (FileFacts::finalPath) joined like JoinPath, but with no
// second backslash after a drive root ("C:\" + "x" is "C:\x"); an empty
// `name` gives `parent` itself.
std::string JoinFinalPath(const std::string& parent, std::string_view name);

// The names of `path` between backslashes, empty ones dropped.
std::vector<std::string> SplitPath(std::string_view path);

// The absolute form of an absolute path as the system makes it
// (GetFullPathNameW): "/" taken as "\", repeated separators collapsed, "." and
// ".." resolved (".." never climbs above the drive or the share), trailing
// dots dropped from directory names and trailing dots and blanks from the
// last name; a trailing separator is kept.  A drive root comes out as "C:\",
// a share root as "\\server\share" or "\\server\share\".
// Returns "" for anything else: relative paths, drive-relative paths
// ("C:dir"), device paths ("\\?\...", "\\.\..."), and paths with a name
// made only of dots and blanks other than "." and "..", which the layers of
// the system do not read alike.
std::string ResolveAbsolutePath(std::string_view path);

// Whether `path` begins with a drive's root ("C:\\"): the drive letter, or 0.
char DriveLetterOf(std::string_view path);

// Length of the root part of a resolved path: 3 for "C:\", and for a share
// "\\server\share\" with its backslash, or the whole "\\server\share".
size_t RootLength(std::string_view resolved);

// Whether `path` names a directory below a drive root or share root once
// resolved as above; false for the roots themselves and for anything that
// does not resolve.
bool IsBelowRoot(std::string_view path);

// The directory that holds the resolved path `resolved` (a trailing
// separator ignored), and in `*name` the name below it; false at a root.
bool SplitParent(std::string_view resolved, std::string* parent, std::string* name);

}  // namespace qf
