#pragma once
// The movie host control: one Flash movie in a widget, its variables, and the two events
// through which a running movie talks to the program (FSCommand and ExternalInterface
// calls). A renderer back end plays the movie; until one is attached the control keeps
// the movie's variables itself and paints the stage background, so the protocol around it
// can run and be tested without a renderer.
//
// Usage, as both the main window and the viewers do it:
//   auto* player = new TFlashPlayerControl(parent);      // defaults as listed below
//   connect(player, &TFlashPlayerControl::OnFSCommand, this, &Form::ShPlayerFSCommand);
//   player->SetMovie(path);                               // or PlayFromStream(0, stream)
//   player->SetMenu(false);
//   player->SetBackgroundColor(16380145);
//   ...
//   player->SetFlashVars("name=value");                   // one reply to the movie
//
// Properties never throw: a failing back-end call behind a setter is ignored.
// PlayFromStream and TotalFrames answer failures as results (false, 0).

#include <QByteArray>
#include <QColor>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <memory>

class QIODevice;

namespace vedalia {

class TFlashPlayerControl;

// A renderer back end behind one control. The control forwards what the movie must see;
// the back end raises the movie's events through TFlashPlayerControl::RaiseFSCommand and
// RaiseFlashCall, on the UI thread.
class IFlashRenderer {
 public:
  virtual ~IFlashRenderer() = default;
  // The widget that shows the movie; the control lays it over its whole area and owns it.
  // Null: the control paints the stage background itself.
  virtual QWidget* View() = 0;
  // Starts the movie held in `movie` (a complete SWF file). `path` is the file it came from,
  // empty for a movie played from memory (relative loads of the movie resolve against it).
  virtual bool Load(const QByteArray& movie, const QString& path) = 0;
  // Stops the movie it plays: the control was given one it cannot take, and an earlier movie
  // must not go on as if it were the new one.
  virtual void Unload() = 0;
  // Delivers one variable to the running movie (a FlashVars assignment or SetVariable).
  virtual void SetVariable(const QString& name, const QString& value) = 0;
  // The movie's value of a variable; false when the back end cannot tell (the control then
  // answers from the values it delivered).
  virtual bool GetVariable(const QString& name, QString& value) = 0;
  // Answer to the pending ExternalInterface call.
  virtual void SetReturnValue(const QString& value) = 0;
  // The back end raises TFlashPlayerControl::RaiseMovieReady once the movie answers host
  // calls; false when it never will tell (the control then counts a loaded movie as ready).
  virtual bool ReportsMovieReady() const { return false; }
  virtual void GotoFrame(int frame) = 0;
  // Background and context menu follow the control's properties.
  virtual void SetBackgroundColor(const QColor& color) = 0;
  virtual void SetMenu(bool enabled) = 0;
};

// Creates the back end for a windowed control; installed once by the program. Without a
// factory (and always for probes) a control has no back end.
using FlashRendererFactory = std::unique_ptr<IFlashRenderer> (*)(TFlashPlayerControl& control);

class TFlashPlayerControl : public QWidget {
  Q_OBJECT

 public:
  // Player settings both windows create the control with.
  static constexpr int kDefaultFrameNum = -1;
  static constexpr int kDefaultQuality = 1;
  static constexpr int kDefaultScaleMode = 0;
  static constexpr int kDefaultAlignMode = 0;
  static constexpr int kDefaultBackgroundColor = -1;  // the movie's own stage colour
  // The colour the windows set after loading a movie (0xF9F0F1, 0xRRGGBB).
  static constexpr int kStageColor = 16380145;

  // With a parent: a windowed control that plays movies. Without: a probe, which inspects
  // the movie file natively and starts no renderer.
  explicit TFlashPlayerControl(QWidget* parent = nullptr);
  ~TFlashPlayerControl() override;

  // -- The player runtime ------------------------------------------------------------------
  // Checks the runtime package read whole from `stream` (from its current position to its
  // end) and keeps a copy for every later control. False when it is missing or damaged;
  // the previously installed runtime, if any, stays.
  static bool InstallPlayerCode(QIODevice& stream);
  static bool PlayerCodeInstalled();
  // The installed runtime package (empty before InstallPlayerCode succeeded).
  static QByteArray PlayerCode();
  // Path of the runtime package resource (":/FLASHOCX"), compiled into the programs that
  // link the target flashruntime.
  static QString PlayerCodeResource();
  // Files of a valid runtime package by name; empty when `package` is not valid.
  static QHash<QString, QByteArray> UnpackPlayerCode(const QByteArray& package);
  // Builds a runtime package from named files (for the build and tests).
  static QByteArray PackPlayerCode(const QList<QPair<QString, QByteArray>>& files);

  static void SetRendererFactory(FlashRendererFactory factory);

  // Frame count of a movie file or image without creating a control; 0 when it is not a
  // movie (missing, damaged, unknown signature, no frames).
  static int ProbeTotalFrames(const QString& path);
  static int ProbeTotalFrames(const QByteArray& movie);

  // -- Movie ---------------------------------------------------------------------------------
  // Loads and plays the movie file; an unreadable file leaves no movie loaded.
  void SetMovie(const QString& path);
  QString Movie() const { return moviePath; }
  // Plays a movie held in memory. Reads `stream` from its first byte to its end and leaves
  // the position there. `layer` 0 replaces the movie. False when nothing could be played.
  bool PlayFromStream(int layer, QIODevice& stream);
  // Frame count of the loaded movie; 0 without a valid movie.
  int TotalFrames() const { return totalFrames; }
  // Stage size in pixels of the loaded movie (empty without one).
  QSize StageSize() const { return stageSize; }
  // The loaded movie's bytes (empty without one).
  const QByteArray& MovieData() const { return movieData; }

  // -- Talking to the movie --------------------------------------------------------------------
  // One "name=value" assignment delivered to the running movie, in order. Text without "="
  // delivers the whole text as a name with an empty value.
  void SetFlashVars(const QString& text);
  QString FlashVars() const { return flashVars; }
  // Every FlashVars text delivered since the movie was loaded, oldest first.
  const QStringList& DeliveredFlashVars() const { return delivered; }
  void SetVariable(const QString& name, const QString& value);
  QString GetVariable(const QString& name) const;
  // Answer to the pending OnFlashCall (kept until the next call is raised).
  void SetReturnValue(const QString& value);
  QString ReturnValue() const { return returnValue; }
  void GotoFrame(int frame);
  int CurrentFrame() const { return frameNum; }
  // True once the current movie's first frame has run and it answers GetVariable and
  // SetVariable itself (see MovieReady). Without a back end: as soon as a movie is loaded.
  bool IsMovieReady() const { return movieReady; }

  // -- Player properties -------------------------------------------------------------------------
  void SetMenu(bool enabled);
  bool Menu() const { return menu; }
  // 0xRRGGBB, or -1 for the movie's own stage colour.
  void SetBackgroundColor(int color);
  int BackgroundColor() const { return backgroundColor; }
  // The colour the stage is painted with now.
  QColor StageColor() const;

  void SetFrameNum(int value) { frameNum = value; }
  int FrameNum() const { return frameNum; }
  void SetPlaying(bool value) { playing = value; }
  bool Playing() const { return playing; }
  void SetQuality(int value) { quality = value; }
  int Quality() const { return quality; }
  void SetScaleMode(int value) { scaleMode = value; }
  int ScaleMode() const { return scaleMode; }
  void SetAlignMode(int value) { alignMode = value; }
  int AlignMode() const { return alignMode; }
  void SetLoop(bool value) { loop = value; }
  bool Loop() const { return loop; }
  void SetWMode(const QString& value) { wmode = value; }
  QString WMode() const { return wmode; }
  void SetScale(const QString& value) { scale = value; }
  QString Scale() const { return scale; }
  void SetDeviceFont(bool value) { deviceFont = value; }
  bool DeviceFont() const { return deviceFont; }
  void SetEmbedMovie(bool value) { embedMovie = value; }
  bool EmbedMovie() const { return embedMovie; }
  void SetQuality2(const QString& value) { quality2 = value; }
  QString Quality2() const { return quality2; }

  // The back end in use (null for probes and before a renderer exists).
  IFlashRenderer* Renderer() const { return renderer.get(); }
  // Replaces the back end (tests, or the program once its renderer is ready).
  void SetRenderer(std::unique_ptr<IFlashRenderer> renderer);

  // -- Events from the movie ---------------------------------------------------------------------
  // Raised by the back end (and by tests standing in for a movie). Synchronous: the
  // handlers have run when these return.
  void RaiseFSCommand(const QString& command, const QString& args);
  // Returns the value a handler set with SetReturnValue (empty when none did).
  QString RaiseFlashCall(const QString& request);
  // The back end's word that the current movie is ready; raises MovieReady once per movie.
  void RaiseMovieReady();

 signals:
  void OnFSCommand(vedalia::TFlashPlayerControl* sender, const QString& command,
                   const QString& args);
  void OnFlashCall(vedalia::TFlashPlayerControl* sender, const QString& request);
  // Once per loaded movie, when its first frame has run and host calls reach it.
  void MovieReady();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  bool loadMovie(const QByteArray& movie, const QString& path);
  void attachRendererView();

  std::unique_ptr<IFlashRenderer> renderer;
  QString moviePath;
  QByteArray movieData;
  int totalFrames = 0;
  QSize stageSize;
  bool movieReady = false;

  QString flashVars;
  QStringList delivered;
  QHash<QString, QString> variables;
  QString returnValue;

  int frameNum = kDefaultFrameNum;
  bool playing = false;
  int quality = kDefaultQuality;
  int scaleMode = kDefaultScaleMode;
  int alignMode = kDefaultAlignMode;
  int backgroundColor = kDefaultBackgroundColor;
  bool loop = true;
  QString wmode = QStringLiteral("Window");
  bool menu = true;
  QString scale = QStringLiteral("ShowAll");
  bool deviceFont = false;
  bool embedMovie = false;
  QString quality2 = QStringLiteral("High");
};

}  // namespace vedalia
