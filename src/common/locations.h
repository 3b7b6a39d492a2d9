// Registry locations of the product, its maker and the system.  They are
// compile-time texts, so they exist for as long as the library is loaded.
#pragma once

namespace qf {

// Under HKEY_LOCAL_MACHINE.
inline constexpr char MakerKey[] = "Software\\Halvern";
inline constexpr char ProductVersionKey[] = "Software\\Halvern\\Quillforge\\3.0";
inline constexpr char UnInstInfoKey[] =
    "Software\\Halvern\\Quillforge\\3.0\\UnInstInfo";
inline constexpr char SharedKey[] = "Software\\Halvern\\Halvern Shared";
inline constexpr char HelpRegistrationKey[] = "Software\\Microsoft\\Windows\\Help";

// Under HKEY_CURRENT_USER.
inline constexpr char ProductKey[] = "Software\\Halvern\\Quillforge";

// The name of SharedKey below MakerKey.
inline constexpr char SharedKeyName[] = "Halvern Shared";

}  // namespace qf
