#include "tools/command_line/command_line.h"

#include <algorithm>

#ifdef _WIN32
#include <windows.h>
#endif

namespace tkw::command_line {

const char* ProjectVersion() {
  return TKW_VERSION;
}

std::string SystemMessage(std::uint32_t error) {
#ifdef _WIN32
  char* text = nullptr;
  const DWORD length = ::FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string message = length > 0 ? std::string(text, length) : std::string();
  ::LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r'))
    message.pop_back();
  if (!message.empty())
    return message;
#else
  // The emulated machine answers with Windows' codes; these are the ones its files give.
  switch (error) {
    case 2:
      return "The system cannot find the file specified.";
    case 3:
      return "The system cannot find the path specified.";
    case 5:
      return "Access is denied.";
    case 32:
      return "The process cannot access the file because it is being used by another process.";
    case 206:
      return "The filename or extension is too long.";
    default:
      break;
  }
#endif
  return "Windows error " + std::to_string(error);
}

std::string OneLine(std::string text) {
  std::replace(text.begin(), text.end(), '\n', ' ');
  std::replace(text.begin(), text.end(), '\r', ' ');
  return text;
}

std::string Arguments::ValueOf(const std::string& option) {
  if (!ValueFollows())
    throw UsageError(option + " needs a value");
  return Next();
}

bool Arguments::ValueFollows() const {
  return !Done() && !IsOption(arguments_[next_]);
}

void Unknown(const std::string& argument) {
  throw UsageError(Arguments::IsOption(argument) ? "unknown option " + argument
                                                 : "unexpected argument " + argument);
}

int AnswerHelpOrVersion(const Tool& tool, const std::vector<std::string>& arguments,
                        std::ostream& out) {
  for (const std::string& argument : arguments) {
    if (argument == "--help" || argument == "-h") {
      out << tool.usage << tool.help << std::flush;
      return 0;
    }
    if (argument == "--version") {
      out << tool.name << " (tkwPPTToolbarAdder) " << ProjectVersion() << '\n' << std::flush;
      return 0;
    }
  }
  return -1;
}

int RefuseCommandLine(const Tool& tool, const std::string& what, std::ostream& err) {
  err << tool.name << ": " << OneLine(what) << '\n' << tool.usage << std::flush;
  return 2;
}

int TellFailure(const Tool& tool, const std::string& what, std::ostream& err) {
  err << tool.name << ": " << OneLine(what) << '\n' << std::flush;
  return 2;
}

}  // namespace tkw::command_line
