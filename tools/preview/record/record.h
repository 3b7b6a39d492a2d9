// A run's record, read back: the lines the library writes during a real
// uninstall (one JSON object a line, UTF-8) turned into the same actions and
// decisions the simulated pass hands over (run/), so the report tells a run
// as it tells a prediction.  What only a capture of the machine knows (sizes,
// the values that went with a key, the count a value held before) a record
// does not give, and is left out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "run/run.h"

namespace qfpreview {

// The record's own facts: its start line, and how it ends.
struct RecordFacts {
  std::string product, version, library, time, account, hostDir;
  int64_t process = 0;
  size_t lines = 0;       // lines read, the start line included
  bool ended = false;     // the last line is the end line
  bool complete = false;  // and that line says the pass ran to its end
  // The text stops inside a line (a write failed there): that line is left
  // out, and the record is true up to the line before it.
  bool cutInLine = false;
  std::optional<PassCounts> counts;  // the end line's totals
};

struct RunRecord {
  RecordFacts facts;
  PassRecord pass;
};

// A line the reader cannot take: not JSON, of an unknown kind, a field
// missing or of the wrong type, out of place.
class RecordError : public std::runtime_error {
 public:
  RecordError(size_t line, const std::string& what)
      : std::runtime_error("line " + std::to_string(line) + ": " + what), line_(line) {}
  size_t line() const { return line_; }

 private:
  size_t line_;
};

// Reads a whole record.  Throws RecordError.
RunRecord ReadRecord(std::string_view text);

}  // namespace qfpreview
