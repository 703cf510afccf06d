// Every rule tkwcheck reports, explained in one place: `tkwcheck --explain` prints them, and
// docs/definitions.md lists them (a test holds both to the rules the checker's sources name).
#pragma once

#include <ostream>
#include <span>
#include <string_view>

namespace tkw::check {

// Which of tkwcheck's looks reports a rule.
enum class RuleGroup { kDefinitions, kInstalled, kMachine };

struct Rule {
  const char* name;
  RuleGroup group;
  const char* severity;  // "error", "warning", "note", or two of them joined by " or "
  const char* summary;   // one line: what it finds
  const char* explanation;
  // Each a few lines: registry lines as an export holds them, or a situation in words.
  const char* bad;
  const char* good;
};

std::span<const Rule> Rules();
// The rule of that name, or null.
const Rule* FindRule(std::string_view name);
// What `tkwcheck --explain RULE` prints.
void PrintExplanation(std::ostream& out, const Rule& rule);
// A line per rule, its name, severity and summary, under a heading for each group: what
// `tkwcheck --explain` without a rule prints.
void PrintRuleList(std::ostream& out);

}  // namespace tkw::check
