#pragma once
// Shared by install and uninstall: the record an installed course keeps of itself, the
// folders launchers go to, and the exit codes both commands document.

#include <sys/types.h>

#include <QString>
#include <QStringList>

namespace vedalia::course {

enum InstallExit : int {
  kInstallOk = 0,
  kInstallFailed = 1,  // an operation failed midway (read, write, remove); see the message
  kInstallUsage = 2,
  kInstallBadSource = 3,  // SOURCE is no course (or unreadable); uninstall: TARGET has none
  kInstallBadTarget = 4,  // TARGET cannot take the course (inside SOURCE, occupied, read-only)
  kInstallNoSpace = 5,
  kInstallInterrupted = 130,
};

// The record in an installed course folder (and in its staging folder while copying).
inline constexpr const char* kInstallRecordName = ".vedalia-course.ini";

struct InstallRecord {
  QString title;
  QString mode;         // "full" or "cd"
  QString source;       // the source folder as given, made absolute
  QString sourceStamp;  // start.swf's size and time: a staging folder resumes only for the same
  bool system = false;
  QString group;
  QStringList launchers;  // absolute paths of the launcher files written
};

bool ReadInstallRecord(const QString& folder, InstallRecord& record);
bool WriteInstallRecord(const QString& folder, const InstallRecord& record, QString* error);

// Where launchers go: the user's menu and desktop, or the menu of every user.
QString UserMenuFolder();
QString UserDesktopFolder();
// /usr/local/share/applications (local administrators' entries; the environment variable
// VEDALIA_SYSTEM_APPLICATIONS_DIR names another folder, for tests).
QString SystemMenuFolder();

// True for database/, folders/ and what lies below them: the shell's BaseDir part.
bool UnderBaseDir(const QString& rel);

// Below `root`: with `system`, the pupils' part writable by `gid` (set-group-ID folders with
// a default ACL, group-writable files), the rest read-only; else 0755/0644 throughout.
bool ApplyPermissions(const QString& root, bool system, gid_t gid, QString& error);

// A launcher (desktop entry) that starts the shell in `target`, named `title`, and its file
// name: one per course folder, so that two courses never share one.
QString LauncherText(const QString& title, const QString& target);
QString LauncherFileName(const QString& target);

// Sets InstallMode=CD in the machine-wide setting file, keeping its other lines.
bool WriteCdMode(QString& error);

}  // namespace vedalia::course
