#include <cstdio>

#include "common/paths.h"
#include "common/schema.h"
#include "platform/platform.h"
#include "linkproof/linkproof.h"
#include "ownership/ownership.h"
#include "shared/shared.h"
#include "journal/journal.h"
#include "plan/plan.h"

namespace qf {
namespace {

using namespace platform;

bool IsSpace(char c) { return c == ' ' || (c >= 9 && c <= 13); }

// A count that could not be stored one lower was not lowered: the component
// stays as it was, and the reason says why.
// `text` is the count written as text, empty for one written as a number.
void DecideLowered(long written, const std::string& name, int32_t count, const std::string& text) {
  if (written != kSuccess) {
    Decide(Decision::CountNotWritten, name, written);
    return;
  }
  journal::ValueWritten(Root::LocalMachine, JoinPath(SharedKey, name), UseCount, text.empty(),
                        static_cast<uint32_t>(count - 1), text);
  Decide(Decision::CountLowered, name, count, static_cast<int64_t>(count) - 1);
}

// Reads "UseCount" and, while other holders remain, stores it one lower.
// Returns whether a usable count was read; only then is *lastHolder set, to
// whether this product held the last share (a count of 1 or less).  False
// means the component has no count, or one that says otherwise than the
// reviewed plan, and must be left alone.
bool LowerUseCount(RegKey& component, const std::string& name, bool* lastHolder) {
  uint32_t type = 0;
  std::string data;
  if (component.ReadValue(UseCount, FlagCapacity, &type, &data) != kSuccess) {
    // A component without a count is never removed.  A key that is a
    // link has none of its own: nothing behind it is read.
    Decide(IsKeyLink(component) ? Decision::ComponentIsLink : Decision::CountAbsent, name);
    return false;
  }

  if (type == kRegDword) {
    // A count stored as a number: its bytes are no text to parse.  A number
    // of any other length than four bytes was not written as a count, so it
    // tells nothing about the holders: such a component is left like one
    // without a count, rather than read as text and perhaps removed.
    if (data.size() != 4) {
      Decide(Decision::CountMisstored, name, static_cast<int64_t>(data.size()));
      return false;
    }
    uint32_t raw = 0;
    for (size_t i = 0; i < data.size(); ++i)
      raw |= static_cast<uint32_t>(static_cast<unsigned char>(data[i])) << (8 * i);
    const auto count = static_cast<int32_t>(raw);
    *lastHolder = count <= 1;
    if (*lastHolder) return plan::MayRelease(name);
    if (!plan::MayLowerCount(name, true, std::to_string(raw), std::to_string(raw - 1))) return false;
    DecideLowered(component.WriteDword(UseCount, static_cast<uint32_t>(count - 1)), name, count, {});
    return true;
  }

  // A count stored as text is parsed on its exact text: a character beyond
  // ASCII ends the digits like a letter does ("２" is no digit).  A text
  // that cannot be carried exactly is no count that can be trusted.
  std::string text;
  if (ValueText(type, data, &text) != kSuccess) {
    Decide(Decision::CountAbsent, name);
    return false;
  }
  const int32_t count = ParseUseCount(text);
  *lastHolder = count <= 1;
  if (*lastHolder) return plan::MayRelease(name);
  char lowered[16];
  std::snprintf(lowered, sizeof lowered, "%d", static_cast<int>(count - 1));
  if (!plan::MayLowerCount(name, false, text, lowered)) return false;
  DecideLowered(component.WriteText(UseCount, lowered), name, count, lowered);
  return true;
}

}  // namespace

int32_t ParseUseCount(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && IsSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  uint32_t value = 0;  // unsigned, so an overflow wraps instead of being undefined
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
    value = value * 10u + static_cast<uint32_t>(text[i] - '0');
  if (negative) value = 0u - value;
  return static_cast<int32_t>(value);
}

bool ReleaseSharedComponent(const std::string& componentName, PassRoots* pass) {
  PassRoots alone;
  PassRoots& shared = pass ? *pass : alone;
  // The component's key is opened as itself.  One that is a link has no
  // "UseCount" of its own, so it is left like any component without a count:
  // nothing behind the link is read, written or deleted, and the link stays.
  RegKey component;
  bool deletable = false;
  if (long failed =
          OpenDeletableKey(Root::LocalMachine, SharedKey, componentName, &component, &deletable)) {
    Decide(Decision::ComponentAbsent, componentName, failed);
    return true;
  }
  {
    bool lastHolder = false;
    if (!LowerUseCount(component, componentName, &lastHolder) || !lastHolder) return true;

    std::string rootDir;
    if (component.ReadText(RootDir, RootDirCapacity, &rootDir) != kSuccess) {
      Decide(Decision::RootDirAbsent, componentName);
      return true;
    }
    // Only a root verified through its own handle is emptied, and removed
    // through that handle.  One that is unsafe or fails the checks (a link,
    // or one that cannot be opened) is left as it is with its key, like
    // a component without a root; one that is not there has nothing to
    // empty, and its key still goes.
    FileHandle dir;
    std::string finalPath;
    long code = 0;
    switch (OpenVerifiedRoot(rootDir, &dir, &finalPath, &code)) {
      case RootCheck::Unsafe: Decide(Decision::RootUnsafe, componentName); return true;
      case RootCheck::Refused: Decide(Decision::RootRefused, componentName, code); return true;
      case RootCheck::Missing: Decide(Decision::RootMissing, componentName); break;
      case RootCheck::Verified: {
        const RootVerdict verdict = RootIsOwn(componentName, finalPath, shared);
        if (verdict == RootVerdict::Later) {
          shared.MarkPutOff(componentName);
          return false;
        }
        if (verdict == RootVerdict::NotOwn) return true;
        EmptyDirectory(dir, finalPath, componentName);
        const long removed =
            plan::MayDelete(dir, finalPath, journal::FileChange::RemoveDirectory) ? dir.Dispose()
                                                                                  : kCodeWithheld;
        if (removed == kSuccess)
          journal::FileChanged(journal::FileChange::RemoveDirectory, finalPath);
        Decide(removed == kSuccess ? Decision::TreeRemoved : Decision::TreeKept, componentName,
               removed);
        break;
      }
    }
  }
  // The key goes, through its own handle, even when files stayed behind;
  // it fails, harmlessly, when the component's key has subkeys of its own.
  const long deleted = !deletable ? kErrorAccessDenied
                       : !plan::MayDeleteKey(Root::LocalMachine, JoinPath(SharedKey, componentName))
                           ? kCodeWithheld
                           : component.Delete();
  if (deleted == kSuccess) journal::KeyDeleted(Root::LocalMachine, JoinPath(SharedKey, componentName));
  Decide(deleted == kSuccess ? Decision::ComponentKeyDeleted : Decision::ComponentKeyKept, componentName,
         deleted);
  return true;
}

}  // namespace qf
