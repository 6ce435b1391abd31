#pragma once
// Small services shared by the store, the shell and the viewer windows, on Qt Core alone:
// the two roots, splitting protocol strings, the per-user folder trees below
// BaseDir()/folders/, copying content files out plain, and the start-up probes (install
// mode, content media). What needs the desktop (launchers, screens, the media framework)
// is in desktop/uDesktop.h.
//
// Paths use "/" and folder paths handed out here end with "/".

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

namespace vedalia {

// ---- Process-wide roots, set once at start-up -------------------------------------------

// The working directory at start-up: root of database/ and of the personal folders.
const QString& BaseDir();
// The content root: start.swf and data/. Either a content medium's root or BaseDir().
const QString& ContentDir();
// Both setters append "/" when missing; an empty text clears the root.
void SetBaseDir(const QString& dir);
void SetContentDir(const QString& dir);
// BaseDir() + "folders/": the one tree that DeleteFolderTree may touch (empty while
// BaseDir() is unset).
QString PersonalFoldersRoot();
// PersonalFoldersRoot() + `userFolderName` ("\\" read as "/"), or the root alone when a level
// of the name is no plain name: dialogs must not open outside the personal folders.
QString PersonalFolderPath(const QString& userFolderName);

// The product title that prefixes launcher names: "Ведалия" and one blank.
QString ProductTitlePrefix();

// ---- Strings ---------------------------------------------------------------------------

// Appends the pieces of `text` to `list` (which is not cleared): every separator ends a
// piece, empty pieces included; a last piece is appended only when it is not empty.
// Returns list.size() afterwards.
int SplitString(QStringList& list, const QString& text, QChar separator);

// `text` without any of the characters in `chars`; the rest keep their order.
QString RemoveChars(const QString& text, const QString& chars);

// True when `name` can be one level of a path without leading anywhere else: not empty,
// not "." or "..", no "/", "\" or NUL. Names from pupils' records must pass this before
// they become folder or launcher names.
bool IsPlainName(const QString& name);

// ---- Folders ---------------------------------------------------------------------------

// Creates root + each level of `subPath` in turn ("/" and "\" both separate levels; empty
// levels are skipped). `root` itself is never created: when it is missing nothing is.
// A level that exists already is fine. Refuses, creating nothing, a path with a "." or
// ".." level or a level that resolves outside `root` (a symlink). Returns true when the
// whole path exists as a folder afterwards; callers that only need a best effort may
// ignore the result.
bool ForceFolderPath(const QString& root, const QString& subPath);

// Removes the folder `path` with everything in it, read-only entries included; symbolic
// links are removed, never followed. Only paths strictly inside PersonalFoldersRoot()
// (after resolving ".." and symlinks) are touched; anything else is refused.
// Returns true when the folder is gone (also when there was no such folder), false when
// the path was refused or a folder could not be entered or removed.
[[nodiscard]] bool DeleteFolderTree(const QString& path);

// ---- Copies of content files -----------------------------------------------------------

// Copies the companion file of `srcFile` with the extension `ext` (srcFile without its
// last three characters, then `ext`) from `srcDir`, unscrambled, to
// PersonalFoldersRoot() + userFolderName + "/" + targetName + "." + ext, creating the
// personal folder when it is missing. False on any failure, also when the target would
// lie outside PersonalFoldersRoot().
bool SaveToPersonalFolder(const QString& srcDir, const QString& srcFile, const QString& targetName,
                          const QString& userFolderName, const QString& ext);

// The same companion file copied, unscrambled, to `targetPath` (a path the user chose);
// creates no folder. False on any failure.
bool SaveCopyAs(const QString& srcDir, const QString& srcFile, const QString& targetPath,
                const QString& ext);

// A saved copy's name shown back to the movie: the type title before the first "_" turned
// into its type key ("Фотография_x" -> "photo_x"); empty when the name has no "_" and is
// no type title, the text from the first "_" on when the part before it is no title.
QString SavedFileDisplayName(const QString& fileName);

// ---- Start-up probes -------------------------------------------------------------------

// The machine-wide setting file; the environment variable names another file (tests).
inline constexpr const char* kMachineSettingsFile = "/etc/xdg/Vantorell/lorevia_8_zelta.conf";
inline constexpr const char* kMachineSettingsEnv = "VEDALIA_MACHINE_SETTINGS";

// The machine-wide setting file in use, and one key's value from it (empty when the file
// or the key is missing).
QString MachineSettingsPath();
QString ReadMachineSetting(const QString& key);
// The value of InstallMode in the machine-wide setting file.
QString ReadInstallMode();

// One mounted volume as the content-medium search sees it.
struct MountedVolume {
  QString rootPath;        // mount path, without a trailing "/" (except "/")
  bool optical = false;    // CD/DVD (iso9660, udf or an sr device)
  bool removable = false;  // removable media (the block device says so)
  bool readOnly = false;
  bool valid = false;
  bool ready = false;
  qint64 bytesTotal = -1;  // -1: unknown
};
using VolumeLister = std::function<QList<MountedVolume>()>;
// The mounted volumes in force (the system's unless replaced).
QList<MountedVolume> MountedVolumes();
// Installs `lister` (empty: the system's volumes) and returns the previous one.
VolumeLister SetVolumeLister(VolumeLister lister);

// True when the volume mounted at `drive` is valid, ready and of known size.
bool IsDriveReady(const QString& drive);

// The mount path (no trailing "/") of the last volume, in mount-path order, that is a
// read-only optical or a removable medium, ready, and holds start.swf in its root; empty
// when there is none. ContentDir is then this path + "/".
QString FindContentDrive();

}  // namespace vedalia
