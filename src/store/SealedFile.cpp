#include "store/SealedFile.h"

#include <fcntl.h>
#include <sodium.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFileInfo>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>

#include "store/RegularFile.h"
#include "store/StoreErrors.h"

namespace vedalia::sealed {
namespace {

constexpr char kSignature[] = "ACS2";
constexpr std::uint16_t kFormatVersion = 1;
constexpr std::uint8_t kKdfArgon2id = 1;
constexpr std::size_t kNonceOffset = 32;
constexpr std::size_t kTagSize = crypto_aead_xchacha20poly1305_ietf_ABYTES;
// A damaged header must not make the derivation take minutes or gigabytes.
constexpr std::uint32_t kMaxPasses = 16;
constexpr std::uint32_t kMaxMemoryKiB = 256 * 1024;

static_assert(crypto_pwhash_SALTBYTES == 16);
static_assert(crypto_aead_xchacha20poly1305_ietf_NPUBBYTES == 24);
static_assert(crypto_aead_xchacha20poly1305_ietf_KEYBYTES == 32);

std::string Describe(const QString& path) { return path.toStdString(); }

[[noreturn]] void Fail(EngineError::Kind kind, const QString& path, const std::string& what) {
  throw EngineError(kind, Describe(path) + ": " + what);
}

[[noreturn]] void FailErrno(const QString& path, const char* what) {
  const int error = errno;
  Fail(EngineError::Kind::Io, path, std::string(what) + ": " + std::strerror(error));
}

void InitSodium() {
  static const int ok = sodium_init();
  if (ok < 0) throw EngineError(EngineError::Kind::Io, "the cryptography library cannot start");
}

void PutLe32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = std::uint8_t(v >> (8 * i));
}
std::uint32_t GetLe32(const std::uint8_t* p) {
  return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
         std::uint32_t(p[3]) << 24;
}

// Deriving costs tens of milliseconds by design; the shell connects for every command, so
// each (password, salt, cost) is derived once per process.
struct CachedKey {
  QByteArray password;
  FileKey key;
};

std::mutex& CacheMutex() {
  static std::mutex mutex;
  return mutex;
}
std::vector<CachedKey>& Cache() {
  static std::vector<CachedKey> cache;
  return cache;
}

bool SameParameters(const FileKey& a, const FileKey& b) {
  return a.cost.passes == b.cost.passes && a.cost.memoryKiB == b.cost.memoryKiB &&
         std::memcmp(a.salt, b.salt, sizeof a.salt) == 0;
}

// Fills key.key from the password and key's salt and cost.
void DeriveKey(const QString& password, FileKey& key) {
  const QByteArray pw = password.toUtf8();
  {
    std::lock_guard lock(CacheMutex());
    for (const auto& c : Cache()) {
      if (c.password == pw && SameParameters(c.key, key)) {
        std::memcpy(key.key, c.key.key, sizeof key.key);
        return;
      }
    }
  }
  if (crypto_pwhash(key.key, sizeof key.key, pw.constData(), std::size_t(pw.size()), key.salt,
                    key.cost.passes, std::size_t(key.cost.memoryKiB) * 1024,
                    crypto_pwhash_ALG_ARGON2ID13) != 0) {
    throw EngineError(EngineError::Kind::Io, "deriving the database key failed (out of memory)");
  }
  std::lock_guard lock(CacheMutex());
  auto& cache = Cache();
  if (cache.size() >= 16) cache.erase(cache.begin());
  cache.push_back({pw, key});
}

// The last file read or written, sealed and plain. The shell opens the database for every
// command; when the file's bytes are exactly those of the last time, unsealing is skipped.
// The whole file is still read and compared, so any change to it is noticed.
constexpr std::size_t kMaxCachedBytes = 32u << 20;

struct ImageCache {
  QString path;
  std::uint8_t key[32]{};
  std::vector<std::uint8_t> sealed;
  std::vector<unsigned char> plain;
};

// File-sized buffers kept between commands: fresh pages for tens of megabytes on every
// command cost more than the reading and sealing themselves.
std::vector<std::uint8_t>& Scratch() {
  thread_local std::vector<std::uint8_t> buffer;
  return buffer;
}

ImageCache& LastImage() {
  static ImageCache cache;
  return cache;
}

void Remember(const QString& path, const std::uint8_t* key, const std::vector<std::uint8_t>& sealed,
              const unsigned char* plain, std::size_t plainSize) {
  std::lock_guard lock(CacheMutex());
  ImageCache& c = LastImage();
  c.path.clear();
  c.sealed.clear();
  c.plain.clear();
  if (plainSize > kMaxCachedBytes) {
    c.sealed.shrink_to_fit();
    c.plain.shrink_to_fit();
    return;
  }
  c.path = path;
  std::memcpy(c.key, key, sizeof c.key);
  // assign() reuses the capacity of the last time: no fresh pages for every command.
  c.sealed.assign(sealed.begin(), sealed.end());
  c.plain.assign(plain, plain + plainSize);
}

// A copy of the remembered image if `sealed` is the remembered file; null otherwise.
unsigned char* Recall(const QString& path, const std::uint8_t* key,
                      const std::vector<std::uint8_t>& sealed, std::size_t& size) {
  std::lock_guard lock(CacheMutex());
  const ImageCache& c = LastImage();
  if (c.path != path || std::memcmp(c.key, key, sizeof c.key) != 0 || c.sealed != sealed) {
    return nullptr;
  }
  auto* image = static_cast<unsigned char*>(sqlite3_malloc64(c.plain.empty() ? 1 : c.plain.size()));
  if (!image) return nullptr;
  if (!c.plain.empty()) std::memcpy(image, c.plain.data(), c.plain.size());
  size = c.plain.size();
  return image;
}

void BuildHeader(std::uint8_t* header, const FileKey& key) {
  std::memcpy(header, kSignature, 4);
  header[4] = std::uint8_t(kFormatVersion & 0xFF);
  header[5] = std::uint8_t(kFormatVersion >> 8);
  header[6] = kKdfArgon2id;
  header[7] = 0;
  PutLe32(header + 8, key.cost.passes);
  PutLe32(header + 12, key.cost.memoryKiB);
  std::memcpy(header + 16, key.salt, 16);
}

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  int release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_;
};

void WriteAll(int fd, const std::uint8_t* data, std::size_t size, const QString& path) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      FailErrno(path, "writing failed");
    }
    data += n;
    size -= std::size_t(n);
  }
}

void SyncFolderOf(const QString& path) {
  const QByteArray dir = QFileInfo(path).absolutePath().toLocal8Bit();
  Fd fd(::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd.get() < 0 || ::fsync(fd.get()) != 0) FailErrno(path, "flushing the folder failed");
}

}  // namespace

void DeriveFileKey(const QString& password, FileKey& key) {
  InitSodium();
  DeriveKey(password, key);
}

bool PlausibleCost(const KdfCost& cost) {
  return cost.passes >= 1 && cost.passes <= kMaxPasses && cost.memoryKiB >= 8 &&
         cost.memoryKiB <= kMaxMemoryKiB;
}

FileKey NewFileKey(const QString& password, KdfCost cost) {
  InitSodium();
  FileKey key;
  key.cost = cost;
  randombytes_buf(key.salt, sizeof key.salt);
  DeriveKey(password, key);
  return key;
}

OpenedImage ReadSealedFile(const QString& path, const QString& password) {
  InitSodium();
  const QByteArray name = path.toLocal8Bit();
  // Without blocking: a FIFO or device there must not hang the caller.
  struct stat st {};
  Fd fd(OpenRegularFile(name.constData(), st));
  if (fd.get() == kNotRegularFile) Fail(EngineError::Kind::Io, path, "not a regular file");
  if (fd.get() < 0) {
    if (errno == ENOENT || errno == ENOTDIR)
      Fail(EngineError::Kind::FileMissing, path, "no such file");
    FailErrno(path, "cannot open");
  }
  if (st.st_size > kMaxSealedFileBytes) {
    Fail(EngineError::Kind::Damaged, path, "larger than any course database (over 1 GiB)");
  }
  std::vector<std::uint8_t>& data = Scratch();
  data.resize(std::size_t(st.st_size));
  std::size_t got = 0;
  while (got < data.size()) {
    const ssize_t n = ::read(fd.get(), data.data() + got, data.size() - got);
    if (n < 0) {
      if (errno == EINTR) continue;
      FailErrno(path, "reading failed");
    }
    if (n == 0) break;
    got += std::size_t(n);
  }
  data.resize(got);

  if (data.size() < 4) Fail(EngineError::Kind::BadSignature, path, "not a course database");
  std::uint8_t header[kHeaderSize];
  for (int i = 0; i < 4; ++i) header[i] = std::uint8_t(std::toupper(data[std::size_t(i)]));
  if (std::memcmp(header, kSignature, 4) != 0) {
    Fail(EngineError::Kind::BadSignature, path, "not a course database");
  }
  if (data.size() < kHeaderSize + kTagSize)
    Fail(EngineError::Kind::Damaged, path, "file is truncated");
  std::memcpy(header + 4, data.data() + 4, kHeaderSize - 4);
  const unsigned version = unsigned(header[4]) | unsigned(header[5]) << 8;
  if (version != kFormatVersion || header[6] != kKdfArgon2id) {
    Fail(EngineError::Kind::Damaged, path,
         "unknown file format version " + std::to_string(version));
  }
  OpenedImage opened;
  opened.key.cost = {GetLe32(header + 8), GetLe32(header + 12)};
  std::memcpy(opened.key.salt, header + 16, 16);
  if (!PlausibleCost(opened.key.cost)) {
    Fail(EngineError::Kind::Damaged, path, "damaged header");
  }
  DeriveKey(password, opened.key);
  if ((opened.image = Recall(path, opened.key.key, data, opened.size))) return opened;

  const std::size_t sealedSize = data.size() - kHeaderSize;
  const std::size_t plainSize = sealedSize - kTagSize;
  auto* image = static_cast<unsigned char*>(sqlite3_malloc64(plainSize ? plainSize : 1));
  if (!image) Fail(EngineError::Kind::Io, path, "out of memory");
  unsigned long long plainLength = 0;
  if (crypto_aead_xchacha20poly1305_ietf_decrypt(
          image, &plainLength, nullptr, data.data() + kHeaderSize, sealedSize, header, kNonceOffset,
          header + kNonceOffset, opened.key.key) != 0) {
    sqlite3_free(image);
    Fail(EngineError::Kind::Damaged, path, "damaged file or wrong password");
  }
  opened.image = image;
  opened.size = std::size_t(plainLength);
  Remember(path, opened.key.key, data, image, opened.size);
  return opened;
}

void WriteSealedFile(const QString& path, const FileKey& key, const unsigned char* image,
                     std::size_t size, bool mustBeNew) {
  InitSodium();
  std::vector<std::uint8_t>& out = Scratch();
  out.resize(kHeaderSize + size + kTagSize);
  BuildHeader(out.data(), key);
  randombytes_buf(out.data() + kNonceOffset, kHeaderSize - kNonceOffset);
  unsigned long long sealedLength = 0;
  crypto_aead_xchacha20poly1305_ietf_encrypt(out.data() + kHeaderSize, &sealedLength, image, size,
                                             out.data(), kNonceOffset, nullptr,
                                             out.data() + kNonceOffset, key.key);
  out.resize(kHeaderSize + std::size_t(sealedLength));

  const QByteArray finalName = path.toLocal8Bit();
  const QByteArray tempName = finalName + ".tmp";
  mode_t mode = 0644;
  struct stat st {};
  const bool exists = ::stat(finalName.constData(), &st) == 0;
  if (exists && mustBeNew) Fail(EngineError::Kind::Io, path, "file exists already");
  if (exists) mode = st.st_mode & 07777;

  Fd fd(::open(tempName.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
  if (fd.get() < 0) FailErrno(path, "cannot write beside the database");
  try {
    WriteAll(fd.get(), out.data(), out.size(), path);
    if (::fchmod(fd.get(), mode) != 0) FailErrno(path, "cannot set the file's permissions");
    if (::fdatasync(fd.get()) != 0) FailErrno(path, "flushing failed");
    if (::close(fd.release()) != 0) FailErrno(path, "closing failed");
    if (mustBeNew) {
      // link() refuses to replace a file that appeared meanwhile.
      if (::link(tempName.constData(), finalName.constData()) != 0)
        FailErrno(path, "cannot create");
      ::unlink(tempName.constData());
    } else if (::rename(tempName.constData(), finalName.constData()) != 0) {
      FailErrno(path, "cannot replace the database");
    }
  } catch (...) {
    ::unlink(tempName.constData());
    throw;
  }
  SyncFolderOf(path);
  Remember(path, key.key, out, image, size);
}

FileLock::FileLock(const QString& databasePath, int waitMs) {
  const QByteArray name = (databasePath + ".lock").toLocal8Bit();
  fd_ = ::open(name.constData(), O_RDWR | O_CREAT | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0644);
  if (fd_ < 0) FailErrno(databasePath, "cannot create the lock file");
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
  while (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    if (error == EINTR) continue;
    if (error != EWOULDBLOCK || std::chrono::steady_clock::now() >= deadline) {
      ::close(fd_);
      fd_ = -1;
      if (error == EWOULDBLOCK) {
        Fail(EngineError::Kind::Locked, databasePath, "the database is in use by another program");
      }
      errno = error;
      FailErrno(databasePath, "cannot lock the database");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

FileLock::~FileLock() {
  if (fd_ >= 0) ::close(fd_);  // closing releases the lock
}

}  // namespace vedalia::sealed
