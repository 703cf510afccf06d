#include "tools/tkwcheck/report.h"

#include <nlohmann/json.hpp>

#include "host/formats/utf8.h"

namespace tkw::check {
namespace {

const char* SeverityName(Severity severity) {
  switch (severity) {
    case Severity::kError:
      return "error";
    case Severity::kWarning:
      return "warning";
    case Severity::kNote:
      return "note";
  }
  return "note";
}

std::string Counted(std::size_t count, const char* what) {
  return std::to_string(count) + " " + what + (count == 1 ? "" : "s");
}

const char* EndName(RunStory::End end) {
  switch (end) {
    case RunStory::End::kCompleted:
      return "completed";
    case RunStory::End::kRefused:
      return "refused";
    case RunStory::End::kCutShort:
      return "cut short";
  }
  return "cut short";
}

const char* BuilderName(DefinitionStory::Builder builder) {
  return builder == DefinitionStory::Builder::kToolbar ? "toolbar" : "menu";
}

// The run as a whole, in sentences.
std::vector<std::string> RunSentences(const RunStory& story) {
  std::vector<std::string> sentences;
  if (story.noToolbarKey)
    sentences.push_back("There is no key SOFTWARE\\Tarnwick: no toolbar definitions were read.");
  if (story.noMenuKey && !story.noToolbarKey)
    sentences.push_back(
        "There is no key SOFTWARE\\Tarnwick\\PPTMenus: no menu definitions were read.");
  if (story.powerPointMissing)
    sentences.push_back("PowerPoint could not be started: no command bars were there to add to.");
  if (story.clipboardComponentMissing)
    sentences.push_back(
        "The clipboard component \"AtlClipBoard.Clipboard\" is missing: the user's clipboard "
        "was not restored and keeps the last face.");
  switch (story.end) {
    case RunStory::End::kCompleted:
      sentences.push_back("The run completed.");
      break;
    case RunStory::End::kRefused:
      sentences.push_back(
          "The run was refused: another copy was at work (\"Creating Mutex Failed\").");
      break;
    case RunStory::End::kCutShort:
      sentences.push_back(
          story.cutShortBy.empty()
              ? "The run was cut short: the log ends before \"Work completed successfully\"."
              : "The run was cut short by the error \"" + story.cutShortBy + "\".");
      break;
  }
  return sentences;
}

}  // namespace

bool HasErrorsOrWarnings(const std::vector<Finding>& findings) {
  for (const Finding& finding : findings) {
    if (finding.severity != Severity::kNote)
      return true;
  }
  return false;
}

namespace {

// `before` holds what the JSON object tells ahead of the findings.
void PrintFindings(std::ostream& out, const std::vector<Finding>& findings, Format format,
                   nlohmann::ordered_json before) {
  std::size_t errors = 0, warnings = 0;
  for (const Finding& finding : findings) {
    errors += finding.severity == Severity::kError;
    warnings += finding.severity == Severity::kWarning;
  }
  if (format == Format::kJson) {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const Finding& f : findings) {
      nlohmann::ordered_json item;
      if (!f.place.file.empty()) {
        item["location"] = f.place.Text();
        item["file"] = f.place.file;
        item["line"] = f.place.line;
      } else if (!f.place.key.empty()) {
        item["location"] = f.place.Text();
        item["key"] = f.place.key;
        item["value"] = f.place.value;
      }
      item["severity"] = SeverityName(f.severity);
      item["message"] = f.message;
      item["rule"] = f.rule;
      list.push_back(std::move(item));
    }
    nlohmann::ordered_json result = std::move(before);
    result["findings"] = std::move(list);
    result["errors"] = errors;
    result["warnings"] = warnings;
    out << result.dump(2) << '\n';
    return;
  }
  for (const Finding& f : findings) {
    if (!f.place.file.empty() || !f.place.key.empty())
      out << f.place.Text() << ": ";
    out << SeverityName(f.severity) << ": " << f.message << " [" << f.rule << "]\n";
  }
  out << Counted(errors, "error") << ", " << Counted(warnings, "warning") << '\n';
}

}  // namespace

void PrintFindings(std::ostream& out, const std::vector<Finding>& findings, Format format,
                   const std::string& judgedAgainst) {
  nlohmann::ordered_json before = nlohmann::ordered_json::object();
  if (!judgedAgainst.empty()) {
    before["judgedAgainst"] = judgedAgainst;
    if (format == Format::kText)
      out << "judged against " << judgedAgainst << '\n';
  }
  PrintFindings(out, findings, format, std::move(before));
}

void PrintInstalled(std::ostream& out, const std::vector<Finding>& findings, bool powerPointRunning,
                    Format format) {
  if (format == Format::kText && !powerPointRunning) {
    out << "note: PowerPoint is not running: what the program makes temporary (a bar of its own "
           "with its buttons, every menu control) is absent until it runs at PowerPoint's start\n";
  }
  nlohmann::ordered_json before = nlohmann::ordered_json::object();
  before["powerPointRunning"] = powerPointRunning;
  PrintFindings(out, findings, format, std::move(before));
}

void PrintStory(std::ostream& out, const RunStory& story, const std::vector<Place>* places,
                const std::string& messageBoxes, Format format, const std::string& warning,
                const std::string& judgedAgainst, const std::string& note,
                const std::vector<std::string>& skippedLines) {
  if (format == Format::kJson) {
    nlohmann::ordered_json run;
    if (!judgedAgainst.empty())
      run["judgedAgainst"] = judgedAgainst;
    run["started"] = story.started;
    run["end"] = EndName(story.end);
    if (!story.cutShortBy.empty())
      run["cutShortBy"] = story.cutShortBy;
    run["powerPointMissing"] = story.powerPointMissing;
    run["clipboardComponentMissing"] = story.clipboardComponentMissing;
    run["noToolbarKey"] = story.noToolbarKey;
    run["noMenuKey"] = story.noMenuKey;
    if (!messageBoxes.empty())
      run["messageBoxes"] = messageBoxes;
    if (!warning.empty())
      run["warning"] = warning;
    if (!note.empty())
      run["note"] = note;
    if (!skippedLines.empty())
      run["skippedLines"] = skippedLines;
    nlohmann::ordered_json definitions = nlohmann::ordered_json::array();
    for (std::size_t i = 0; i < story.definitions.size(); ++i) {
      const DefinitionStory& d = story.definitions[i];
      nlohmann::ordered_json item;
      item["builder"] = BuilderName(d.builder);
      item["name"] = formats::WideToUtf8(d.name);
      if (places != nullptr && !(*places)[i].file.empty()) {
        item["file"] = (*places)[i].file;
        item["line"] = (*places)[i].line;
      }
      item["outcome"] = d.outcome;
      item["details"] = d.details;
      definitions.push_back(std::move(item));
    }
    nlohmann::ordered_json result;
    result["run"] = std::move(run);
    result["definitions"] = std::move(definitions);
    out << result.dump(2) << '\n';
    return;
  }
  if (!judgedAgainst.empty())
    out << "judged against " << judgedAgainst << '\n';
  if (!warning.empty())
    out << "warning: " << warning << '\n';
  if (!note.empty())
    out << "note: " << note << '\n';
  for (const std::string& line : skippedLines)
    out << line << '\n';
  for (std::size_t i = 0; i < story.definitions.size(); ++i) {
    const DefinitionStory& d = story.definitions[i];
    if (places != nullptr && !(*places)[i].file.empty())
      out << (*places)[i].Text() << ": ";
    out << BuilderName(d.builder) << " \"" << formats::WideToUtf8(d.name) << "\": " << d.outcome;
    for (std::size_t j = 0; j < d.details.size(); ++j)
      out << (j == 0 ? " (" : "; ") << d.details[j];
    out << (d.details.empty() ? "" : ")") << '\n';
  }
  if (!messageBoxes.empty())
    out << "Message boxes:\n" << messageBoxes;
  for (const std::string& sentence : RunSentences(story))
    out << sentence << '\n';
}

}  // namespace tkw::check
