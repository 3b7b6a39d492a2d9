// The machine's lists as their writers fill them.  Installers write a
// directory quoted or not, with a trailing separator or a stray quote,
// through %SystemDrive% or %ProgramFiles% (REG_EXPAND_SZ, and REG_SZ all the
// same), and a program as a command line with its arguments or an icon's
// place with its index.  Each reading that can name a directory is kept: a
// directory named one way more can only keep a root more.
#include "common/paths.h"
#include "linkproof/linkproof.h"
#include "ownership/lists.h"

namespace qf::lists {
namespace {

using namespace platform;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string Trimmed(std::string text) {
  while (!text.empty() && IsBlank(text.front())) text.erase(0, 1);
  while (!text.empty() && IsBlank(text.back())) text.pop_back();
  return text;
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

// Where the ASCII `word` first occurs in `text`, ignoring case; npos for nowhere.
size_t FindWord(const std::string& text, std::string_view word, size_t from = 0) {
  for (size_t at = from; at + word.size() <= text.size(); ++at) {
    size_t i = 0;
    while (i < word.size() && Lower(text[at + i]) == word[i]) ++i;
    if (i == word.size()) return at;
  }
  return std::string::npos;
}

// `text` with the machine's own folders for the names a 32-bit process's
// environment gives the (x86) ones.
std::string WithMachineFolders(std::string text, const Expansion& how) {
  const std::pair<std::string_view, const std::string*> names[] = {
      {"%programfiles%", &how.programFiles},       {"%programw6432%", &how.programFiles},
      {"%commonprogramfiles%", &how.commonFiles}, {"%commonprogramw6432%", &how.commonFiles}};
  for (const auto& [name, folder] : names) {
    if (folder->empty()) continue;
    for (size_t at = FindWord(text, name); at != std::string::npos; at = FindWord(text, name, at + folder->size()))
      text.replace(at, name.size(), *folder);
  }
  return text;
}

// The texts `text` reads as: itself, or where it names a variable, as the
// environment expands it and (where asked) with the machine's own folders.
std::vector<std::string> Readings(const std::string& text, const Expansion& how) {
  if (text.find('%') == std::string::npos) return {text};
  std::vector<std::string> readings;
  std::string expanded;
  if (ExpandEnvironment(text, &expanded) == kSuccess) readings.push_back(expanded);
  if (how.machineFolders && ExpandEnvironment(WithMachineFolders(text, how), &expanded) == kSuccess)
    readings.push_back(expanded);
  return readings;
}

// Quotes around the text off, and one left at either end without its pair.
std::string Unquoted(std::string text) {
  text = Trimmed(std::move(text));
  if (!text.empty() && text.front() == '"') {
    const size_t closing = text.find('"', 1);
    text = text.substr(1, closing == std::string::npos ? std::string::npos : closing - 1);
  }
  if (!text.empty() && text.back() == '"') text.pop_back();
  return Trimmed(std::move(text));
}

// The program a command line or an icon's place names: the quoted path, or
// up to the first ".exe" that ends a name, or the text without ",index".
std::string ProgramOf(std::string text) {
  text = Trimmed(std::move(text));
  if (!text.empty() && text.front() == '"') return Unquoted(std::move(text));
  for (size_t at = FindWord(text, ".exe"); at != std::string::npos; at = FindWord(text, ".exe", at + 1)) {
    const size_t end = at + 4;
    if (end == text.size() || IsBlank(text[end]) || text[end] == ',' || text[end] == '"')
      return text.substr(0, end);
  }
  const size_t comma = text.rfind(',');
  if (comma != std::string::npos) {
    const std::string index = Trimmed(text.substr(comma + 1));
    if (!index.empty() && index.find_first_not_of("-0123456789") == std::string::npos) text.erase(comma);
  }
  return Unquoted(std::move(text));
}

bool IsSystemsRunner(const std::string& file) {
  return SameName(file, "msiexec.exe") || SameName(file, "rundll32.exe");
}

}  // namespace

std::string Shown(const Place& place, const char* path) {
  std::string shown = std::string(RootName(place.root)) + "\\" + path;
  if (place.view == kKeyView64) shown += " (64-bit view)";
  if (place.view == kKeyView32) shown += " (32-bit view)";
  return shown;
}

std::vector<std::string> PathsOf(std::string text, const Expansion& how) {
  std::vector<std::string> paths;
  for (const std::string& reading : Readings(Unquoted(std::move(text)), how)) {
    const std::string path = ResolveAbsolutePath(Unquoted(reading));
    if (!path.empty()) paths.push_back(path);
  }
  return paths;
}

std::vector<std::string> ProgramDirsOf(std::string text, const Expansion& how) {
  std::vector<std::string> dirs;
  for (const std::string& reading : Readings(Trimmed(std::move(text)), how)) {
    std::string dir, file;
    if (!SplitParent(ResolveAbsolutePath(ProgramOf(reading)), &dir, &file) || IsSystemsRunner(file)) continue;
    dirs.push_back(dir);
  }
  return dirs;
}

}  // namespace qf::lists
