#pragma once
// The base of every viewer window: a top-level window owned by the main window and known to
// the player set by two keys, the object's name and its type title.

#include <QByteArray>
#include <QMainWindow>
#include <QString>

class QCloseEvent;

namespace vedalia {

// Everything a viewer window is created with, named as the window's fields; which of them a
// kind uses follows its constructor. Every field has a default, so that callers name only
// the ones they set.
struct TViewerRequest {
  QString Kind{};  // the viewer that takes it: "swf" (also XML items), "jpg", "avi" or "gms"
  QString MovieName{};
  QString FolderPath{};
  QString ObjectName{};
  QString ContentName{};
  QByteArray Stream{};
  QString TypeTitle{};
  QString UserFolderName{};
  QString SaveExtension{};
  bool SuggestName = false;
  bool FixedSize = true;
  int FrameWidth = 800;
  int FrameHeight = 600;
};

class TPlayerForm : public QMainWindow {
  Q_OBJECT

 public:
  // What closing the window does to it.
  enum class TCloseAction { Free, Hide };

  // `owner` (the main window, may be null in tests) owns the window but it stays top-level.
  // The type title is also the window's caption.
  TPlayerForm(QWidget* owner, const QString& objectName, const QString& typeTitle);
  ~TPlayerForm() override;

  // First key: the name of the media object shown.
  const QString& ObjectName() const { return FObjectName; }
  // Second key: the Russian title of the object's media type.
  const QString& TypeTitle() const { return FTypeTitle; }

  // True when both keys equal the given ones (exact comparison).
  bool HasKeys(const QString& objectName, const QString& typeTitle) const;

  TCloseAction CloseAction() const { return FCloseAction; }

 signals:
  // Emitted once when a window that frees itself starts closing; the player set drops it from
  // its list here, before the deferred deletion.
  void Released(vedalia::TPlayerForm* form);

 protected:
  // Viewers that must survive closing (the 3D viewer) switch to Hide in their constructor.
  void SetCloseAction(TCloseAction action);
  void closeEvent(QCloseEvent* event) override;

 private:
  QString FObjectName;
  QString FTypeTitle;
  TCloseAction FCloseAction = TCloseAction::Free;
  bool FReleased = false;
};

}  // namespace vedalia
