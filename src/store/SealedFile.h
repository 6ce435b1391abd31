#pragma once
// Format 1 of the database file: "ACS2", a small header, then the SQLite image sealed with
// XChaCha20-Poly1305 under a key derived from the password with Argon2id.
//
//   offset  size  field
//   0       4     signature "ACS2"
//   4       2     format version (little-endian), 1
//   6       1     key derivation: 1 = Argon2id v1.3
//   7       1     reserved, 0
//   8       4     derivation passes (little-endian)
//   12      4     derivation memory in KiB (little-endian)
//   16      16    derivation salt
//   32      24    nonce, fresh for every write
//   56      ...   sealed image with its 16-byte tag
//
// The header up to the nonce is authenticated with the image (signature upper-cased), so a
// change to any byte of the file makes it unreadable rather than quietly different.

#include <QString>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace vedalia::sealed {

struct KdfCost {
  std::uint32_t passes;
  std::uint32_t memoryKiB;
};

// What new databases get: roughly 0.1 s, paid once per process and file (the key is cached).
inline constexpr KdfCost kDefaultKdfCost{2, 16 * 1024};
// The cheapest cost the derivation accepts; for tests, which make many files.
inline constexpr KdfCost kTestKdfCost{1, 8};

inline constexpr std::size_t kHeaderSize = 56;

// The file's parameters: kept across writes, so the key is derived once per process.
struct FileKey {
  KdfCost cost{};
  std::uint8_t salt[16]{};
  std::uint8_t key[32]{};
};

// A new salt and its key.
FileKey NewFileKey(const QString& password, KdfCost cost);
// Fills key.key from the password, key.salt and key.cost; each is derived once per process.
void DeriveFileKey(const QString& password, FileKey& key);
// Whether a cost read from a file is one this program would ever derive with (a damaged
// header must not make the derivation take minutes or gigabytes).
bool PlausibleCost(const KdfCost& cost);

// A whole-image file is read into memory: one larger than this is refused unread.
inline constexpr std::int64_t kMaxSealedFileBytes = std::int64_t(1) << 30;

// Reads and unseals the format-1 file at `path`. Throws EngineError (FileMissing,
// BadSignature, Damaged, Io; Damaged also above kMaxSealedFileBytes and for other formats). On
// return `key` holds the file's parameters for later writes and `image` the plain SQLite image,
// allocated with sqlite3_malloc64 (the caller owns it).
struct OpenedImage {
  FileKey key;
  unsigned char* image = nullptr;
  std::size_t size = 0;
};
OpenedImage ReadSealedFile(const QString& path, const QString& password);

// Seals `image` and puts it at `path` so that a crash at any moment leaves either the old
// or the new file: write a temporary file beside it, flush it, rename it over, flush the
// folder. With `mustBeNew` an existing file is never replaced (EngineError Io).
void WriteSealedFile(const QString& path, const FileKey& key, const unsigned char* image,
                     std::size_t size, bool mustBeNew = false);

// An exclusive advisory lock on path + ".lock", held while the object lives. It conflicts
// with every other holder, also another one in this process. Waits up to `waitMs`, then
// throws EngineError Locked.
class FileLock {
 public:
  FileLock(const QString& databasePath, int waitMs);
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

 private:
  int fd_ = -1;
};

}  // namespace vedalia::sealed
