// What a plan file holds beyond the preview's JSON document, as qfpreview
// writes it and the library reads it back: the names are spelt here only.
//
//   "plan": {"format": 1, "product": "Quillforge", "version": "3.0",
//            "library": "3.0", "computer": "NAME"}
//   "changes": [
//     {"op": "delete-file", "path": "C:\\...", "identity":
//        {"volume": 1, "id": 2, "size": 12, "lastWrite": 133...}, ...},
//     {"op": "delete-key", "root": "HKCU", "path": "Software\\...", ...},
//     {"op": "delete-value", "root": "HKLM", "path": "...", "name": "guide.hlp",
//      "was": {"type": 1, "data": "<the bytes read, in hexadecimal>"}, ...},
//     {"op": "set-value", "root": "HKLM", "path": "...\\Data", "name": "UseCount",
//      "type": "REG_SZ", "data": "1", "was": "2", ...}, ...]
//   "calls": [{"library": "RWUNINST.DLL", "entry": "...", "argument": "/vrxreg"}]
//
// A count's "was" is what it held before, in the type of its "data": the
// text as the pass reads it, or the number.
#pragma once

namespace qf::plan::field {

inline constexpr int kFormat = 1;

inline constexpr char kPlan[] = "plan";
inline constexpr char kFormatField[] = "format";
inline constexpr char kProduct[] = "product";
inline constexpr char kVersion[] = "version";
inline constexpr char kLibrary[] = "library";
inline constexpr char kComputer[] = "computer";

inline constexpr char kChanges[] = "changes";
inline constexpr char kCalls[] = "calls";
inline constexpr char kOp[] = "op";
inline constexpr char kRoot[] = "root";
inline constexpr char kPath[] = "path";
inline constexpr char kName[] = "name";
inline constexpr char kType[] = "type";
inline constexpr char kData[] = "data";
inline constexpr char kEntry[] = "entry";
inline constexpr char kArgument[] = "argument";

inline constexpr char kIdentity[] = "identity";
inline constexpr char kVolume[] = "volume";
inline constexpr char kId[] = "id";
inline constexpr char kSize[] = "size";
inline constexpr char kLastWrite[] = "lastWrite";
inline constexpr char kWas[] = "was";

}  // namespace qf::plan::field
