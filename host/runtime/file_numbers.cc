#include "host/runtime/file_numbers.h"

#include "host/runtime_error.h"

namespace tkw::host {

std::int32_t FileNumbers::FreeFile() const {
  std::int32_t number = 1;
  for (const auto& [taken, file] : open_) {
    if (taken != number)
      break;
    ++number;
  }
  return number;
}

void FileNumbers::Open(const std::wstring& path, FileMode mode, std::int32_t number) {
  if (open_.contains(number))
    throw RuntimeError::FileAlreadyOpen();
  open_.emplace(number, shell_.OpenTextFile(kernel_.WideToAnsi(path), mode));
}

void FileNumbers::PrintLine(std::int32_t number, const std::wstring& text) {
  Find(number).Write(kernel_.WideToAnsi(text) + "\r\n");
}

void FileNumbers::Close(std::int32_t number) {
  auto file = open_.extract(number);
  if (file.empty())
    throw RuntimeError::BadFileNameOrNumber();
  file.mapped()->Close();
}

TextFile& FileNumbers::Find(std::int32_t number) {
  auto it = open_.find(number);
  if (it == open_.end())
    throw RuntimeError::BadFileNameOrNumber();
  return *it->second;
}

}  // namespace tkw::host
