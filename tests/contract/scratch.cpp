#include "scratch.h"

#include <cctype>

#include "common/paths.h"

namespace qf::contract {

std::string Scratch::KeyPath(const std::string& sub) const {
  return sub.empty() ? keyPath_ : JoinPath(keyPath_, sub);
}

std::string Scratch::Path(const std::string& rel) const {
  return rel.empty() ? dir_ : JoinPath(dir_, rel);
}

void ContractTest::SetUp() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  // The name becomes a key and a directory name: keep it to plain characters.
  std::string name = std::string(info->test_suite_name()) + "." + info->name();
  for (char& c : name) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.') c = '_';
  }
  scratch_ = NewScratch(name);
}

}  // namespace qf::contract
