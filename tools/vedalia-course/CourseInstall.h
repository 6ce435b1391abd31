#pragma once
// Shared by install and uninstall: the record an installed course keeps of itself, the
// folders launchers go to, and the exit codes both commands document.

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

}  // namespace vedalia::course
