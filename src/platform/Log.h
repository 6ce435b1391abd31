#pragma once
// Logging categories, one per layer, switched on and off with QT_LOGGING_RULES
// (for example "vedalia.store.debug=true"), and the rotating file that keeps the warnings of
// every run for the administrator, since a classroom machine has no console.
// No log line may carry a password, a key or a password code.

#include <QLoggingCategory>
#include <QString>

namespace vedalia {

Q_DECLARE_LOGGING_CATEGORY(lcPlatform)  // vedalia.platform
Q_DECLARE_LOGGING_CATEGORY(lcMovie)     // vedalia.movie: the movie host and its renderer
Q_DECLARE_LOGGING_CATEGORY(lcMedia)     // vedalia.media: catalogue, content, dispatch
Q_DECLARE_LOGGING_CATEGORY(lcStore)     // vedalia.store: accounts and results
Q_DECLARE_LOGGING_CATEGORY(lcViewers)   // vedalia.viewers
Q_DECLARE_LOGGING_CATEGORY(lcModel3d)   // vedalia.model3d
Q_DECLARE_LOGGING_CATEGORY(lcShell)     // vedalia.shell: start-up, windows, commands

// Inside a catch block: logs a warning that `operation` failed, with the exception's message.
// Callers make sure that message names no secret (the store's name statements with
// placeholders, never the values bound to them).
void LogFailure(const QLoggingCategory& category, const char* operation) noexcept;

// Where the shell keeps its warnings: vedalia/warnings.log in the XDG state folder
// ($XDG_STATE_HOME, by default ~/.local/state).
QString WarningLogPath();

// From now on warnings and worse are also appended to `path` (its folder is made), each line
// with its time, level and category; once the file passes `maxBytes` it becomes path.1 and the
// older ones move up to path.<keep>, the oldest dropped. Messages still reach the handler that
// was installed before. False when the file cannot be opened; the messages then go only there.
bool InstallWarningLog(const QString& path, qint64 maxBytes = 1 << 20, int keep = 3);
// Stops writing the file and gives the messages back to the earlier handler.
void RemoveWarningLog();

}  // namespace vedalia
