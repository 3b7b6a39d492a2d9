// The record of one uninstall: what the pass decided and what it changed,
// as it happened, in a file of its own, kept only when an administrator's
// policy asks for it (UninstallRecord under PolicyKey).
//
// The threat: the record is written with the rights of whoever runs the
// uninstall, often an administrator, into a directory that a policy names.
// Installers' logs written that way have been turned into overwrites and
// deletions of other files: a link planted at the log's name, or in place of
// its directory, sends a privileged write wherever the planter likes.  A
// record that fails must not change the uninstall either.
//
// The defence, that of the deletions (linkproof.h) turned to writing:
// - the directory is opened once as itself and verified as a component's
//   root is (a directory, no link, not reached through one, named exactly),
//   and held so that it can be neither renamed nor replaced while the file
//   is created, and no longer: the pass may remove directories, and none it
//   may remove or empty (the shared area's, a component's root) is taken;
// - the file is created below that handle as a new file only: whatever has
//   its name already, a link of any kind included, is never opened, written
//   or truncated; another name is tried instead, and random bits in every
//   name keep anyone from taking the names in advance;
// - the path in the policy is taken as stored, never expanded, so the
//   user's own environment cannot choose where it goes;
// - anything that fails (no policy, a directory that is missing, refused or
//   full, a name that cannot be made, a write or an exception at any point)
//   ends the record and nothing else: the pass goes on exactly as without
//   one.  What was written stays true up to where it stops, and a record
//   without its last line says so.
#pragma once

#include <cstdint>
#include <string>

#include "journal/journal.h"
#include "platform/platform.h"

namespace qf::record {

// The record's format, as its first line gives it.
constexpr int kFormat = 1;

// What a change line's "op" names, as the record, its reader and the
// reports spell it.
namespace op {
inline constexpr char kDeleteFile[] = "delete-file";
inline constexpr char kRemoveDirectory[] = "remove-directory";
inline constexpr char kRemoveLink[] = "remove-link";
inline constexpr char kDeleteKey[] = "delete-key";
inline constexpr char kDeleteValue[] = "delete-value";
inline constexpr char kSetValue[] = "set-value";
}  // namespace op

// Where the record of a pass goes, or why none is kept.
struct RecordPlace {
  bool kept = false;
  std::string dir;  // the policy's directory as stored; "" without one
  std::string why;  // why no record is kept there
};

// Reads the policy and verifies its directory as the pass does before it
// keeps a record: the pass and the preview both ask this.  When it is kept,
// `*directory` (when given) holds the verified directory.
RecordPlace FindRecordPlace(platform::FileHandle* directory);

class RunRecord final : public journal::Listener {
 public:
  // Starts a record when the policy names a directory that passes every
  // check (FindRecordPlace); otherwise keeps none and has written nothing.
  // A file whose first line cannot be written (a full disk) stays, empty.
  RunRecord();
  // Writes the last line, saying whether the pass ran to its end (Finish).
  ~RunRecord() override;
  RunRecord(const RunRecord&) = delete;
  RunRecord& operator=(const RunRecord&) = delete;

  bool Keeping() const { return file_.Valid(); }
  // The pass ran to its end: the record is complete.
  void Finish() { complete_ = true; }

  void Decided(Decision decision, const std::string& subject, int64_t first, int64_t second,
               const std::string& detail) override;
  void FileChanged(journal::FileChange change, const std::string& path) override;
  void KeyDeleted(platform::Root root, const std::string& path) override;
  void ValueDeleted(platform::Root root, const std::string& key, const std::string& name) override;
  void ValueWritten(platform::Root root, const std::string& key, const std::string& name,
                    bool dword, uint32_t number, const std::string& text) override;
  void Called(const std::string& library, const std::string& entry,
              const std::string& argument) override;
  void Beeped() override;
  void BoxShown(const std::string& caption, const std::string& text, uint32_t icon) override;
  void StepEnded() override;

 private:
  struct Totals {
    uint64_t files = 0, directories = 0, links = 0, keys = 0, values = 0, changedValues = 0;
  };

  void Start();
  // Adds one line; written out once enough has gathered, or at a step's end.
  void Add(const std::string& line);
  void WriteOut(bool flush);
  void End();

  platform::FileHandle file_;
  std::string pending_;
  Totals totals_;
  bool complete_ = false;
};

}  // namespace qf::record
