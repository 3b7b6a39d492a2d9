// Shared components: releasing this product's share of one component, and
// removing the shared area once no product holds any.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qf {

class PassRoots;

// Gives up this product's share of the shared component `componentName`:
// lowers its use count, or, for the last holder, deletes its files, its
// directory and its key under SharedKey.  `pass` is what the pass's
// releases share (a pass of this one release when null).  False when the
// release was put off, before anything was changed or decided, because its
// root holds the root of a component this pass has yet to release: the
// pass releases it again after that one.
bool ReleaseSharedComponent(const std::string& componentName, PassRoots* pass = nullptr);

enum class RootVerdict {
  Own,     // the component's own: it may be emptied
  NotOwn,  // someone else's, or that cannot be told: the decision is made
  Later,   // it holds the root of a component `pass` has yet to release
};

// Whether the verified root `finalRoot` of the last holder `componentName`
// is the component's own: neither is nor holds the shared area's directory,
// another component's root (but one this pass releases as its last holder,
// once released), a folder the system or the uninstall keeps
// (platform::KeptFolders), a temporary folder or another installed
// program's directory, nor lies at or below the Windows directory.  When it
// is not, or that cannot be told, the decision is made: the component stays
// as it is.
RootVerdict RootIsOwn(const std::string& componentName, const std::string& finalRoot,
                      PassRoots& pass);

// Whether the shared area's verified, empty directory may go: false, with
// the decision made, when it is a folder the system or the uninstall keeps.
bool AreaDirIsOwn(const std::string& finalPath);

// Whether the directory `finalPath` (the final path of a verified
// directory) lies clear of every directory the pass may remove or empty:
// the shared area's directory (SharedFilesDir) and the root of every
// component recorded under SharedKey, flagged by this product or not,
// whatever its count, each compared by what it is, not how it is written.
// False when it is or lies inside one, or when that cannot be told;
// `*why` then says which, or what could not be read.
bool ClearOfThePass(const std::string& finalPath, std::string* why);

// Once no product holds a shared component any more, deletes SharedKey, and
// the shared area's directory too if nothing was left in it.
void RemoveEmptySharedArea();

// The use count's text as the standard text-to-integer conversion reads it:
// leading white space, one optional sign, decimal digits up to the first
// other character; no digits give 0; an overflow wraps.
int32_t ParseUseCount(std::string_view text);

}  // namespace qf
