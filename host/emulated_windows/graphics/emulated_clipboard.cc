#include "host/emulated_windows/graphics/emulated_clipboard.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <system_error>

namespace tkw::emulated {

namespace fs = std::filesystem;

namespace {

bool SameName(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) ==
           std::tolower(static_cast<unsigned char>(y));
  });
}

// A standard format's file is its number; every other file holds a registered format.
std::optional<unsigned> StandardFormat(const std::string& fileName) {
  if (fileName.empty() || fileName.size() > 5 ||
      !std::all_of(fileName.begin(), fileName.end(),
                   [](char c) { return std::isdigit(static_cast<unsigned char>(c)); })) {
    return std::nullopt;
  }
  const unsigned number = static_cast<unsigned>(std::stoul(fileName));
  if (number == 0 || number >= kFirstRegisteredFormat)
    return std::nullopt;
  return number;
}

}  // namespace

EmulatedClipboard::EmulatedClipboard(fs::path prefix, EmulatedGlobalMemory& memory)
    : prefix_(std::move(prefix)), folder_(prefix_ / "clipboard"), memory_(memory) {}

EmulatedClipboard::~EmulatedClipboard() {
  CloseClipboard();
  ReleaseBlocks();
}

bool EmulatedClipboard::OpenClipboard(host::Handle /*owner*/) {
  if (lock_fd_ >= 0)
    return true;  // this process holds it already
  std::error_code error;
  fs::create_directories(folder_, error);
  if (error)
    return false;
  const int fd = ::open((prefix_ / "clipboard.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0)
    return false;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return false;
  }
  lock_fd_ = fd;
  // Another process may have changed the clipboard since blocks were last handed out.
  ReleaseBlocks();
  return true;
}

bool EmulatedClipboard::CloseClipboard() {
  if (lock_fd_ < 0)
    return false;
  ReleaseBlocks();
  ::close(lock_fd_);  // closing the descriptor drops the lock
  lock_fd_ = -1;
  return true;
}

bool EmulatedClipboard::EmptyClipboard() {
  if (lock_fd_ < 0)
    return false;
  ReleaseBlocks();
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(folder_, error)) {
    fs::remove(entry.path(), error);
  }
  return true;
}

unsigned EmulatedClipboard::RegisterClipboardFormatA(const std::string& name) {
  // The name becomes a file name, so it must be one.
  if (name.empty() || name == "." || name == ".." ||
      name.find_first_of(std::string_view("/\0", 2)) != std::string::npos) {
    return 0;
  }
  const auto found = std::find_if(registered_.begin(), registered_.end(),
                                  [&](const std::string& known) { return SameName(known, name); });
  if (found != registered_.end()) {
    return kFirstRegisteredFormat + static_cast<unsigned>(found - registered_.begin());
  }
  registered_.push_back(name);
  return kFirstRegisteredFormat + static_cast<unsigned>(registered_.size() - 1);
}

std::optional<fs::path> EmulatedClipboard::FileOf(unsigned format) const {
  if (format == 0)
    return std::nullopt;
  if (format < kFirstRegisteredFormat)
    return folder_ / std::to_string(format);
  const std::size_t index = format - kFirstRegisteredFormat;
  if (index >= registered_.size())
    return std::nullopt;
  // Another process may have stored the name in another case.
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(folder_, error)) {
    if (SameName(entry.path().filename().string(), registered_[index]))
      return entry.path();
  }
  return folder_ / registered_[index];
}

std::optional<std::vector<std::uint8_t>> EmulatedClipboard::Read(unsigned format) const {
  const auto path = FileOf(format);
  if (!path)
    return std::nullopt;
  std::ifstream in(*path, std::ios::binary);
  if (!in)
    return std::nullopt;
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

host::Handle EmulatedClipboard::GetClipboardData(unsigned format) {
  if (lock_fd_ < 0)
    return 0;
  if (const auto held = blocks_.find(format); held != blocks_.end())
    return held->second;
  const auto bytes = Read(format);
  if (!bytes)
    return 0;
  const host::Handle block =
      memory_.GlobalAlloc(host::kGmemMoveable | host::kGmemShare, bytes->size());
  if (block == 0)
    return 0;
  if (!bytes->empty()) {
    std::memcpy(memory_.GlobalLock(block), bytes->data(), bytes->size());
    memory_.GlobalUnlock(block);
  }
  blocks_[format] = block;
  return block;
}

host::Handle EmulatedClipboard::SetClipboardData(unsigned format, host::Handle block) {
  if (lock_fd_ < 0 || !memory_.IsBlock(block))
    return 0;
  const std::size_t size = memory_.GlobalSize(block);
  const auto* data = static_cast<const std::uint8_t*>(memory_.GlobalLock(block));
  const bool stored = WriteFormat(format, {data, size});
  if (data != nullptr)
    memory_.GlobalUnlock(block);
  if (!stored)
    return 0;
  if (blocks_[format] != block)
    ReleaseBlock(format);
  blocks_[format] = block;
  return block;
}

std::vector<EmulatedClipboard::FormatData> EmulatedClipboard::ReadAllFormats() {
  std::vector<FormatData> formats;
  if (lock_fd_ < 0)
    return formats;
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(folder_, error)) {
    if (entry.is_regular_file(error))
      names.push_back(entry.path().filename().string());
  }
  std::vector<unsigned> numbers;
  for (const std::string& name : names) {
    const auto standard = StandardFormat(name);
    const unsigned number = standard ? *standard : RegisterClipboardFormatA(name);
    if (number != 0)
      numbers.push_back(number);
  }
  std::sort(numbers.begin(), numbers.end());
  for (const unsigned number : numbers) {
    if (auto bytes = Read(number))
      formats.push_back({number, std::move(*bytes)});
  }
  return formats;
}

bool EmulatedClipboard::WriteFormat(unsigned format, std::span<const std::uint8_t> bytes) {
  if (lock_fd_ < 0)
    return false;
  const auto path = FileOf(format);
  if (!path)
    return false;
  // Written beside and renamed into place, so a reader never sees half a format.
  const fs::path partial = prefix_ / "clipboard.partial";
  {
    std::ofstream out(partial, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out.flush())
      return false;
  }
  std::error_code error;
  fs::rename(partial, *path, error);
  return !error;
}

void EmulatedClipboard::ReleaseBlock(unsigned format) {
  if (const auto held = blocks_.find(format); held != blocks_.end()) {
    memory_.GlobalFree(held->second);
    blocks_.erase(held);
  }
}

void EmulatedClipboard::ReleaseBlocks() {
  for (const auto& [format, block] : blocks_)
    memory_.GlobalFree(block);
  blocks_.clear();
}

}  // namespace tkw::emulated
