#include "common/paths.h"
#include "common/schema.h"
#include "linkproof/linkproof.h"
#include "plan/plan.h"

namespace qf::plan {
namespace {

using namespace platform;

std::string Failed(const char* what, long code) {
  return std::string(what) + " (error " + std::to_string(code) + ")";
}

// The plan file's bytes, read below its verified directory: neither the
// directory nor the file may be a link or reached through one.
std::string ReadPlanFile(const std::string& path, std::string* text) {
  std::string dir, name;
  const std::string resolved = IsBelowRoot(path) ? ResolveAbsolutePath(path) : std::string();
  if (resolved.empty() || !SplitParent(resolved, &dir, &name) || name.empty())
    return "it is no absolute path of a file";
  FileHandle directory;
  std::string dirPath;
  long code = 0;
  switch (OpenVerifiedRoot(dir, &directory, &dirPath, &code)) {
    case RootCheck::Missing: return "its directory is not there";
    case RootCheck::Unsafe: return "its directory is no directory below a drive's or share's root";
    case RootCheck::Refused: return Failed("its directory is a link, reached through one, or cannot be opened", code);
    case RootCheck::Verified: break;
  }
  FileHandle file;
  if (long failed = file.OpenBelow(directory, name, FileAccess::Read))
    return IsAbsent(failed) ? "it is not there" : Failed("it cannot be opened", failed);
  FileFacts facts;
  if (long failed = file.Facts(&facts)) return Failed("it cannot be opened", failed);
  if ((facts.attributes & (kAttrDirectory | kAttrReparsePoint)) != 0 ||
      !SameName(facts.finalPath, JoinFinalPath(dirPath, name)))
    return "it is a link or no plain file";
  if (long failed = file.Read(kPlanBytesLimit, text)) return Failed("it cannot be read", failed);
  return "";
}

}  // namespace

std::string LoadPlan(bool* named, std::string* path, Allowed* allowed) {
  *named = false;
  {
    // Reached and read as the record's policy is: in the 64-bit view, never
    // through a link.  Unlike the record's, a policy that is there but
    // cannot be read is no policy missing: it may name a plan, so nothing
    // changes.
    RegKey policy;
    const long opened = OpenKeyAsItself(Root::LocalMachine, PolicyKey, kKeyRead, &policy, kKeyView64);
    const long read = opened != kSuccess ? opened : policy.ReadText(UninstallPlan, UninstallPlanCapacity, path);
    if (IsAbsent(read)) return "";
    *named = true;
    if (read != kSuccess) {
      *path = std::string(RootName(Root::LocalMachine)) + "\\" + JoinPath(PolicyKey, UninstallPlan);
      return Failed("the policy that names it cannot be read", read);
    }
  }
  std::string text;
  const std::string unread = ReadPlanFile(*path, &text);
  if (!unread.empty()) return unread;
  RunFacts facts;
  if (long failed = ProcessFacts(&facts)) return Failed("this computer's name cannot be read", failed);
  return ParsePlan(text, facts.computer, allowed);
}

Lock::Lock() {
  // Running out of memory here ends the pass, as anywhere in it, before
  // any change.
  std::string path;
  const std::string why = LoadPlan(&named_, &path, &allowed_);
  if (!named_) return;
  usable_ = why.empty();
  if (!usable_) allowed_ = Allowed();
  if (usable_)
    Decide(Decision::PlanFollowed, path);
  else
    Decide(Decision::PlanUnusable, path, 0, 0, why);
}

const Lock*& Current() {
  static const Lock* lock = nullptr;
  return lock;
}

}  // namespace qf::plan
