// What tkwremove --plan says it would do, in the words of the removal that has done it, so
// that a test can hold the one to the other line for line.
#pragma once

#include <string>
#include <string_view>
#include <utility>

namespace tkw::test_support {

inline std::string PlanAsDone(std::string text) {
  for (const auto& [plan, done] : {std::pair{"removes ", "removed "},
                                   {"leaves ", "left "},
                                   {"refuses ", "refused "},
                                   {"puts back ", "put back "},
                                   {"cannot put back ", "could not put back "}}) {
    for (std::size_t at = 0; (at = text.find(plan, at)) != std::string::npos;)
      text.replace(at, std::string_view(plan).size(), done);
  }
  return text;
}

}  // namespace tkw::test_support
