// The command-line manner every companion tool shares: --help and -h print the usage on
// standard output, --version the tool's name and the project's version; a wrong command line is
// one line on standard error naming the tool and what was wrong, then the usage, exit status 2;
// whatever stops the tool from looking at all is "TOOL: why", exit status 2.
#pragma once

#include <cstdint>
#include <exception>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace tkw::command_line {

// A command line the tool cannot take: what was wrong, in one line.
struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct Tool {
  const char* name;
  std::string usage;  // "usage: ..." lines, each ending in '\n'
  std::string help;   // what --help tells below the usage, each line ending in '\n'
};

// The project's version, as CMake's project() gives it.
const char* ProjectVersion();

// The text of a Windows error code, as the system words it.
std::string SystemMessage(std::uint32_t error);

// A message as one line, whatever the text it quotes.
std::string OneLine(std::string text);

// The arguments one after another, and the values of the options that take one.
class Arguments {
 public:
  Arguments(int argc, char** argv) : arguments_(argv + 1, argv + argc) {}
  explicit Arguments(std::vector<std::string> arguments) : arguments_(std::move(arguments)) {}

  bool Done() const { return next_ == arguments_.size(); }
  // The next argument.
  const std::string& Next() { return arguments_[next_++]; }
  // The value that must follow `option`: an option in its place is no value.
  std::string ValueOf(const std::string& option);
  // Whether a value follows, for an option whose value may be left out.
  bool ValueFollows() const;
  // Whether `argument` is an option or a value. "-" alone names standard output or input.
  static bool IsOption(const std::string& argument) {
    return argument.size() > 1 && argument.front() == '-';
  }

  const std::vector<std::string>& all() const { return arguments_; }

 private:
  std::vector<std::string> arguments_;
  std::size_t next_ = 0;
};

// Throws the UsageError for an argument the tool does not know.
[[noreturn]] void Unknown(const std::string& argument);

// The tool's status for --help, -h or --version when the arguments ask for one (and prints
// it), or -1 when they do not.
int AnswerHelpOrVersion(const Tool& tool, const std::vector<std::string>& arguments,
                        std::ostream& out);
// Tells a wrong command line: status 2.
int RefuseCommandLine(const Tool& tool, const std::string& what, std::ostream& err);
// Tells what stopped the tool: status 2.
int TellFailure(const Tool& tool, const std::string& what, std::ostream& err);

// A tool's main: `parse` turns the arguments into options or throws UsageError; `run` gives
// the exit status, and whatever it throws stops the tool with status 2.
template <typename Parse, typename Run>
int ToolMain(const Tool& tool, Arguments arguments, std::ostream& out, std::ostream& err,
             Parse parse, Run run) {
  if (const int status = AnswerHelpOrVersion(tool, arguments.all(), out); status >= 0)
    return status;
  try {
    const auto options = parse(arguments);
    out.flush();
    try {
      return run(options);
    } catch (const std::exception& error) {
      out.flush();
      return TellFailure(tool, error.what(), err);
    }
  } catch (const UsageError& error) {
    return RefuseCommandLine(tool, error.what(), err);
  }
}

}  // namespace tkw::command_line
