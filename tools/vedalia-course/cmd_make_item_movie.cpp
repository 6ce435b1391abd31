// make-item-movie OUT: writes an ActionScript 2 item movie of the kind course discs hold: it
// tells its window its stage size, shows what the window told it, and offers one button per
// window command, showing the reply the window sets on _level0.

#include <QString>
#include <QStringList>
#include <iostream>

#include "CourseCommand.h"
#include "MovieArgs.h"
#include "flashhost/SwfWriter.h"

namespace vedalia::course {
namespace {

struct ItemButton {
  QString caption;
  QString command;
  QString args;
  QString reply;  // the _level0 variable the window answers in; empty for none
};

// The window paints the stage in its own colour (0xF9F0F1): dark text, white on the buttons.
constexpr std::uint32_t kTextColor = 0x1D2B4F;
constexpr std::uint32_t kCaptionColor = 0xFFFFFF;
constexpr std::uint32_t kButtonColor = 0x3C6FB4;
constexpr int kButtonWidth = 260;
constexpr int kButtonHeight = 40;
constexpr int kButtonStep = 50;

// _root.createTextField(name, depth, x, y, w, h), formatted, not selectable (so that a caption
// lets the clicks through to its button), showing `text` or the variable `bound`.
void AddTextField(SwfActions& a, const QString& name, int depth, int x, int y, int w, int h,
                  int size, std::uint32_t color, const QString& text, const QString& bound = {}) {
  a.Push(h).Push(w).Push(y).Push(x).Push(depth).Push(name).Push(6).Get("_root");
  a.Push("createTextField").Op(SwfOp::CallMethod).Op(SwfOp::Pop);
  a.Push("format").Push(std::int32_t(color)).Push(size).Push("_sans").Push(3).Push("TextFormat");
  a.Op(SwfOp::NewObject).Op(SwfOp::SetVariable);
  a.Get("format").Push(1).Get(name).Push("setNewTextFormat").Op(SwfOp::CallMethod).Op(SwfOp::Pop);
  a.Get(name).Push("selectable").Push(false).Op(SwfOp::SetMember);
  if (!bound.isEmpty()) a.Get(name).Push("variable").Push(bound).Op(SwfOp::SetMember);
  if (!text.isEmpty()) a.Get(name).Push("text").Push(text).Op(SwfOp::SetMember);
}

SwfMovieSpec ItemMovie(SwfMovieSpec movieSpec, const QString& title,
                       const std::vector<ItemButton>& buttons) {
  movieSpec.backgroundColor = 0xF9F0F1;
  movieSpec.frameCount = 3;  // 1: set up; 2 and 3: a loop that keeps the info line current
  QByteArray tags;
  SwfActions setup;
  // The window sizes itself from these once the first frame has run.
  setup.Set("Stage_width", movieSpec.width).Set("Stage_height", movieSpec.height);
  setup.Set("status", "");
  AddTextField(setup, "titleText", 100, 20, 12, movieSpec.width - 40, 32, 22, kTextColor, title);
  AddTextField(setup, "infoText", 101, 20, 48, movieSpec.width - 40, 24, 14, kTextColor, {},
               "info");
  AddTextField(setup, "statusText", 102, 20, movieSpec.height - 40, movieSpec.width - 40, 24, 14,
               kTextColor, {}, "status");
  tags.append(SwfRectangleShapeTag(1, kButtonWidth, kButtonHeight, kButtonColor));
  for (size_t i = 0; i < buttons.size(); ++i) {
    const ItemButton& b = buttons[i];
    const int id = int(2 + i);
    const int y = 86 + int(i) * kButtonStep;
    SwfActions click;
    click.Fscommand(b.command, b.args);
    // A disc movie reads the reply in its very next action: the window has set it by then.
    click.Push("status").Push(b.caption + ": ");
    if (b.reply.isEmpty())
      click.Push("команда отправлена");
    else
      click.Get(b.reply);
    click.Op(SwfOp::StringAdd).Op(SwfOp::SetVariable);
    tags.append(SwfButtonTag(id, 1, {{kSwfOnRelease, click}}));
    tags.append(SwfPlaceTag({id, id, 20, y, "button" + QString::number(i), {}}, movieSpec.version));
    AddTextField(setup, "caption" + QString::number(i), 200 + int(i), 32, y + 8, kButtonWidth - 24,
                 26, 15, kCaptionColor, b.caption);
  }
  movieSpec.frameTags[0] = tags;
  movieSpec.frameActions[0] = setup;
  SwfActions info;
  info.Push("info").Push("папка: ").Get("fileType").Op(SwfOp::StringAdd);
  info.Push(" · файл: ").Op(SwfOp::StringAdd).Get("fileName").Op(SwfOp::StringAdd);
  info.Op(SwfOp::SetVariable);
  movieSpec.frameActions[1] = info;
  movieSpec.frameActions[2] = SwfActions().GotoFrame(1).Op(SwfOp::Play);
  return movieSpec;
}

int RunMakeItemMovie(const std::vector<std::string>& args) {
  SwfMovieSpec movieSpec;
  movieSpec.version = 8;
  movieSpec.width = 640;
  movieSpec.height = 480;
  movieSpec.frameRate = 12;
  QString title = QStringLiteral("Справочник");
  std::vector<ItemButton> buttons;
  std::string error;
  const auto onFlag = [&](const std::string& a) {
    if (a != "--compress") return false;
    movieSpec.compression = SwfCompression::Zlib;
    return true;
  };
  const auto onValue = [&](const std::string& a, const std::string& v) {
    bool ok = true;
    if (a == "--width") {
      ok = ParseNumberIn(v, movieSpec.width, 300, 4000);
    } else if (a == "--height") {
      ok = ParseNumberIn(v, movieSpec.height, 200, 4000);
    } else if (a == "--version") {
      ok = ParseNumberIn(v, movieSpec.version, 6, 10);
    } else if (a == "--title") {
      title = QString::fromStdString(v);
    } else if (a == "--button") {
      const QStringList parts = QString::fromStdString(v).split(QLatin1Char('|'));
      ok = parts.size() >= 2 && parts.size() <= 4 && !parts[0].isEmpty() && !parts[1].isEmpty();
      if (ok) buttons.push_back({parts[0], parts[1], parts.value(2), parts.value(3)});
    } else {
      return OptionResult::Unknown;
    }
    return ok ? OptionResult::Taken : OptionResult::BadValue;
  };
  const std::string out = TakeOutAndOptions(args, onFlag, onValue, error);
  const int room = (movieSpec.height - 86 - 50) / kButtonStep;
  if (error.empty() && int(buttons.size()) > room)
    error = "more buttons than the stage has room for (" + std::to_string(room) + ")";
  if (!error.empty()) {
    std::cerr << "vedalia-course make-item-movie: " << error << "\n";
    return 2;
  }
  if (!WriteSwfMovieFile(QString::fromStdString(out), ItemMovie(movieSpec, title, buttons))) {
    std::cerr << "vedalia-course make-item-movie: cannot write " << out << "\n";
    return 1;
  }
  return 0;
}

const CourseCommandRegistrar registrar(
    {"make-item-movie",
     "make-item-movie OUT [--title TEXT] [--width PX] [--height PX] [--version 6..10]\n"
     "      [--compress] [--button 'CAPTION|COMMAND[|ARGS[|REPLY]]']...\n"
     "      write an ActionScript 2 item movie (defaults: 640 x 480, SWF 8) that gives its\n"
     "      window its stage size and has one button per command; a button shows the value\n"
     "      of the variable REPLY right after its command",
     RunMakeItemMovie});

}  // namespace
}  // namespace vedalia::course
