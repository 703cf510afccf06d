// The desktop clipboard of the emulated machine: one file per format in <prefix>/clipboard/,
// named by the number of a standard format ("8") or the name of a registered one ("Toolbar
// Button Face"), so that it outlives a run and other processes see it. Opening it takes an
// exclusive lock on <prefix>/clipboard.lock, so another process cannot open it meanwhile.
//
// While a process uses it, the clipboard is kept in memory as well: the files are read again
// only when another process has changed them since (the lock file holds a generation number),
// and what a session changed is written back when it closes the clipboard. The generation is
// odd while a session writes, so that a process reading the files without the lock knows to
// wait for a whole change.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "host/clipboard.h"
#include "host/emulated_windows/graphics/emulated_global_memory.h"

namespace tkw::emulated {

inline constexpr unsigned kFirstRegisteredFormat = 0xC000;

class EmulatedClipboard final : public host::Clipboard {
 public:
  EmulatedClipboard(std::filesystem::path prefix, EmulatedGlobalMemory& memory);
  EmulatedClipboard(const EmulatedClipboard&) = delete;
  EmulatedClipboard& operator=(const EmulatedClipboard&) = delete;
  ~EmulatedClipboard() override;

  bool OpenClipboard(host::Handle owner) override;
  // Also frees the blocks that GetClipboardData handed out: they are valid while it is open.
  bool CloseClipboard() override;
  bool EmptyClipboard() override;
  // Numbered from 0xC000 in order of first registration; names match without regard to case.
  unsigned RegisterClipboardFormatA(const std::string& name) override;
  host::Handle GetClipboardData(unsigned format) override;
  // Stores GlobalSize bytes of `block`, which then belongs to the clipboard (and is freed).
  // Returns 0, and the block stays the caller's, when the clipboard is not open, the block is
  // none, or the format is one refused by RefuseFormat.
  host::Handle SetClipboardData(unsigned format, host::Handle block) override;
  // From now on SetClipboardData refuses `format`, as Windows does when it cannot take the data.
  void RefuseFormat(unsigned format) { refused_.insert(format); }

  struct FormatData {
    unsigned format;
    std::vector<std::uint8_t> bytes;
  };
  // Every format on the clipboard, standard ones in numeric order first. Needs it open.
  std::vector<FormatData> ReadAllFormats();
  // Stores one format's bytes without a memory block. Needs it open.
  bool WriteFormat(unsigned format, std::span<const std::uint8_t> bytes);

  // As GetClipboardSequenceNumber and GetUpdatedClipboardFormats, for a process that watches
  // the clipboard without opening it: the number of changes made to it so far (0 when it cannot
  // be read), and the formats it holds, as the last change left them.
  std::uint64_t SequenceNumber();
  std::vector<unsigned> AvailableFormats();

  const std::filesystem::path& folder() const { return folder_; }

 private:
  using Bytes = std::vector<std::uint8_t>;

  std::string FileNameOf(unsigned format) const;
  std::uint64_t StoredGeneration() const;
  // Opens the lock file and maps its generation number; false when there is no room for it.
  bool MapLockFile();
  void Load();
  void WriteBack();
  void ReleaseBlock(unsigned format);
  void ReleaseBlocks();

  std::filesystem::path prefix_;
  std::filesystem::path folder_;
  EmulatedGlobalMemory& memory_;
  std::vector<std::string> registered_;      // index + 0xC000 is the format number
  std::map<unsigned, host::Handle> blocks_;  // blocks the clipboard owns, by format
  int lockFd_ = -1;                          // the lock file, open for the object's life
  std::uint64_t* generationMap_ = nullptr;   // in the lock file, shared by every process
  bool open_ = false;

  std::map<unsigned, Bytes> contents_;       // what the clipboard holds, by format
  std::map<unsigned, std::string> files_;    // the file each held format was read from
  std::optional<std::uint64_t> generation_;  // of the files `contents_` matches
  std::set<unsigned> changed_;               // formats to write back when it closes
  std::set<unsigned> refused_;               // formats SetClipboardData refuses
  bool emptied_ = false;                     // then the files of formats no longer held go too
};

}  // namespace tkw::emulated
