#pragma once
// A content tree, a logged-in pupil's folder name and the fake services, and a way to open a
// viewer window on a movie written for the test.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QHash>
#include <QPointer>
#include <QTemporaryDir>
#include <QtTest/QTest>
#include <memory>

#include "common/FakeServices.h"
#include "flashhost/FlashPlayerControl.h"
#include "flashhost/SwfWriter.h"
#include "misc/uMisc.h"
#include "viewers/SwfFrm.h"

namespace vedalia::test {

// A back end that knows only the movie's variables the test gives it: the way a real movie
// would report its stage size.
class VariableRenderer : public IFlashRenderer {
 public:
  static QHash<QString, QString>& Variables() {
    static QHash<QString, QString> vars;
    return vars;
  }
  // True: the movie is ready only when the test raises RaiseMovieReady.
  static bool& ReportsReady() {
    static bool reports = false;
    return reports;
  }
  static std::unique_ptr<IFlashRenderer> Create(TFlashPlayerControl&) {
    return std::make_unique<VariableRenderer>();
  }
  bool ReportsMovieReady() const override { return ReportsReady(); }
  QWidget* View() override { return nullptr; }
  bool Load(const QByteArray&, const QString&) override { return true; }
  void Unload() override {}
  void SetVariable(const QString&, const QString&) override {}
  bool GetVariable(const QString& name, QString& value) override {
    if (!Variables().contains(name)) return false;
    value = Variables().value(name);
    return true;
  }
  void SetReturnValue(const QString&) override {}
  void GotoFrame(int) override {}
  void SetBackgroundColor(const QColor&) override {}
  void SetMenu(bool) override {}
};

struct FormArgs {
  QString movieName = QStringLiteral("napoleon.swf");
  QString typeFolder = QStringLiteral("history");
  QString objectName = QStringLiteral("Наполеон");
  QString contentName = QStringLiteral("none");
  QString typeTitle = QStringLiteral("История");
  QString userFolder = QStringLiteral("8А/Иванов Пётр");
  QString saveExtension = QStringLiteral("doc");
  bool suggestName = false;
  bool fixedSize = true;
  int frameWidth = 800;
  int frameHeight = 600;
};

class SwfFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(base.isValid());
    SetBaseDir(base.path());
    // The personal folders' root exists in every installation.
    ASSERT_TRUE(QDir(base.path()).mkpath("folders"));
    SetContentDir(base.path());
    VariableRenderer::Variables().clear();
    VariableRenderer::ReportsReady() = false;
  }
  void TearDown() override {
    for (const QPointer<TSwfForm>& f : forms) delete f.data();
    TFlashPlayerControl::SetRendererFactory(nullptr);
    SetBaseDir(QString());
    SetContentDir(QString());
  }

  QString TypeDir(const QString& typeFolder) const {
    return base.path() + QStringLiteral("/data/") + typeFolder + QLatin1Char('/');
  }
  void WriteFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    f.write(bytes);
  }
  static QByteArray ReadFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return "<missing>";
    return f.readAll();
  }
  QString PersonalDir(const FormArgs& a) const {
    return base.path() + QStringLiteral("/folders/") + a.userFolder + QLatin1Char('/');
  }

  TViewerRequest Request(const FormArgs& a, const QByteArray& movie) const {
    return {.Kind = "swf",
            .MovieName = a.movieName,
            .FolderPath = TypeDir(a.typeFolder),
            .ObjectName = a.objectName,
            .ContentName = a.contentName,
            .Stream = movie,
            .TypeTitle = a.typeTitle,
            .UserFolderName = a.userFolder,
            .SaveExtension = a.saveExtension,
            .SuggestName = a.suggestName,
            .FixedSize = a.fixedSize,
            .FrameWidth = a.frameWidth,
            .FrameHeight = a.frameHeight};
  }

  // Writes the movie into the type's folder and opens a window on it, as the player set does.
  TSwfForm* Open(const FormArgs& a, int stageWidth = 550, int stageHeight = 400) {
    SwfMovieSpec movieSpec;
    movieSpec.width = stageWidth;
    movieSpec.height = stageHeight;
    movieSpec.frameCount = 2;
    const QByteArray movie = WriteSwfMovie(movieSpec);
    WriteFile(TypeDir(a.typeFolder) + a.movieName, movie);
    auto* form = new TSwfForm(
        nullptr,
        {.OpenMedia =
             [this](const QString& f, const QString& t, const QString& o, const QString& u) {
               opened << QStringList{f, t, o, u};
               if (openThrows) throw std::runtime_error("catalogue");
               return openResult;
             }},
        Request(a, movie));
    forms << form;
    return form;
  }

  // Replies the window sent its movie, after the first `skip` ones.
  static QStringList Replies(TSwfForm* form, int skip = 2) {
    return form->ShPlayer()->DeliveredFlashVars().mid(skip);
  }
  static void Command(TSwfForm* form, const QString& command, const QString& args = QString()) {
    form->ShPlayer()->RaiseFSCommand(command, args);
  }
  QStringList MessageTexts() const {
    QStringList texts;
    for (const RecordedMessage& m : services.messages.shown) texts << m.text;
    return texts;
  }

  QTemporaryDir base;
  ScopedFakeServices services;
  QList<QPointer<TSwfForm>> forms;
  QList<QStringList> opened;
  TOpenMediaResult openResult = kMediaOpened;
  bool openThrows = false;
};

}  // namespace vedalia::test
