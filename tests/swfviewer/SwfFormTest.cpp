#include <QBuffer>
#include <QImage>
#include "common/WaitFor.h"

#include "SwfFixture.h"
#include "media/uDecryptor.h"

using namespace vedalia;
using namespace vedalia::test;

namespace {

const QString kCopiedPersonal = QStringLiteral("Файл успешно скопирован в Вашу личную директорию.");
const QString kCopyFailed = QStringLiteral("Не удалось скопировать файл.");
const QString kNoPrinter =
    QStringLiteral("Принтеров не обнаружено. Перед началом печати требуется установить принтер!");

QByteArray JpegBytes() {
  QImage image(32, 16, QImage::Format_RGB32);
  image.fill(QColor(200, 30, 30));
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "JPG");
  return bytes;
}

}  // namespace

TEST_F(SwfFormTest, CreationPlaysTheItemAndTellsTheMovieWhatItShows) {
  FormArgs a;
  a.typeFolder = "photo";
  TSwfForm* form = Open(a);
  EXPECT_EQ(form->windowTitle(), QStringLiteral("История"));
  EXPECT_EQ(form->ObjectName(), QStringLiteral("Наполеон"));
  EXPECT_EQ(form->ShPlayer()->TotalFrames(), 2);
  EXPECT_EQ(form->ShPlayer()->DeliveredFlashVars(),
            (QStringList{"fileType=photo", "fileName=napoleon.swf"}));
  EXPECT_FALSE(form->ShPlayer()->Menu());
  EXPECT_EQ(form->ShPlayer()->BackgroundColor(), 16380145);
  EXPECT_EQ(form->ShPlayer()->WMode(), "Window");
  EXPECT_EQ(form->ShPlayer()->Scale(), "ShowAll");
  EXPECT_FALSE(form->ShPlayer()->Playing());

  Command(form, "askContent");
  EXPECT_EQ(Replies(form), QStringList{"mediaContent=none"});
}

TEST_F(SwfFormTest, TemplateWindowNamesTheDataFile) {
  FormArgs a;
  a.movieName = "vocab_tmpl.swf";
  a.typeFolder = "vocab";
  a.contentName = "words.xml";
  a.frameWidth = 400;
  a.frameHeight = 300;
  TSwfForm* form = Open(a);
  EXPECT_EQ(form->ShPlayer()->DeliveredFlashVars(),
            (QStringList{"fileType=vocab", "fileName=words.xml"}));
  Command(form, "askContent");
  EXPECT_EQ(Replies(form), QStringList{"mediaContent=words.xml"});
  form->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(form));
  EXPECT_EQ(form->ShPlayer()->size(), QSize(400, 300));
}

TEST_F(SwfFormTest, SizeFollowsTheFrameOrTheMovieStage) {
  TFlashPlayerControl::SetRendererFactory(&VariableRenderer::Create);
  auto& vars = VariableRenderer::Variables();
  vars = {{"Stage_width", "640"}, {"Stage_height", "480"}};

  FormArgs a;
  a.fixedSize = false;
  TSwfForm* staged = Open(a);
  staged->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(staged));
  EXPECT_EQ(staged->ShPlayer()->size(), QSize(640, 480));
  // The border is single: the window cannot be resized.
  EXPECT_EQ(staged->minimumSize(), staged->maximumSize());

  // A fixed window ignores the stage.
  a.fixedSize = true;
  EXPECT_EQ(Open(a)->size(), QSize(800, 600));

  // A side that is missing or no positive whole number: both sides from the frame.
  a.fixedSize = false;
  const QList<QHash<QString, QString>> unreadable = {
      {{"Stage_width", "640"}},
      {{"Stage_width", "640"}, {"Stage_height", "4.5e2"}},
      {{"Stage_width", "0"}, {"Stage_height", "480"}},
      {{"Stage_width", "-640"}, {"Stage_height", "480"}},
      {{"Stage_width", ""}, {"Stage_height", "480"}},
  };
  for (const auto& v : unreadable) {
    vars = v;
    EXPECT_EQ(Open(a)->size(), QSize(800, 600))
        << v.value("Stage_width").toStdString() << "x" << v.value("Stage_height").toStdString();
  }
}

TEST_F(SwfFormTest, StageSizeIsTakenWhenTheFirstFrameHasRunUnlessThatTakesTooLong) {
  TFlashPlayerControl::SetRendererFactory(&VariableRenderer::Create);
  VariableRenderer::ReportsReady() = true;
  VariableRenderer::Variables() = {{"Stage_width", "640"}, {"Stage_height", "480"}};
  TSwfForm::SetStageWait(2000);
  struct Restore {
    ~Restore() { TSwfForm::SetStageWait(15000); }
  } restore;
  FormArgs a;
  a.fixedSize = false;
  TSwfForm* prompt = Open(a);
  TSwfForm* late = Open(a);
  prompt->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(prompt));
  // Shown at once, at the frame size, while the movie has not run yet.
  EXPECT_EQ(prompt->size(), QSize(800, 600));
  const QPoint centre = prompt->frameGeometry().center();
  prompt->ShPlayer()->RaiseMovieReady();
  EXPECT_EQ(prompt->ShPlayer()->size(), QSize(640, 480));
  EXPECT_EQ(prompt->minimumSize(), prompt->maximumSize());
  EXPECT_LE((prompt->frameGeometry().center() - centre).manhattanLength(), 2);
  // A movie that becomes ready after the wait leaves its window as it is.
  QTest::qWait(2300);
  late->ShPlayer()->RaiseMovieReady();
  EXPECT_EQ(late->size(), QSize(800, 600));
}

TEST_F(SwfFormTest, SavePersonalCopiesTheCompanionDocumentPlain) {
  FormArgs a;
  const QByteArray doc("{\\rtf1 Наполеон}");
  WriteFile(TypeDir(a.typeFolder) + "napoleon.doc", doc);
  TSwfForm* form = Open(a);

  Command(form, "save_personal");
  EXPECT_EQ(ReadFile(PersonalDir(a) + QStringLiteral("Наполеон.doc")), doc);
  ASSERT_EQ(services.messages.shown.size(), 1u);
  EXPECT_EQ(services.messages.shown[0].kind, MessageKind::Information);
  EXPECT_EQ(services.messages.shown[0].text, kCopiedPersonal);
  EXPECT_EQ(services.messages.shown[0].parent, form);

  // "save_file" always copies the document, under the vocabulary's name.
  Command(form, "save_file");
  EXPECT_EQ(ReadFile(PersonalDir(a) + QStringLiteral("Словарь_Наполеон.doc")), doc);
  EXPECT_EQ(MessageTexts(), (QStringList{kCopiedPersonal, kCopiedPersonal}));
  EXPECT_TRUE(Replies(form).isEmpty());
}

TEST_F(SwfFormTest, PictureCompanionIsUnscrambledOnCopy) {
  FormArgs a;
  a.typeFolder = "photo";
  a.movieName = "kremlin.swf";
  a.objectName = "Кремль";
  a.saveExtension = "jpg";
  const QByteArray jpeg = JpegBytes();
  WriteFile(TypeDir("photo") + "kremlin.jpg",
            TDecryptor::Unscrambled(jpeg, QByteArray(1, TDecryptor::kDefaultKey)));
  WriteFile(TypeDir("photo") + "kremlin.doc", "document");
  TSwfForm* form = Open(a);

  Command(form, "save_personal");
  EXPECT_EQ(ReadFile(PersonalDir(a) + QStringLiteral("Кремль.jpg")), jpeg);
  // "save_file" takes the document whatever the window copies otherwise.
  Command(form, "save_file");
  EXPECT_EQ(ReadFile(PersonalDir(a) + QStringLiteral("Словарь_Кремль.doc")),
            QByteArray("document"));
  EXPECT_EQ(MessageTexts(), (QStringList{kCopiedPersonal, kCopiedPersonal}));
}

TEST_F(SwfFormTest, FailedCopiesWarnAndWriteNothingOutsideTheFolders) {
  FormArgs a;
  a.objectName = "../../escape";
  WriteFile(TypeDir(a.typeFolder) + "napoleon.doc", "doc");
  TSwfForm* form = Open(a);
  Command(form, "save_personal");
  Command(form, "save_file");  // "Словарь_../../escape": still no plain name
  EXPECT_FALSE(QFile::exists(base.path() + "/escape.doc"));
  EXPECT_FALSE(QFile::exists(base.path() + "/folders/escape.doc"));

  // A missing companion file.
  a.objectName = "Ватерлоо";
  a.movieName = "waterloo.swf";
  TSwfForm* missing = Open(a);
  Command(missing, "save_personal");
  EXPECT_FALSE(QFile::exists(PersonalDir(a) + QStringLiteral("Ватерлоо.doc")));

  ASSERT_EQ(services.messages.shown.size(), 3u);
  for (const RecordedMessage& m : services.messages.shown) {
    EXPECT_EQ(m.kind, MessageKind::Warning);
    EXPECT_EQ(m.text, kCopyFailed);
  }
}

TEST_F(SwfFormTest, SaveOtherAsksForTheNameAndCopiesThere) {
  FormArgs a;
  a.suggestName = true;
  WriteFile(TypeDir(a.typeFolder) + "napoleon.doc", "doc bytes");
  TSwfForm* form = Open(a);
  const QString outside = base.path() + "/elsewhere";
  QDir().mkpath(outside);

  // A bare name gets the document's extension.
  services.dialogs.answers = {outside + "/report"};
  Command(form, "save_other");
  EXPECT_EQ(ReadFile(outside + "/report.doc"), QByteArray("doc bytes"));
  ASSERT_EQ(services.dialogs.opened.size(), 1u);
  const RecordedDialog& d = services.dialogs.opened[0];
  EXPECT_TRUE(d.save);
  EXPECT_EQ(d.parent, form);
  EXPECT_EQ(QDir(d.initialDir).absolutePath(), QDir(PersonalDir(a)).absolutePath());
  EXPECT_EQ(d.initialName, QStringLiteral("Наполеон"));
  EXPECT_EQ(d.filter, QStringLiteral("Документы Microsoft Word (*.doc);;Все файлы (*.*)"));

  // A name with its own extension is kept; cancelling does nothing; an unwritable choice warns.
  services.dialogs.answers = {outside + "/copy.rtf", QString(), outside + "/no/such/dir/x.doc"};
  Command(form, "save_other");
  Command(form, "save_other");
  Command(form, "save_other");
  EXPECT_EQ(ReadFile(outside + "/copy.rtf"), QByteArray("doc bytes"));
  EXPECT_EQ(services.dialogs.opened.size(), 4u);
  EXPECT_EQ(MessageTexts(), (QStringList{QStringLiteral("Файл успешно скопирован"),
                                         QStringLiteral("Файл успешно скопирован"), kCopyFailed}));
  EXPECT_EQ(services.messages.shown[2].kind, MessageKind::Warning);
  EXPECT_TRUE(Replies(form).isEmpty());
}

TEST_F(SwfFormTest, SaveOtherOfAPictureOffersJpegAndNoSuggestedName) {
  FormArgs a;
  a.typeFolder = "photo";
  a.saveExtension = "jpg";
  const QByteArray jpeg = JpegBytes();
  WriteFile(TypeDir("photo") + "napoleon.jpg", jpeg);
  TSwfForm* form = Open(a);
  services.dialogs.answers = {base.path() + "/pic"};
  Command(form, "save_other");
  ASSERT_EQ(services.dialogs.opened.size(), 1u);
  EXPECT_TRUE(services.dialogs.opened[0].initialName.isEmpty());
  EXPECT_EQ(services.dialogs.opened[0].filter,
            QStringLiteral("Изображения в формате JPEG (*.jpg);;Все файлы (*.*)"));
  EXPECT_EQ(ReadFile(base.path() + "/pic.jpg"), jpeg);
}

TEST_F(SwfFormTest, OpenFileAsksThePlayerSetAndShowsItsResult) {
  FormArgs a;
  a.userFolder = "8Б/Сидорова Анна Мария";
  TSwfForm* form = Open(a);

  Command(form, "open_file", QStringLiteral("map.swf geo Карта мира"));
  Command(form, "open_file", "p1.jpg photo");
  ASSERT_EQ(opened.size(), 2);
  // Only the first three pieces count; the user folder goes on whole, blanks and all.
  EXPECT_EQ(opened[0], (QStringList{"map.swf", "geo", QStringLiteral("Карта"), a.userFolder}));
  EXPECT_EQ(opened[1], (QStringList{"p1.jpg", "photo", "", a.userFolder}));
  EXPECT_TRUE(services.messages.shown.empty());

  const QList<std::pair<TOpenMediaResult, RecordedMessage>> results = {
      {kNoViewer, {form, MessageKind::Warning, QStringLiteral("Нет такого типа медиаобъектов.")}},
      {kCannotPlay, {form, MessageKind::Warning, QStringLiteral("Невозможно проиграть файл.")}},
      {kViewerWindowFailed,
       {form, MessageKind::Error,
        QStringLiteral("Ошибка при создании формы плеера. Переустановка приложения может "
                       "решить данную проблему.")}},
  };
  for (const auto& [code, expected] : results) {
    services.messages.shown.clear();
    openResult = code;
    Command(form, "open_file", "x.avi video");
    ASSERT_EQ(services.messages.shown.size(), 1u) << code;
    EXPECT_EQ(services.messages.shown[0].kind, expected.kind) << code;
    EXPECT_EQ(services.messages.shown[0].text, expected.text) << code;
    EXPECT_EQ(services.messages.shown[0].parent, form) << code;
  }

  // A failure that escapes the player set ends the command; the window carries on.
  services.messages.shown.clear();
  openThrows = true;
  Command(form, "open_file", "x.swf geo");
  EXPECT_TRUE(services.messages.shown.empty());
  Command(form, "askContent");
  EXPECT_EQ(Replies(form), QStringList{"mediaContent=none"});
}

TEST_F(SwfFormTest, PrintingWithoutPrinters) {
  TSwfForm* form = Open(FormArgs());
  Command(form, "print");
  Command(form, "print_false");
  Command(form, "print_page");
  ASSERT_EQ(services.messages.shown.size(), 3u);
  EXPECT_EQ(MessageTexts(), (QStringList{kNoPrinter, kNoPrinter, kNoPrinter}));
  EXPECT_EQ(services.messages.shown[0].kind, MessageKind::Warning);
  EXPECT_EQ(services.messages.shown[1].kind, MessageKind::Error);
  EXPECT_EQ(services.messages.shown[2].kind, MessageKind::Warning);
  EXPECT_EQ(Replies(form), QStringList{"PrintPage=7"});
  EXPECT_EQ(services.printers.created, 0);
}

TEST_F(SwfFormTest, PrintingWithAPrinter) {
  services.printers.names = {"Kabinet-12"};
  services.printers.pdfPath = base.path() + "/page.pdf";
  TSwfForm* form = Open(FormArgs());
  Command(form, "print");
  // "print_false" is the movie's own verdict: the box even with a printer.
  Command(form, "print_false");
  EXPECT_EQ(Replies(form), QStringList{"print_mode=true"});
  EXPECT_EQ(MessageTexts(), QStringList{kNoPrinter});

  // A cancelled print dialog prints nothing but still answers.
  services.printers.confirm = false;
  Command(form, "print_page");
  EXPECT_EQ(Replies(form), (QStringList{"print_mode=true", "PrintPage=7"}));
  ASSERT_EQ(services.printers.dialogParents.size(), 1u);
  EXPECT_EQ(services.printers.dialogParents[0], form);
  EXPECT_FALSE(QFile::exists(services.printers.pdfPath));
}

TEST_F(SwfFormTest, FlashDataCommandsReplyThroughThePlayer) {
  FormArgs a;
  TSwfForm* form = Open(a);
  const QString file = base.path() + QStringLiteral("/работа");
  services.dialogs.answers = {file, file + ".fld", file + ".fld", file + ".fld"};
  Command(form, "save_inf", QStringLiteral("ответ=Париж"));
  Command(form, "load_inf");
  Command(form, "save_and_load_inf", "second");
  EXPECT_EQ(Replies(form),
            (QStringList{"SaveFlashData=1", QStringLiteral("LoadFlashData=ответ=Париж"),
                         "SaveFlashData=1", "LoadFlashData=second"}));
  ASSERT_EQ(services.dialogs.opened.size(), 4u);
  for (const RecordedDialog& d : services.dialogs.opened) {
    EXPECT_EQ(d.parent, form);
    EXPECT_EQ(QDir(d.initialDir).absolutePath(), QDir(PersonalDir(a)).absolutePath());
    EXPECT_EQ(d.filter, "Flash Data file (*.fld)");
  }
}

TEST_F(SwfFormTest, DebugUnknownAndMiscasedCommands) {
  TSwfForm* form = Open(FormArgs());
  Command(form, "debug", QStringLiteral("кадр 3 中"));
  Command(form, "debug");
  ASSERT_EQ(services.messages.shown.size(), 2u);
  EXPECT_EQ(services.messages.shown[0].kind, MessageKind::Plain);
  // The movie's text arrives narrowed to the 8-bit code page.
  EXPECT_EQ(services.messages.shown[0].text, QStringLiteral("кадр 3 ?"));
  EXPECT_EQ(services.messages.shown[1].text, QString());

  for (const char* unknown : {"Print", "askcontent", "save_personal ", "", "fscommand:quit"})
    Command(form, unknown, "x");
  EXPECT_TRUE(Replies(form).isEmpty());
  EXPECT_EQ(services.messages.shown.size(), 2u);
  EXPECT_TRUE(services.dialogs.opened.empty());
}

TEST_F(SwfFormTest, ExternalCallsAreAnsweredTrue) {
  TSwfForm* form = Open(FormArgs());
  EXPECT_EQ(form->ShPlayer()->RaiseFlashCall(
                "<invoke name=\"anything\" returntype=\"xml\"><arguments/></invoke>"),
            "<string>true</string>");
  EXPECT_EQ(form->ShPlayer()->RaiseFlashCall(""), "<string>true</string>");
}

TEST_F(SwfFormTest, AppExitClosesAndFreesTheWindow) {
  QPointer<TSwfForm> form = Open(FormArgs());
  form->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(form));
  bool released = false;
  QObject::connect(form, &TPlayerForm::Released, [&] { released = true; });
  Command(form, "app_exit");
  EXPECT_TRUE(released);
  VEDALIA_WAIT_TRUE(form.isNull());
}

namespace {

class FakeMainWindow : public QWidget, public IMainWindowLink {
 public:
  FakeMainWindow() : player(new TFlashPlayerControl(this)) {}
  void ShPlayerFSCommand(QObject* sender, const QString& command, const QString& args) override {
    commands << QStringList{command, args};
    senders << sender;
  }
  TFlashPlayerControl* MainPlayer() override { return player; }
  void ShowMainWindow() override { ++shown; }

  TFlashPlayerControl* player;
  QList<QStringList> commands;
  QList<QObject*> senders;
  int shown = 0;
};

}  // namespace

TEST_F(SwfFormTest, CommandsForTheMainWindow) {
  FakeMainWindow main;
  FormArgs a;
  a.objectName = QStringLiteral("Европа 1812");
  QPointer<TSwfForm> form(
      new TSwfForm(nullptr, {.MainWindow = &main}, Request(a, WriteSwfMovie(SwfMovieSpec()))));
  forms << form;
  form->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(form));

  Command(form, "compare_geomap", "europe1815.swf|geo");
  ASSERT_EQ(main.commands.size(), 1);
  EXPECT_EQ(main.commands[0],
            (QStringList{"open_file", QStringLiteral("europe1815.swf|geo|Европа 1812")}));
  EXPECT_EQ(main.senders[0], form.data());
  EXPECT_EQ(main.shown, 0);

  Command(form, "gotoRulers", "ruler_3");
  EXPECT_EQ(main.player->CurrentFrame(), 6);
  EXPECT_EQ(main.player->DeliveredFlashVars(), QStringList{"ChangeActiveRuler=ruler_3"});
  EXPECT_EQ(main.shown, 1);
  VEDALIA_WAIT_TRUE(form.isNull());

  // Without a link the first does nothing and the second still closes the window.
  form = Open(FormArgs());
  for (const char* command : {"compare_geomap", "gotoRulers"}) Command(form, command, "x|y");
  VEDALIA_WAIT_TRUE(form.isNull());
  EXPECT_TRUE(services.messages.shown.empty());
}

TEST_F(SwfFormTest, WindowDestroyedWhileItsDialogIsOpen) {
  // The main window may go (and take its viewers along) while a modal dialog runs.
  services.printers.names = {"Kabinet-12"};
  services.printers.pdfPath = base.path() + "/gone.pdf";
  const QList<std::pair<QString, QString>> commands = {
      {"save_and_load_inf", "text"}, {"load_inf", ""}, {"save_other", ""}, {"print_page", ""}};
  for (const auto& [command, args] : commands) {
    QPointer<TSwfForm> form = Open(FormArgs());
    services.dialogs.opened.clear();
    services.dialogs.answers = {base.path() + "/data", base.path() + "/data.fld"};
    services.dialogs.whileOpen = [&form] { delete form.data(); };
    services.printers.whileOpen = services.dialogs.whileOpen;
    Command(form, command, args);
    EXPECT_TRUE(form.isNull()) << command.toStdString();
    // No second dialog for a window that is gone.
    EXPECT_LE(services.dialogs.opened.size(), 1u) << command.toStdString();
  }
  EXPECT_FALSE(QFile::exists(services.printers.pdfPath));
}
