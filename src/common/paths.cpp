#include "common/paths.h"

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

namespace {

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// Splits on backslashes, dropping empty components.
std::vector<std::string> Components(std::string_view text) {
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

}  // namespace

std::string ResolveAbsolutePath(std::string_view input) {
  std::string path(input);
  for (char& c : path) {
    if (c == '/') c = '\\';
  }

  // Split off the part that ".." cannot climb above: "C:\" or "\\server\share\".
  std::string root;
  std::vector<std::string> parts;
  if (path.size() >= 3 && IsLetter(path[0]) && path[1] == ':' && path[2] == '\\') {
    root = path.substr(0, 3);
    parts = Components(std::string_view(path).substr(3));
  } else if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') {
    parts = Components(std::string_view(path).substr(2));
    if (parts.size() < 2 || parts[0] == "?" || parts[0] == ".") return "";
    root = "\\\\" + parts[0] + "\\" + parts[1] + "\\";
    parts.erase(parts.begin(), parts.begin() + 2);
  } else {
    return "";
  }

  std::vector<std::string> kept;
  for (std::string& part : parts) {
    // The system drops trailing dots and blanks of a component, so "..."
    // and ". " name the directory itself.
    if (part != "..") {
      while (!part.empty() && (part.back() == '.' || part.back() == ' ')) part.pop_back();
    }
    if (part.empty()) continue;
    if (part == "..") {
      if (!kept.empty()) kept.pop_back();
    } else {
      kept.push_back(std::move(part));
    }
  }

  std::string out = root;
  for (size_t i = 0; i < kept.size(); ++i) {
    if (i > 0) out.push_back('\\');
    out += kept[i];
  }
  return out;
}

}  // namespace qf
