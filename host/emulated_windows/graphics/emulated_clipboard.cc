#include "host/emulated_windows/graphics/emulated_clipboard.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstring>
#include <fstream>
#include <system_error>
#include <thread>

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
  if (generationMap_ != nullptr)
    ::munmap(generationMap_, sizeof *generationMap_);
  if (lockFd_ >= 0)
    ::close(lockFd_);
}

bool EmulatedClipboard::OpenClipboard(host::Handle /*owner*/) {
  if (open_)
    return true;  // this process holds it already
  if (generationMap_ == nullptr && !MapLockFile())
    return false;
  if (::flock(lockFd_, LOCK_EX | LOCK_NB) != 0)
    return false;
  open_ = true;
  if (StoredGeneration() != generation_)
    Load();
  return true;
}

bool EmulatedClipboard::MapLockFile() {
  std::error_code error;
  fs::create_directories(folder_, error);
  if (error)
    return false;
  if (lockFd_ < 0)
    lockFd_ = ::open((prefix_ / "clipboard.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (lockFd_ < 0)
    return false;
  // The generation number is the lock file's first eight bytes, mapped so that reading and
  // counting it up costs no call into the system. Their blocks are allocated first: a page of
  // a file that the disk has no room for would end the process when written through the map.
  // Without them the clipboard cannot be opened, now; a later try may find room.
  if (::posix_fallocate(lockFd_, 0, sizeof *generationMap_) != 0)
    return false;
  void* map =
      ::mmap(nullptr, sizeof *generationMap_, PROT_READ | PROT_WRITE, MAP_SHARED, lockFd_, 0);
  if (map == MAP_FAILED)
    return false;
  generationMap_ = static_cast<std::uint64_t*>(map);
  return true;
}

bool EmulatedClipboard::CloseClipboard() {
  if (!open_)
    return false;
  ReleaseBlocks();
  if (emptied_ || !changed_.empty())
    WriteBack();
  ::flock(lockFd_, LOCK_UN);
  open_ = false;
  return true;
}

bool EmulatedClipboard::EmptyClipboard() {
  if (!open_)
    return false;
  ReleaseBlocks();
  contents_.clear();
  changed_.clear();
  emptied_ = true;
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

std::string EmulatedClipboard::FileNameOf(unsigned format) const {
  if (const auto read = files_.find(format); read != files_.end())
    return read->second;
  if (format < kFirstRegisteredFormat)
    return std::to_string(format);
  return registered_[format - kFirstRegisteredFormat];
}

// The generation number in the lock file; every session that changes the clipboard adds one.
std::uint64_t EmulatedClipboard::StoredGeneration() const {
  return std::atomic_ref<std::uint64_t>(*generationMap_).load();
}

void EmulatedClipboard::Load() {
  contents_.clear();
  files_.clear();
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(folder_, error)) {
    if (!entry.is_regular_file(error))
      continue;
    const std::string name = entry.path().filename().string();
    const auto standard = StandardFormat(name);
    const unsigned format = standard ? *standard : RegisterClipboardFormatA(name);
    if (format == 0)
      continue;
    std::ifstream in(entry.path(), std::ios::binary);
    if (!in)
      continue;
    contents_[format] = Bytes(std::istreambuf_iterator<char>(in), {});
    files_[format] = name;
  }
  generation_ = StoredGeneration();
  changed_.clear();
  emptied_ = false;
}

void EmulatedClipboard::WriteBack() {
  // Odd while the files change; a session that died here left it odd already.
  const std::uint64_t writing = generation_.value_or(0) | 1;
  std::atomic_ref<std::uint64_t>(*generationMap_).store(writing);
  std::error_code error;
  for (auto file = files_.begin(); file != files_.end();) {
    if (contents_.contains(file->first)) {
      ++file;
    } else {
      fs::remove(folder_ / file->second, error);
      file = files_.erase(file);
    }
  }
  // Each format is written beside the clipboard's folder and renamed into it, so that a
  // process that dies on the way, or a full disk, leaves every format file whole: the old
  // bytes or the new ones.
  const fs::path staging = prefix_ / "clipboard-staging";
  fs::create_directories(staging, error);
  for (const unsigned format : changed_) {
    const std::string name = FileNameOf(format);
    const Bytes& bytes = contents_.at(format);
    bool written = false;
    {
      std::ofstream out(staging / name, std::ios::binary | std::ios::trunc);
      written = static_cast<bool>(out.write(reinterpret_cast<const char*>(bytes.data()),
                                            static_cast<std::streamsize>(bytes.size()))
                                      .flush());
    }
    if (written)
      fs::rename(staging / name, folder_ / name, error);
    if (!written || error)
      fs::remove(staging / name, error);
    files_[format] = name;
  }
  // The lock is held and the generation was checked when the clipboard was opened.
  generation_ = writing + 1;
  std::atomic_ref<std::uint64_t>(*generationMap_).store(*generation_);
  changed_.clear();
  emptied_ = false;
}

host::Handle EmulatedClipboard::GetClipboardData(unsigned format) {
  if (!open_)
    return 0;
  if (const auto held = blocks_.find(format); held != blocks_.end())
    return held->second;
  const auto stored = contents_.find(format);
  if (stored == contents_.end())
    return 0;
  const Bytes& bytes = stored->second;
  const host::Handle block =
      memory_.GlobalAlloc(host::kGmemMoveable | host::kGmemShare, bytes.size());
  if (block == 0)
    return 0;
  if (!bytes.empty()) {
    std::memcpy(memory_.GlobalLock(block), bytes.data(), bytes.size());
    memory_.GlobalUnlock(block);
  }
  blocks_[format] = block;
  return block;
}

host::Handle EmulatedClipboard::SetClipboardData(unsigned format, host::Handle block) {
  if (!open_ || !memory_.IsBlock(block) || refused_.contains(format))
    return 0;
  const std::size_t size = memory_.GlobalSize(block);
  const auto* data = static_cast<const std::uint8_t*>(memory_.GlobalLock(block));
  const bool stored = WriteFormat(format, {data, size});
  if (data != nullptr)
    memory_.GlobalUnlock(block);
  if (!stored)
    return 0;
  // The clipboard keeps the bytes, not the block: a large format is not held twice.
  ReleaseBlock(format);
  memory_.GlobalFree(block);
  return block;
}

std::vector<EmulatedClipboard::FormatData> EmulatedClipboard::ReadAllFormats() {
  std::vector<FormatData> formats;
  if (!open_)
    return formats;
  for (const auto& [format, bytes] : contents_)
    formats.push_back({format, bytes});
  return formats;
}

bool EmulatedClipboard::WriteFormat(unsigned format, std::span<const std::uint8_t> bytes) {
  if (!open_ || format == 0)
    return false;
  if (format >= kFirstRegisteredFormat && format - kFirstRegisteredFormat >= registered_.size()) {
    return false;
  }
  contents_[format] = Bytes(bytes.begin(), bytes.end());
  changed_.insert(format);
  return true;
}

std::uint64_t EmulatedClipboard::SequenceNumber() {
  if (generationMap_ == nullptr && !MapLockFile())
    return 0;
  // Two generations to a change: the odd one while it is being written.
  return (StoredGeneration() + 1) / 2;
}

std::vector<unsigned> EmulatedClipboard::AvailableFormats() {
  std::vector<unsigned> formats;
  if (open_) {
    for (const auto& [format, bytes] : contents_)
      formats.push_back(format);
    return formats;
  }
  if (generationMap_ == nullptr && !MapLockFile())
    return formats;
  // A change being written, or one finished while the folder was read, is read again.
  for (int tries = 0; tries < 10'000; ++tries) {
    const std::uint64_t before = StoredGeneration();
    if (before % 2 == 0) {
      formats.clear();
      std::error_code error;
      for (const auto& entry : fs::directory_iterator(folder_, error)) {
        const std::string name = entry.path().filename().string();
        const auto standard = StandardFormat(name);
        if (const unsigned format = standard ? *standard : RegisterClipboardFormatA(name))
          formats.push_back(format);
      }
      if (StoredGeneration() == before) {
        std::sort(formats.begin(), formats.end());
        return formats;
      }
    }
    std::this_thread::sleep_for(std::chrono::microseconds(50));
  }
  return {};
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
