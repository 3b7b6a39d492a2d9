#include "common/paths.h"

#include <algorithm>
#include <vector>

namespace qf {

std::string JoinPath(std::string_view parent, std::string_view name) {
  std::string path;
  path.reserve(parent.size() + 1 + name.size());
  path.append(parent);
  path.push_back('\\');
  path.append(name);
  return path;
}

std::string JoinFinalPath(const std::string& parent, std::string_view name) {
  if (name.empty()) return parent;
  return !parent.empty() && parent.back() == '\\' ? parent + std::string(name)
                                                  : JoinPath(parent, name);
}

std::vector<std::string> SplitPath(std::string_view text) {
  std::vector<std::string> parts;
  std::string current;
  for (char c : text) {
    if (c != '\\') {
      current.push_back(c);
    } else if (!current.empty()) {
      parts.push_back(std::move(current));
      current.clear();
    }
  }
  if (!current.empty()) parts.push_back(std::move(current));
  return parts;
}

namespace {

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

bool OnlyDotsAndBlanks(const std::string& part) {
  return part.find_first_not_of(". ") == std::string::npos;
}

void DropTrailing(std::string& part, std::string_view chars) {
  while (!part.empty() && chars.find(part.back()) != std::string_view::npos) part.pop_back();
}

}  // namespace

std::string ResolveAbsolutePath(std::string_view input) {
  std::string path(input);
  for (char& c : path) {
    if (c == '/') c = '\\';
  }

  // Split off the part that ".." cannot climb above: "C:\" or "\\server\share".
  std::string root;
  std::vector<std::string> parts;
  if (path.size() >= 3 && IsLetter(path[0]) && path[1] == ':' && path[2] == '\\') {
    root = path.substr(0, 3);
    parts = SplitPath(std::string_view(path).substr(3));
  } else if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') {
    parts = SplitPath(std::string_view(path).substr(2));
    if (parts.size() < 2 || parts[0] == "?" || parts[0] == ".") return "";
    root = "\\\\" + parts[0] + "\\" + parts[1];
    parts.erase(parts.begin(), parts.begin() + 2);
    if (parts.empty()) return path.back() == '\\' ? root + "\\" : root;
    root.push_back('\\');
  } else {
    return "";
  }
  const bool trailingSeparator = path.back() == '\\';

  std::vector<std::string> kept;
  for (size_t i = 0; i < parts.size(); ++i) {
    std::string& part = parts[i];
    if (part == ".") continue;
    if (part == "..") {
      if (!kept.empty()) kept.pop_back();
      continue;
    }
    // Names such as "..." or ". ." mean different things to different
    // layers of the system; such a path is not resolved here at all.
    if (OnlyDotsAndBlanks(part)) return "";
    // The system drops the dots that end a directory name, and the dots and
    // blanks that end the last name.
    const bool last = i + 1 == parts.size() && !trailingSeparator;
    DropTrailing(part, last ? ". " : ".");
    kept.push_back(std::move(part));
  }

  std::string out = root;
  for (size_t i = 0; i < kept.size(); ++i) {
    if (i > 0) out.push_back('\\');
    out += kept[i];
  }
  if (trailingSeparator && !kept.empty()) out.push_back('\\');
  return out;
}

char DriveLetterOf(std::string_view path) {
  return path.size() >= 3 && IsLetter(path[0]) && path[1] == ':' && path[2] == '\\' ? path[0] : 0;
}

size_t RootLength(std::string_view resolved) {
  if (resolved.size() >= 3 && resolved[1] == ':') return 3;
  const size_t share = resolved.find('\\', 2);
  const size_t end = share == std::string_view::npos ? share : resolved.find('\\', share + 1);
  return end == std::string_view::npos ? resolved.size() : end + 1;
}

bool IsBelowRoot(std::string_view path) {
  const std::string resolved = ResolveAbsolutePath(path);
  // A name after the root ("C:\" or "\\server\share\").
  return !resolved.empty() &&
         resolved.find_first_not_of('\\', RootLength(resolved)) != std::string::npos;
}

bool SplitParent(std::string_view resolved, std::string* parent, std::string* name) {
  const size_t root = RootLength(resolved);
  while (resolved.size() > root && resolved.back() == '\\') resolved.remove_suffix(1);
  const size_t cut = resolved.rfind('\\');
  if (resolved.size() <= root || cut == std::string_view::npos) return false;
  *name = std::string(resolved.substr(cut + 1));
  *parent = std::string(resolved.substr(0, std::max(cut, root)));
  return true;
}

}  // namespace qf
