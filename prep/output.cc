#include "prep/output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

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

// A file to be replaced, or made, once its new text is complete.
struct Target {
  std::string shown;   // the path as given
  std::string path;    // the file itself, its links followed
  bool exists = false;
  struct stat st {};
};

// Only a regular file is replaced: replacing anything else (a FIFO, a
// device, a folder) would destroy it, and writing into it could block or
// be lost.
Target targetOf(const std::string& shown) {
  if (shown.empty()) throw Error("the output file has no name");
  Target t{shown, followLinks(shown, shown)};
  t.exists = ::stat(t.path.c_str(), &t.st) == 0;
  if (!t.exists && errno != ENOENT) throw Error(shown + ": cannot be written (" + reason(errno) + ")");
  if (t.exists && !S_ISREG(t.st.st_mode)) {
    throw Error(shown + ": not a regular file; give the name of a file to write");
  }
  return t;
}

// Writes `text` to a new file beside the target and returns its name;
// where that fails, nothing is left behind.
std::string stage(const Target& t, std::string_view text) {
  std::string made;
  const int fd = createBeside(t.shown, t.path, made);
  auto abandon = [&](int error) {
    ::close(fd);
    ::unlink(made.c_str());
    throw Error(t.shown + ": cannot be written (" + reason(error) + ")");
  };
  if (t.exists) {
    // The owner too where we may (as root); a file of one's own stays so.
    if (t.st.st_uid != ::geteuid() || t.st.st_gid != ::getegid()) (void)::fchown(fd, t.st.st_uid, t.st.st_gid);
    if (::fchmod(fd, t.st.st_mode & 0777) != 0) abandon(errno);
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
    throw Error(t.shown + ": cannot be written (" + reason(error) + ")");
  }
  return made;
}

}  // namespace

void writeWhole(const std::string& path, std::string_view text) {
  const FileText file{path, text};
  writeAllWhole(std::span(&file, 1));
}

void writeAllWhole(std::span<const FileText> files) {
  // Every target is checked before the first is written, so that a refusal
  // leaves all as they were.
  std::vector<Target> targets;
  for (const FileText& file : files) {
    Target t = targetOf(file.path);
    for (const Target& earlier : targets) {
      // Two texts for one file would leave the last alone, and silently.
      if (t.path == earlier.path ||
          (t.exists && earlier.exists && t.st.st_dev == earlier.st.st_dev && t.st.st_ino == earlier.st.st_ino)) {
        throw Error(t.shown + ": the same file as " + earlier.shown);
      }
    }
    targets.push_back(std::move(t));
  }
  std::vector<std::string> made;
  try {
    for (std::size_t i = 0; i < files.size(); ++i) made.push_back(stage(targets[i], files[i].text));
  } catch (const Error&) {
    for (const std::string& m : made) ::unlink(m.c_str());
    throw;
  }
  for (std::size_t i = 0; i < made.size(); ++i) {
    if (std::rename(made[i].c_str(), targets[i].path.c_str()) != 0) {
      const int error = errno;
      for (std::size_t k = i; k < made.size(); ++k) ::unlink(made[k].c_str());
      throw Error(targets[i].shown + ": cannot be written (" + reason(error) + ")" +
                  (i > 0 ? "; " + std::to_string(i) + " of the " + std::to_string(made.size()) +
                               " files were written before it"
                         : ""));
    }
  }
}

void writeIntoFolder(const std::string& folder, std::span<const FileText> named) {
  if (folder.empty()) throw Error("the output folder has no name");
  struct stat st;
  bool madeFolder = false;
  if (::stat(folder.c_str(), &st) == 0) {
    if (!S_ISDIR(st.st_mode)) throw Error(folder + ": not a folder; give the name of a folder to write into");
  } else if (errno != ENOENT) {
    throw Error(folder + ": cannot be written (" + reason(errno) + ")");
  } else if (::mkdir(folder.c_str(), 0777) != 0) {
    throw Error(folder + ": cannot be made (" + reason(errno) + ")");
  } else {
    madeFolder = true;
  }
  const std::string prefix = folder.back() == '/' ? folder : folder + "/";
  std::vector<std::string> paths;
  for (const FileText& file : named) paths.push_back(prefix + file.path);
  std::vector<FileText> files;
  for (std::size_t i = 0; i < named.size(); ++i) files.push_back({paths[i], named[i].text});
  try {
    writeAllWhole(files);
  } catch (const Error&) {
    // A folder made for files none of which was written goes again; rmdir
    // removes only an empty one, so nothing anyone put there meanwhile.
    if (madeFolder) (void)::rmdir(folder.c_str());
    throw;
  }
}

}  // namespace prep
