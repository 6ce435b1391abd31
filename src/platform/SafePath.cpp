#include "platform/SafePath.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <cerrno>
#include <cstring>

#include "platform/FileReplace.h"

namespace vedalia {

namespace {

constexpr int kDirFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

bool IsLevelName(const QString& name) {
  return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") &&
         !name.contains(QLatin1Char('/')) && !name.contains(QChar(0));
}

QString ErrorText(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

bool WriteAll(int fd, QByteArrayView bytes) {
  const char* data = bytes.data();
  qsizetype left = bytes.size();
  while (left > 0) {
    const ssize_t n = ::write(fd, data, size_t(left));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    left -= n;
  }
  return true;
}

// Opens the folder `name` of `parent` without following a link; one the owner cannot read or
// enter is made so first (removing a tree needs it), through a descriptor of its own.
int OpenSubfolderForRemoval(int parent, const QByteArray& name) {
  int sub = ::openat(parent, name.constData(), kDirFlags);
  if (sub >= 0 || errno != EACCES) return sub;
  const int path =
      ::openat(parent, name.constData(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (path < 0) return -1;
  struct stat st {};
  const QByteArray self = "/proc/self/fd/" + QByteArray::number(path);
  if (::fstat(path, &st) == 0) ::chmod(self.constData(), (st.st_mode & 07777) | S_IRWXU);
  ::close(path);
  return ::openat(parent, name.constData(), kDirFlags);
}

// Empties and removes the folder `name` of `parent`.
bool RemoveFolder(int parent, const QByteArray& name) {
  const int sub = OpenSubfolderForRemoval(parent, name);
  if (sub < 0) return false;
  struct stat st {};
  // Deleting entries needs the folder's own write permission, not the files'.
  if (::fstat(sub, &st) == 0 && (st.st_mode & S_IRWXU) != S_IRWXU)
    ::fchmod(sub, (st.st_mode & 07777) | S_IRWXU);
  DIR* listing = ::fdopendir(::dup(sub));
  bool ok = listing != nullptr;
  while (ok) {
    errno = 0;
    const dirent* entry = ::readdir(listing);
    if (!entry) break;
    const QByteArray child(entry->d_name);
    if (child == "." || child == "..") continue;
    struct stat cs {};
    const bool isDir =
        ::fstatat(sub, child.constData(), &cs, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(cs.st_mode);
    // A file that stays behind makes the folder's own removal fail below.
    if (isDir)
      ok = RemoveFolder(sub, child);
    else
      ::unlinkat(sub, child.constData(), 0);
  }
  if (listing) ::closedir(listing);
  ::close(sub);
  return ok && ::unlinkat(parent, name.constData(), AT_REMOVEDIR) == 0;
}

QString& ConfinementRootText() {
  static QString root;
  return root;
}

}  // namespace

FileIdentity IdentityOf(const QString& path) {
  struct stat st {};
  if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &st) != 0) return {};
  return {quint64(st.st_dev), quint64(st.st_ino), true};
}

SafeDir::SafeDir(SafeDir&& other) noexcept : fd(other.fd), lastError(other.lastError) {
  other.fd = -1;
}

SafeDir& SafeDir::operator=(SafeDir&& other) noexcept {
  if (this != &other) {
    close();
    fd = other.fd;
    lastError = other.lastError;
    other.fd = -1;
  }
  return *this;
}

SafeDir::~SafeDir() { close(); }

void SafeDir::close() {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

SafeDir SafeDir::Open(const QString& root, const QStringList& levels, bool create) {
  SafeDir dir(root.isEmpty() ? -1
                             : ::open(QFile::encodeName(root).constData(),
                                      O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  dir.lastError = dir.isOpen() ? 0 : (root.isEmpty() ? ENOENT : errno);
  if (dir.isOpen()) dir.Enter(levels, create);
  return dir;
}

bool SafeDir::Enter(const QStringList& levels, bool create) {
  for (const QString& level : levels) {
    if (!isOpen()) return false;
    if (!IsLevelName(level)) {
      lastError = EINVAL;
      close();
      return false;
    }
    const QByteArray name = QFile::encodeName(level);
    int sub = ::openat(fd, name.constData(), kDirFlags);
    if (sub < 0 && errno == ENOENT && create) {
      ::mkdirat(fd, name.constData(), 0777);  // one made meanwhile is as good
      sub = ::openat(fd, name.constData(), kDirFlags);
    }
    if (sub < 0) {
      lastError = errno;
      close();
      return false;
    }
    ::close(fd);
    fd = sub;
  }
  return isOpen();
}

FileIdentity SafeDir::Identity() const {
  struct stat st {};
  if (fd < 0 || ::fstat(fd, &st) != 0) return {};
  return {quint64(st.st_dev), quint64(st.st_ino), true};
}

bool SafeDir::ReplaceFile(const QString& name, QByteArrayView bytes, QString* why) const {
  const auto fail = [why](int error) {
    if (why) *why = ErrorText(error);
    return false;
  };
  if (fd < 0) return fail(EBADF);
  if (!IsLevelName(name)) return fail(EINVAL);
  const QByteArray target = QFile::encodeName(name);
  struct stat existing {};
  const bool hadFile = ::fstatat(fd, target.constData(), &existing, AT_SYMLINK_NOFOLLOW) == 0;
  if (hadFile && S_ISDIR(existing.st_mode)) return fail(EISDIR);

  // A short name of our own: the target's name may already be as long as a name can be.
  QByteArray temp;
  int out = -1;
  for (int attempt = 0; attempt < 64 && out < 0; ++attempt) {
    temp = ".vedalia-" + QByteArray::number(QRandomGenerator::global()->generate64(), 36);
    out =
        ::openat(fd, temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (out < 0 && errno != EEXIST) return fail(errno);
  }
  if (out < 0) return fail(EEXIST);
  if (hadFile && S_ISREG(existing.st_mode)) ::fchmod(out, existing.st_mode & 07777);
  bool ok = WriteAll(out, bytes) && ::fsync(out) == 0;
  int error = errno;
  if (::close(out) != 0 && ok) {
    ok = false;
    error = errno;
  }
  if (ok && ::renameat(fd, temp.constData(), fd, target.constData()) != 0) {
    ok = false;
    error = errno;
  }
  if (!ok) {
    ::unlinkat(fd, temp.constData(), 0);
    return fail(error);
  }
  return true;
}

std::optional<QList<SafeDir::Entry>> SafeDir::List() const {
  if (fd < 0) return std::nullopt;
  const int reading = ::openat(fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  DIR* listing = reading < 0 ? nullptr : ::fdopendir(reading);
  if (!listing) {
    if (reading >= 0) ::close(reading);
    return std::nullopt;
  }
  QList<Entry> entries;
  while (const dirent* entry = ::readdir(listing)) {
    Entry e;
    e.name = QFile::decodeName(entry->d_name);
    if (entry->d_type == DT_UNKNOWN) {
      struct stat st {};
      e.isDir = ::fstatat(::dirfd(listing), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                S_ISDIR(st.st_mode);
    } else {
      e.isDir = entry->d_type == DT_DIR;
    }
    entries.append(e);
  }
  ::closedir(listing);
  return entries;
}

bool SafeDir::RemoveTree(const QString& name) const {
  if (fd < 0 || !IsLevelName(name)) return false;
  const QByteArray entry = QFile::encodeName(name);
  struct stat st {};
  if (::fstatat(fd, entry.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) return errno == ENOENT;
  if (S_ISLNK(st.st_mode)) {
    // Only the link is ours to remove; what it points to stays.
    struct stat target {};
    const bool toFolder =
        ::fstatat(fd, entry.constData(), &target, 0) == 0 && S_ISDIR(target.st_mode);
    return !toFolder || ::unlinkat(fd, entry.constData(), 0) == 0;
  }
  if (!S_ISDIR(st.st_mode)) return true;
  return RemoveFolder(fd, entry);
}

std::optional<QStringList> LevelsBelow(const QString& root, const QString& path) {
  if (root.isEmpty() || path.isEmpty() || !QDir::isAbsolutePath(root) ||
      !QDir::isAbsolutePath(path))
    return std::nullopt;
  const QString cleanRoot = QDir::cleanPath(root);
  const QString cleanPath = QDir::cleanPath(path);
  if (cleanPath == cleanRoot) return QStringList();
  const QString prefix = cleanRoot.endsWith(QLatin1Char('/')) ? cleanRoot : cleanRoot + '/';
  if (!cleanPath.startsWith(prefix)) return std::nullopt;
  return cleanPath.mid(prefix.size()).split(QLatin1Char('/'));
}

void SetConfinementRoot(const QString& root) { ConfinementRootText() = root; }

const QString& ConfinementRoot() { return ConfinementRootText(); }

SafeDir OpenConfined(const QString& dir) {
  if (const auto levels = LevelsBelow(ConfinementRoot(), dir))
    return SafeDir::Open(ConfinementRoot(), *levels);
  return SafeDir::Open(dir);
}

bool ReplaceFileConfined(const QString& path, QByteArrayView bytes, QString* why) {
  const auto levels = LevelsBelow(ConfinementRoot(), path);
  if (!levels) return ReplaceFileContents(path, bytes, why);
  if (levels->isEmpty()) {
    if (why) *why = ErrorText(EISDIR);
    return false;
  }
  QStringList folders = *levels;
  const QString name = folders.takeLast();
  const SafeDir dir = SafeDir::Open(ConfinementRoot(), folders);
  if (!dir.isOpen()) {
    if (why) *why = ErrorText(dir.error());
    return false;
  }
  return dir.ReplaceFile(name, bytes, why);
}

}  // namespace vedalia
