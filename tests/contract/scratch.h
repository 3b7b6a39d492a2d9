// The scratch area of one contract test case, and the base of every
// contract suite.
//
// The cases exercise the platform only through platform.h.  Arranging what
// they work on (keys with raw values, directories, files, links, a library
// with a known entry) and removing it afterwards goes through Scratch, which
// has one implementation per backend: scratch_sim.cpp over the simulation's
// control API, scratch_win32.cpp over the raw Win32 API.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/platform.h"

namespace qf::contract {

struct StoredValue {
  uint32_t type = 0;
  std::string data;  // raw bytes

  bool operator==(const StoredValue& other) const {
    return type == other.type && data == other.data;
  }
};

// An entry that takes one text, a path, and makes it the current directory.
struct TextEntry {
  std::string library;
  std::string entry;
};

// Everything a case makes lives below one fresh key and one fresh directory,
// both empty at the start and removed, with all they hold, when the Scratch
// is destroyed; the current directory is restored then too.  Set-up failures
// throw std::runtime_error, which fails the case.
class Scratch {
 public:
  virtual ~Scratch() = default;

  // ---- Registry: `sub` is relative to the scratch key, "" the key itself.
  platform::Root KeyRoot() const { return platform::Root::CurrentUser; }
  // The scratch key's path under KeyRoot().
  const std::string& KeyPath() const { return keyPath_; }
  std::string KeyPath(const std::string& sub) const;
  virtual void CreateKey(const std::string& sub) = 0;  // with its parents
  // Stores exactly `bytes`: no terminator is added to texts.  Names, and the
  // bytes of texts (kRegSz, kRegExpandSz), are UTF-8, kept as the system
  // keeps them (UTF-16 on Windows); Value gives them back so.
  virtual void SetValue(const std::string& sub, const std::string& name,
                        uint32_t type, const std::string& bytes) = 0;
  // A link key at `sub` to the key at `targetSub`, which need not exist.
  virtual void MakeKeyLink(const std::string& sub, const std::string& targetSub) = 0;
  // Whether `sub` opens (a link whose target exists counts).
  virtual bool KeyExists(const std::string& sub) = 0;
  virtual std::optional<StoredValue> Value(const std::string& sub,
                                           const std::string& name) = 0;

  // ---- Files: `rel` is relative to the scratch directory.
  // The scratch directory's absolute path, without a trailing backslash.
  const std::string& Dir() const { return dir_; }
  std::string Path(const std::string& rel) const;
  virtual void MakeDir(const std::string& rel) = 0;  // with its parents
  // A file holding the bytes of `rel` itself.
  virtual void MakeFile(const std::string& rel, bool readOnly = false) = 0;
  // The bytes of the file at `rel`; nullopt when no file can be read there.
  virtual std::optional<std::string> FileContents(const std::string& rel) = 0;
  // A link at `rel` to `targetRel`.  Returns "" when made, otherwise why this
  // backend cannot make one here (the case is then skipped).
  virtual std::string MakeLink(const std::string& rel,
                               const std::string& targetRel,
                               bool directory) = 0;
  // Whether something is at `rel` (a link counts itself, not its target).
  virtual bool Exists(const std::string& rel) = 0;
  // Renames `rel` to `newRel` as another process would (MoveFileW); the
  // system's result code.
  virtual long Rename(const std::string& rel, const std::string& newRel) = 0;

  // ---- The kind of process
  // Whether this process is a 32-bit one on 64-bit Windows (WOW64) once
  // asked to be `wanted`: the simulation becomes what is asked for, a real
  // process is what it is.
  virtual bool Wow64(bool wanted) = 0;

  // ---- Libraries
  // The process's current directory, as the backend keeps it.
  virtual std::string CurrentDir() = 0;
  virtual TextEntry CurrentDirectorySetter() = 0;

 protected:
  Scratch(std::string keyPath, std::string dir)
      : keyPath_(std::move(keyPath)), dir_(std::move(dir)) {}

 private:
  std::string keyPath_;
  std::string dir_;
};

// A scratch area named after the case; implemented once per backend.
std::unique_ptr<Scratch> NewScratch(const std::string& caseName);

// How the system itself makes `path` absolute (GetFullPathNameW); nullopt
// where there is no system to ask.
std::optional<std::string> SystemFullPath(const std::string& path);

// Non-empty when the platform is Wine, which keeps links as unix symbolic
// links and acts on their targets where Windows acts on the link; the text
// says what differs.  Cases that depend on it are skipped there.
std::string WineLinkQuirk();

// Base of every contract suite: each case gets its own Scratch.
class ContractTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override { scratch_.reset(); }
  Scratch& scratch() { return *scratch_; }

 private:
  std::unique_ptr<Scratch> scratch_;
};

}  // namespace qf::contract
