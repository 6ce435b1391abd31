#pragma once
// Start-up of the shell: the player runtime, one instance per machine, the two roots, the
// start movie check, the splash while the main window is built and the database probed,
// and the message loop until the main window closes.

#include <QString>
#include <functional>
#include <memory>

class QLockFile;

namespace vedalia {

// The messages of a refused start.
extern const char* const kPlayerCodeDamagedMessage;
extern const char* const kAlreadyRunningMessage;
extern const char* const kStartMovieMessage;

// Copies the runtime resource and installs it into the host control; false when the
// resource is missing or damaged.
bool InstallPlayerCodeFromResource(const QString& resourcePath);
bool InstallPlayerCodeFromResource();

// The single-instance lock file: global_tovk_8-<account id>.lock in the machine's lock
// folder (/run/lock, else /tmp), whatever TMPDIR says.
QString InstanceLockPath();
// Takes the lock (a stale lock of a dead process is taken over); null when another live
// process holds it.
std::unique_ptr<QLockFile> TakeInstanceLock(const QString& lockPath);

// BaseDir := `workingDir`; ContentDir := the content medium's root in CD install mode
// when one holds start.swf, else BaseDir.
void SettleDirectories(const QString& workingDir);

// ContentDir() + "start.swf" exists and is a movie with frames.
bool StartMovieIsPlayable();

struct StartupOptions {
  QString lockPath;      // empty: InstanceLockPath()
  QString workingDir;    // empty: the process working directory
  QString settingsPath;  // empty: SettingsFilePath()
  int splashMilliseconds = 2000;
  // The database availability check; empty: the store's own on "users" and "results".
  std::function<bool()> checkDatabase;
};

// Steps up to the start movie check. Shows the refusal's message and returns false when
// the program must end; on success `lock` holds the instance lock.
bool PrepareStart(const StartupOptions& options, std::unique_ptr<QLockFile>& lock);

// The whole start-up sequence and the message loop (needs a QApplication); the process
// exit code.
int RunShell(const StartupOptions& options = StartupOptions());

}  // namespace vedalia
