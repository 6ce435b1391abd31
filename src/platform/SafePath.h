#pragma once
// Folders below a root that the file system itself keeps there. Each level below the root is
// opened without following a link, and files are written, listed and removed through the
// opened folder, so a link planted at any level or at the file name never leads a write, a
// listing or a deletion outside the root, however the tree changes between two calls.

#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace vedalia {

// Which file or folder an entry is, independent of the path that reached it.
struct FileIdentity {
  quint64 device = 0;
  quint64 inode = 0;
  bool valid = false;
  friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

// The identity of `path` with links followed; invalid when there is nothing there.
FileIdentity IdentityOf(const QString& path);

class SafeDir {
 public:
  SafeDir() = default;
  SafeDir(SafeDir&& other) noexcept;
  SafeDir& operator=(SafeDir&& other) noexcept;
  SafeDir(const SafeDir&) = delete;
  SafeDir& operator=(const SafeDir&) = delete;
  ~SafeDir();

  // `root` itself, links in it followed (it is trusted), then Enter(levels, create).
  static SafeDir Open(const QString& root, const QStringList& levels = {}, bool create = false);

  // Goes down each level in turn; a level that is a link, no folder or no plain name (empty,
  // "." or "..", "/" or NUL in it) closes this object. `create` makes missing levels.
  bool Enter(const QStringList& levels, bool create);

  bool isOpen() const { return fd >= 0; }
  // The errno of the last failure (ENOENT: a level is missing; a link or a file there gives
  // ENOTDIR).
  int error() const { return lastError; }
  FileIdentity Identity() const;

  // Replaces the file `name` of this folder whole: the bytes go to a new temporary file that
  // is renamed over the name once complete. A link at the name is replaced, never followed;
  // an existing file keeps its permissions. False, with the folder as it was, on any failure.
  bool ReplaceFile(const QString& name, QByteArrayView bytes, QString* why = nullptr) const;

  struct Entry {
    QString name;
    bool isDir = false;  // a real folder; a link is never one
  };
  // Every entry, "." and ".." included, in the order the file system gives them.
  std::optional<QList<Entry>> List() const;

  // Removes the entry `name`: a folder with everything in it (read-only entries included,
  // links inside unlinked, never followed), a link that points at a folder as a link. A file
  // or a link to a file stays. False when a folder could not be entered or removed.
  bool RemoveTree(const QString& name) const;

 private:
  explicit SafeDir(int descriptor) : fd(descriptor) {}
  void close();
  int fd = -1;
  int lastError = 0;
};

// The levels of `path` below `root` (both absolute, cleaned textually first), or nothing when
// `path` does not lie at or below `root`.
std::optional<QStringList> LevelsBelow(const QString& root, const QString& path);

// The root below which ReplaceFileConfined and OpenConfined refuse links (the course's base
// folder); empty: none.
void SetConfinementRoot(const QString& root);
const QString& ConfinementRoot();

// The folder `dir`: below the confinement root each level from the root down is opened as
// SafeDir does; elsewhere `dir` is opened as it is.
SafeDir OpenConfined(const QString& dir);

// Replaces the file `path` whole: below the confinement root through SafeDir, elsewhere
// like ReplaceFileContents.
bool ReplaceFileConfined(const QString& path, QByteArrayView bytes, QString* why = nullptr);

}  // namespace vedalia
