#include "platform/host/serve/common/state_folder.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace host::serve {
namespace {

std::string octal(mode_t mode) {
  char text[8];
  std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
  return text;
}

}  // namespace

std::optional<std::string> prepareStateFolder(const std::filesystem::path& folder) {
  const std::string name = folder.string();
  struct stat info {};
  // The folder may be reached through a link of the user's; what it names is checked.
  if (::stat(folder.c_str(), &info) != 0) {
    if (errno != ENOENT) return "cannot use the state folder " + name + ": " + std::strerror(errno);
    std::error_code error;
    if (folder.has_parent_path()) std::filesystem::create_directories(folder.parent_path(), error);
    if (error || (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) ||
        ::stat(folder.c_str(), &info) != 0) {
      return "cannot make the state folder " + name + ": " +
             (error ? error.message() : std::strerror(errno));
    }
  }
  if (!S_ISDIR(info.st_mode)) return "the state folder " + name + " is not a folder";
  if (info.st_uid != ::geteuid()) {
    return "the state folder " + name + " belongs to another user: choose another with --state";
  }
  if ((info.st_mode & 077) != 0) {
    return "the state folder " + name + " is open to others (mode " + octal(info.st_mode) +
           "): it holds a private key and every payload; make it 0700 or choose another with "
           "--state";
  }
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    struct stat file {};
    if (::lstat(entry.path().c_str(), &file) != 0) continue;
    if (S_ISLNK(file.st_mode) || file.st_uid != ::geteuid()) {
      return "the state folder " + name + " holds " + entry.path().filename().string() +
             (S_ISLNK(file.st_mode) ? ", a link" : ", which belongs to another user") +
             ": remove it, or choose another folder with --state";
    }
  }
  if (error) return "cannot read the state folder " + name + ": " + error.message();
  return std::nullopt;
}

bool writeStateFile(const std::filesystem::path& path, mode_t mode,
                    const std::function<bool(FILE*)>& write) {
  const std::filesystem::path temporary = path.string() + ".new";
  const auto create = [&] {
    return ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
  };
  int fd = create();
  // Left by a write that was cut short; removing a link removes the link, not what it names.
  if (fd < 0 && errno == EEXIST && ::unlink(temporary.c_str()) == 0) fd = create();
  if (fd < 0) return false;
  ::fchmod(fd, mode);
  FILE* file = ::fdopen(fd, "w");
  if (file == nullptr) {
    ::close(fd);
    ::unlink(temporary.c_str());
    return false;
  }
  const bool ok = write(file) && std::fflush(file) == 0 && ::fsync(fd) == 0;
  std::fclose(file);
  std::error_code error;
  if (ok) std::filesystem::rename(temporary, path, error);
  if (!ok || error) {
    ::unlink(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace host::serve
