// Deleting what the pass owns, and nothing else.
//
// The threat: the trees and keys the pass deletes lie in places that other
// accounts and programs can write (a component's directory, the per-user
// settings), and they may change while the pass runs.  A directory may be
// swapped for a link to somewhere else after it was listed, a link may be
// planted in a tree beforehand, a recorded root may itself be a link or be
// reached through one, and a registry key may be a link to another product's
// key, or lie below one: the product's key in the user's own hive, which any
// program the user runs can make a link, would lead an administrator's
// uninstall to another key's "3.0".  Any path the pass built and used again
// later could lead elsewhere by then: to the user's documents, to the
// system's files, to another product's settings.
//
// The defence: every object is reached through its parent's open handle,
// opened as itself (a link opens as the link), every key from its hive's
// root down, so that no link on the way is followed; checked through the
// handle it will be deleted by, and deleted through that handle.  Roots are
// opened once, verified, and held without sharing deletion, so they can be
// neither renamed nor replaced while the pass works below them.  No path is
// used after the root, and no name is narrowed on the way (platform.h).
// Whatever fails a check is left alone with everything below it.
//
// The limits:
// - Under Wine a link opens as its target and no call removes it, so a link
//   in a tree is left alone (its final path is its target's): what it
//   points to survives, but the link stays, and so do the directories above
//   it, and the component's directory with them.
// - A file is held to its final path only: a plain file or empty directory
//   moved in between the listing and the open is deleted like one that was
//   there before (it could as well have been), and deleting a hard link
//   removes that name only, never the other names of the file.
// - A key on the way that cannot be opened at all cannot be told from a
//   link: what lies below it stays.
// - The root's path is used once, when it is opened; its 8.3 names are
//   expanded and its drive's root is opened only to check it.
// - Whose a directory is (a root that is, holds or lies in someone else's)
//   is decided before any of this, in ownership/ownership.h.
#pragma once

#include <string>
#include <string_view>

#include "common/paths.h"  // JoinFinalPath, which the checks compare final paths by
#include "platform/platform.h"

namespace qf {

// ---- Roots --------------------------------------------------------------

enum class RootCheck {
  Verified,  // open, a directory, no link, and the directory `recorded` names
  Missing,   // nothing is there
  Unsafe,    // empty, relative, a drive or share root, or it resolves differently again
  Refused,   // a link, reached through one, no directory, or it cannot be opened
};

// Opens the directory a record names (RootDir, SharedFilesDir) for emptying:
// the path as the system resolves it, opened as itself, held so that it
// cannot be renamed or replaced, for listing and, where it can be, deletion.
// Verified when the handle shows a directory that is no link and whose
// final path names the resolved path (names compared as Windows compares
// them, 8.3 names expanded); `*finalPath` then gets the final path.
// `*code` gets the failing call's code when the root is Refused, else 0.
RootCheck OpenVerifiedRoot(const std::string& recorded, platform::FileHandle* root,
                           std::string* finalPath, long* code);

// ---- Trees --------------------------------------------------------------

// Deletes every entry below the directory open in `dir`, whose final path
// is `dirPath`, and leaves the directory itself.  Each entry is opened below
// its parent's handle, as itself, checked to be what the listing showed (the
// same kind, and for a directory the same id, and the final path `dirPath`
// + its name), and deleted through its own handle; links go as links.  For
// the help component the help registrations of the deleted files go too.
// The walk keeps its open directories on a stack of its own, so a tree's
// depth is bounded by memory, not by the thread's stack.
void EmptyDirectory(const platform::FileHandle& dir, const std::string& dirPath,
                    const std::string& componentName);

// ---- Keys ---------------------------------------------------------------

// Opens the key at `path` under `root` one name at a time, each below the
// key before it and as itself (kOpenLink): the keys on the way with
// kKeyRead, the last with `mask`.  A link on the way is never followed: the
// open fails with kErrorCantResolveFilename.  A link named last opens as
// the link (IsKeyLink), so nothing behind it is read, written or deleted.
// `view` (platform::kKeyView64 or kKeyView32, or 0) goes with every step.
long OpenKeyAsItself(platform::Root root, std::string_view path, uint32_t mask,
                     platform::RegKey* key, uint32_t view = 0);

// One step of OpenKeyAsItself: `name` below `above` (below `root` when
// null), as itself, with `mask`; kErrorCantResolveFilename, and nothing
// opened, when `above` is a link.
long OpenKeyBelow(platform::Root root, const platform::RegKey* above, const std::string& name,
                  uint32_t mask, platform::RegKey* key);

// Opens the key `name` below `parentPath` under `root` as OpenKeyAsItself
// does, itself with kKeyAllAccess.  `*deletable` tells whether its parent
// could be opened with kKeyAllAccess: without it the key must stay, and the
// parent is opened for reading, for what lies below the key to go all the
// same.
long OpenDeletableKey(platform::Root root, const std::string& parentPath,
                      const std::string& name, platform::RegKey* key, bool* deletable);

// The value a registry link key holds, naming its target, and how many
// bytes of it are read.
constexpr char kKeyLinkValue[] = "SymbolicLinkValue";
constexpr uint32_t kKeyLinkCapacity = 4096;

// Whether a key opened as itself is a link, from how reading its
// kKeyLinkValue within kKeyLinkCapacity went (`read`, the value's `type`):
// one that is there but cannot be read (too long, say) may still be a
// link's, so only a value known to be absent, or of another type, is none.
// The pass and the preview's reading of the machine decide by this alone.
bool IsKeyLinkRead(long read, uint32_t type);

// Whether the open key is a registry link (opened as itself), or may be one
// (IsKeyLinkRead).
bool IsKeyLink(const platform::RegKey& key);

// Deletes every subkey of the open `key`, each opened as itself below its
// parent and deleted through its own handle after its own subkeys; with
// `andKey`, `key` itself too.  `path` is the key's path below `root`, as
// the journal tells what went.  Returns whether everything asked for went.
bool DeleteKeyTree(platform::RegKey& key, platform::Root root, const std::string& path,
                   bool andKey);

}  // namespace qf
