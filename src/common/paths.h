// Narrow-text path helpers shared by every subsystem.
#pragma once

#include <string>
#include <string_view>

namespace qf {

// `parent` + "\" + `name`, as given: no normalisation, no trailing backslash.
std::string JoinPath(std::string_view parent, std::string_view name);

// The absolute form of an absolute path, resolved the way the system resolves
// it before use: "/" taken as "\", repeated separators collapsed, "." and ".."
// resolved (".." never climbs above the drive or the share), and trailing dots
// and blanks dropped from each component.  Returns "" for anything that is not
// a drive-absolute path ("C:\...") or a UNC path ("\\server\share..."),
// including relative paths, drive-relative paths ("C:dir") and device paths
// ("\\?\...", "\\.\...").  A drive root comes out as "C:\", a share root as
// "\\server\share\".
std::string ResolveAbsolutePath(std::string_view path);

}  // namespace qf
