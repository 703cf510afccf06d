// tkwcheck's output: findings compiler-style or as JSON, and what a run did (or would do),
// definition by definition.
#pragma once

#include <ostream>
#include <vector>

#include "tools/tkwcheck/check.h"
#include "tools/tkwcheck/run_story.h"

namespace tkw::check {

enum class Format { kText, kJson };

// "PLACE: error: MESSAGE [rule]" a line each (a finding about the whole machine has no place),
// then "N errors, M warnings". `judgedAgainst`, when not empty, names the PowerPoint the
// findings were judged against, in the first line.
void PrintFindings(std::ostream& out, const std::vector<Finding>& findings, Format format,
                   const std::string& judgedAgainst = {});

// tkwcheck --installed: the findings, told whether PowerPoint was running when they were made,
// which decides what is absent by design. In text a line says so when it was not.
void PrintInstalled(std::ostream& out, const std::vector<Finding>& findings, bool powerPointRunning,
                    Format format);

// A line per definition, then how the run ended. `places`, when given, holds each
// definition's registry line; `warning` and `note`, when not empty, are told once, before the
// definitions, and `judgedAgainst` before them.
// `skippedLines` are the lines of the registry that its reader skips, told before the
// definitions.
void PrintStory(std::ostream& out, const RunStory& story, const std::vector<Place>* places,
                const std::string& messageBoxes, Format format, const std::string& warning = {},
                const std::string& judgedAgainst = {}, const std::string& note = {},
                const std::vector<std::string>& skippedLines = {});

// Counts of findings that make the exit status 1.
bool HasErrorsOrWarnings(const std::vector<Finding>& findings);

}  // namespace tkw::check
