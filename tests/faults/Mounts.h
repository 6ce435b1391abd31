#pragma once
// Small file systems for fault tests: a tmpfs of a given size or a read-only bind mount over
// a folder, in a mount namespace of this process alone (so nothing outlives the test).
// Needs the right to mount; Available() tells whether this machine grants it.
#include <sched.h>
#include <sys/mount.h>

#include <QByteArray>
#include <QString>

namespace vedalia::test {

class Mount {
 public:
  static bool Available() {
    static const bool ok = ::unshare(CLONE_NEWNS) == 0 &&
                           ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    return ok;
  }
  static Mount Tmpfs(const QString& dir, int kib) {
    Mount m(dir);
    const QByteArray options = "size=" + QByteArray::number(kib) + "k";
    m.mounted = ::mount("tmpfs", m.path.constData(), "tmpfs", 0, options.constData()) == 0;
    return m;
  }
  static Mount ReadOnly(const QString& dir) {
    Mount m(dir);
    m.mounted = ::mount(m.path.constData(), m.path.constData(), nullptr, MS_BIND, nullptr) == 0 &&
                ::mount(nullptr, m.path.constData(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY,
                        nullptr) == 0;
    return m;
  }
  Mount(Mount&& other) noexcept : path(other.path), mounted(other.mounted) {
    other.mounted = false;
  }
  Mount(const Mount&) = delete;
  Mount& operator=(const Mount&) = delete;
  ~Mount() { Unmount(); }
  bool Ok() const { return mounted; }
  void Unmount() {
    if (mounted) ::umount2(path.constData(), MNT_DETACH);
    mounted = false;
  }

 private:
  explicit Mount(const QString& dir) : path(dir.toLocal8Bit()) {}
  QByteArray path;
  bool mounted = false;
};

}  // namespace vedalia::test
