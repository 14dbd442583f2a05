#include "prep/output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

#include "prep/prep.h"

namespace prep {

namespace {

std::string reason(int error) { return std::strerror(error); }

// The folder part of a path, with its slash ("" for the working folder).
std::string folderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// The file a path names once its symbolic links are followed, also where
// the last link dangles: writing through a link is writing its target.
std::string followLinks(const std::string& shown, std::string path) {
  // The system's own limit on links in one lookup.
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) {
      if (errno == ENOENT) return path;
      throw Error(shown + ": cannot be written (" + reason(errno) + ")");
    }
    if (!S_ISLNK(st.st_mode)) return path;
    std::string target(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
    const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
    if (n < 0) throw Error(shown + ": cannot be written (" + reason(errno) + ")");
    target.resize(static_cast<std::size_t>(n));
    path = !target.empty() && target.front() == '/' ? target : folderOf(path) + target;
  }
  throw Error(shown + ": cannot be written (" + reason(ELOOP) + ")");
}

// Creates a file of a name no other file has, beside `target`; O_EXCL makes
// sure that it is new, so removing it later can harm nothing of anyone's.
int createBeside(const std::string& shown, const std::string& target, std::string& made) {
  static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  std::random_device seed;
  std::mt19937 gen(seed());
  std::uniform_int_distribution<std::size_t> pick(0, sizeof kLetters - 2);
  const std::string folder = folderOf(target);
  const std::string base = target.substr(folder.size());
  for (int attempt = 0; attempt < 100; ++attempt) {
    made = folder + "." + base + ".";
    for (int i = 0; i < 8; ++i) made += kLetters[pick(gen)];
    // 0666 less the umask, as for any new file.
    const int fd = ::open(made.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) return fd;
    if (errno != EEXIST) throw Error(shown + ": cannot be written (" + reason(errno) + ")");
  }
  throw Error(shown + ": cannot be written (no free name for a temporary file beside it)");
}

}  // namespace

void writeWhole(const std::string& path, std::string_view text) {
  if (path.empty()) throw Error("the output file has no name");
  const std::string target = followLinks(path, path);
  struct stat st;
  const bool exists = ::stat(target.c_str(), &st) == 0;
  if (!exists && errno != ENOENT) throw Error(path + ": cannot be written (" + reason(errno) + ")");
  if (exists && !S_ISREG(st.st_mode)) {
    throw Error(path + ": not a regular file; give the name of a file to write");
  }

  std::string made;
  const int fd = createBeside(path, target, made);
  auto abandon = [&](int error) {
    ::close(fd);
    ::unlink(made.c_str());
    throw Error(path + ": cannot be written (" + reason(error) + ")");
  };
  if (exists) {
    // The owner too where we may (as root); a file of one's own stays so.
    if (st.st_uid != ::geteuid() || st.st_gid != ::getegid()) (void)::fchown(fd, st.st_uid, st.st_gid);
    if (::fchmod(fd, st.st_mode & 0777) != 0) abandon(errno);
  }
  for (std::size_t done = 0; done < text.size();) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) abandon(errno);
    done += static_cast<std::size_t>(n);
  }
  // On disk before the rename, so that a crash cannot leave an empty target.
  if (::fsync(fd) != 0) abandon(errno);
  if (::close(fd) != 0) {
    const int error = errno;
    ::unlink(made.c_str());
    throw Error(path + ": cannot be written (" + reason(error) + ")");
  }
  if (std::rename(made.c_str(), target.c_str()) != 0) {
    const int error = errno;
    ::unlink(made.c_str());
    throw Error(path + ": cannot be written (" + reason(error) + ")");
  }
}

}  // namespace prep
