// The run-time's numbered files: FreeFile, Open ... As #n, Print #n and Close #n.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "host/kernel.h"
#include "host/shell.h"

namespace tkw::host {

class FileNumbers {
 public:
  FileNumbers(Shell& shell, Kernel& kernel) : shell_(shell), kernel_(kernel) {}

  // The lowest number not in use, from 1.
  std::int32_t FreeFile() const;
  // Throws RuntimeError when the file cannot be opened or the number is taken.
  void Open(const std::wstring& path, FileMode mode, std::int32_t number);
  // Writes the text in the ANSI code page followed by CR LF.
  void PrintLine(std::int32_t number, const std::wstring& text);
  void Close(std::int32_t number);

  // A file open under the next free number for one scope; closed at its end if not before.
  class Scoped {
   public:
    Scoped(FileNumbers& files, const std::wstring& path, FileMode mode)
        : files_(files), number_(files.FreeFile()) {
      files_.Open(path, mode, number_);
    }
    Scoped(const Scoped&) = delete;
    Scoped& operator=(const Scoped&) = delete;
    ~Scoped() { files_.open_.erase(number_); }

    std::int32_t number() const { return number_; }
    void Close() { files_.Close(number_); }

   private:
    FileNumbers& files_;
    std::int32_t number_;
  };

 private:
  TextFile& Find(std::int32_t number);

  Shell& shell_;
  Kernel& kernel_;
  std::map<std::int32_t, std::unique_ptr<TextFile>> open_;
};

}  // namespace tkw::host
