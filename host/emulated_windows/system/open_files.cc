#include "host/emulated_windows/system/open_files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <cerrno>

namespace tkw::emulated {
namespace {

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

FileDescriptor OpenHeld(const std::filesystem::path& path, int flags) {
  for (;;) {
    FileDescriptor file(::open(path.c_str(), flags | O_CLOEXEC, 0666));
    if (!file)
      return file;
    int locked;
    do
      locked = ::flock(file.get(), LOCK_SH);
    while (locked != 0 && errno == EINTR);
    if (locked != 0)
      return file;  // a file system without locks: open, but not held
    // A delete may have taken the name away between the open and the lock; the file at the
    // path is then another, or none, and is opened anew.
    struct stat opened {
    }, named{};
    if (::fstat(file.get(), &opened) == 0 && ::stat(path.c_str(), &named) == 0 &&
        SameFile(opened, named))
      return file;
  }
}

int DeleteUnlessHeld(const std::filesystem::path& path) {
  // A link is deleted itself, not what it points to; anything that cannot be opened to look
  // (a file without read and write permission) is left to unlink's own answer.
  FileDescriptor file(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (!file && errno == EACCES)
    file = FileDescriptor(::open(path.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  // Held exclusively until unlinked, so that no one opens it in between and writes into a
  // file that has no name any more.
  if (file && ::flock(file.get(), LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK)
    return EBUSY;
  return ::unlink(path.c_str()) == 0 ? 0 : errno;
}

}  // namespace tkw::emulated
