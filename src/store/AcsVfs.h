#pragma once
// A SQLite VFS that keeps the database file's own header out of SQLite's sight: the main
// database file is read and written shifted by kAcsHeaderBytes, so SQLite (and the page
// codec) see only what follows the header. Journals and logs pass through unchanged.

#include <cstdint>

struct sqlite3_vfs;

namespace vedalia {

inline constexpr std::int64_t kAcsHeaderBytes = 4096;  // one page: the pages stay aligned
inline constexpr char kAcsVfsName[] = "vedalia-acs2";
// Header byte 7, bit 0: the pages' unused tails are kept zero and checked on every read.
inline constexpr int kAcsFlagsOffset = 7;
inline constexpr unsigned char kAcsZeroTails = 1;

// Registers the VFS (once) over `baseVfs` (null: the default one) and returns its name.
// Tests pass a VFS of their own to see or drop what is written.
const char* RegisterAcsVfs(sqlite3_vfs* baseVfs = nullptr);

}  // namespace vedalia
