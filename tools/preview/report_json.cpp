// The report as one JSON document for tools.
#include <windows.h>

#include <nlohmann/json.hpp>

#include "report.h"

namespace qfpreview {

std::string Utf8(const std::string& ansi) {
  if (ansi.empty()) return ansi;
  const int wide =
      MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
  std::wstring buffer(static_cast<size_t>(wide), L'\0');
  MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), &buffer[0], wide);
  const int bytes =
      WideCharToMultiByte(CP_UTF8, 0, buffer.data(), wide, nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, buffer.data(), wide, &text[0], bytes, nullptr, nullptr);
  return text;
}

namespace {

nlohmann::ordered_json ChangeJson(const Change& change) {
  nlohmann::ordered_json out = {{"op", change.op}};
  if (!change.root.empty()) out["root"] = change.root;
  out["path"] = Utf8(change.path);
  if (change.op == "delete-value" || change.op == "set-value") out["name"] = Utf8(change.name);
  if (change.op == "set-value") {
    out["type"] = change.type;
    if (change.type == "REG_DWORD")
      out["data"] = change.number;
    else
      out["data"] = Utf8(change.text);
  }
  return out;
}

}  // namespace

std::string FormatJson(const Report& report) {
  nlohmann::ordered_json out;
  out["gate"] = report.gatePasses ? "passes" : "refuses";
  out["boxes"] = nlohmann::ordered_json::array();
  for (const Box& box : report.boxes)
    out["boxes"].push_back({{"caption", Utf8(box.caption)}, {"text", Utf8(box.text)}});
  out["changes"] = nlohmann::ordered_json::array();
  for (const Change& change : report.changes) out["changes"].push_back(ChangeJson(change));
  out["kept"] = nlohmann::ordered_json::array();
  for (const Kept& kept : report.kept)
    out["kept"].push_back({{"path", Utf8(kept.path)}, {"why", Utf8(kept.why)}});
  out["calls"] = nlohmann::ordered_json::array();
  for (const Call& call : report.calls)
    out["calls"].push_back({{"library", Utf8(call.library)},
                            {"entry", Utf8(call.entry)},
                            {"argument", Utf8(call.argument)}});
  return out.dump(2) + "\n";
}

}  // namespace qfpreview
