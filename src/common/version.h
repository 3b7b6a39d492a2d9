// The library's version, written once: the version resource (version.rc)
// is compiled from these, and the code that reports the version names them,
// so what the file's properties show and what the library says it is agree.
// Plain macros, since the resource compiler reads this file too.
#pragma once

#define QF_FILE_VERSION 3, 0, 0, 0
#define QF_FILE_VERSION_TEXT "3.0"

#ifndef RC_INVOKED
namespace qf {
// The version resource's "FileVersion".
inline constexpr char FileVersion[] = QF_FILE_VERSION_TEXT;
}  // namespace qf
#endif
