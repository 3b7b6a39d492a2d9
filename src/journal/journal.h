// What the pass tells as it goes: each decision, and each change it made
// to the machine, at the moment it made it.  The decisions go to the
// platform's journal (the simulation keeps them; Windows does not) and, with
// the changes, to whoever listens: the run record, when one is kept.  With
// nobody listening, telling a change costs a test of one pointer.
#pragma once

#include <cstdint>
#include <string>

#include "common/decisions.h"
#include "platform/platform.h"

namespace qf {

// Tells what the pass decided at a step, about `subject`, with up to two
// numbers and a text naming what else it concerns (see Decision).
void Decide(Decision decision, const std::string& subject, int64_t first = 0,
            int64_t second = 0, const std::string& detail = {});

namespace journal {

// What a change did to a file-system object, as the reports name it.
enum class FileChange { DeleteFile, RemoveDirectory, RemoveLink };

// Hears the pass.  Registry paths are below their root; file paths are
// final paths.
class Listener {
 public:
  virtual ~Listener() = default;
  virtual void Decided(Decision decision, const std::string& subject, int64_t first,
                       int64_t second, const std::string& detail) = 0;
  virtual void FileChanged(FileChange change, const std::string& path) = 0;
  virtual void KeyDeleted(platform::Root root, const std::string& path) = 0;
  virtual void ValueDeleted(platform::Root root, const std::string& key,
                            const std::string& name) = 0;
  // A REG_SZ `text`, or with `dword` the REG_DWORD `number`.
  virtual void ValueWritten(platform::Root root, const std::string& key, const std::string& name,
                            bool dword, uint32_t number, const std::string& text) = 0;
  virtual void Called(const std::string& library, const std::string& entry,
                      const std::string& argument) = 0;
  virtual void Beeped() = 0;
  virtual void BoxShown(const std::string& caption, const std::string& text, uint32_t icon) = 0;
  // A step of the pass is over: what was heard so far should be kept.
  virtual void StepEnded() = 0;
};

// The one listener of this pass, or null.  Set for the length of one pass
// only (the library keeps nothing between calls).
Listener*& Current();

class ScopedListener {
 public:
  explicit ScopedListener(Listener* listener) { Current() = listener; }
  ~ScopedListener() { Current() = nullptr; }
  ScopedListener(const ScopedListener&) = delete;
  ScopedListener& operator=(const ScopedListener&) = delete;
};

inline void FileChanged(FileChange change, const std::string& path) {
  if (Listener* l = Current()) l->FileChanged(change, path);
}
inline void KeyDeleted(platform::Root root, const std::string& path) {
  if (Listener* l = Current()) l->KeyDeleted(root, path);
}
inline void ValueDeleted(platform::Root root, const std::string& key, const std::string& name) {
  if (Listener* l = Current()) l->ValueDeleted(root, key, name);
}
inline void ValueWritten(platform::Root root, const std::string& key, const std::string& name,
                         bool dword, uint32_t number, const std::string& text) {
  if (Listener* l = Current()) l->ValueWritten(root, key, name, dword, number, text);
}
inline void Called(const std::string& library, const std::string& entry,
                   const std::string& argument) {
  if (Listener* l = Current()) l->Called(library, entry, argument);
}
inline void Beeped() {
  if (Listener* l = Current()) l->Beeped();
}
inline void BoxShown(const std::string& caption, const std::string& text, uint32_t icon) {
  if (Listener* l = Current()) l->BoxShown(caption, text, icon);
}
inline void StepEnded() {
  if (Listener* l = Current()) l->StepEnded();
  platform::JournalStepEnded();
}

}  // namespace journal
}  // namespace qf
