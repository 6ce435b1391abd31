#include "media/uMediaTypes.h"

#include "flashhost/SwfInfo.h"
#include "media/uDecryptor.h"

namespace vedalia {
namespace {

struct MediaType {
  const char* key;
  const char* title;  // UTF-8
  bool suggestsName;
};

constexpr MediaType kTypes[] = {
    {"graphics_3D", "Трёхмерная модель", false},
    {"animation", "Анимация", false},
    {"interact_table", "Интерактивная схема", false},
    {"biography", "Биография", true},
    {"description", "Описание", true},
    {"geomap", "Карта", false},
    {"geomapcontour", "Контурная карта", false},
    {"interact", "Модель", true},
    {"interest", "Это интересно", true},
    {"photo", "Фотография", true},
    {"picture", "Рисунок", true},
    {"reference", "Справочник", true},
    {"slide", "Слайд-шоу", true},
    {"sport", "Физкультура", true},
    {"table", "Таблица", true},
    {"video", "Видео", false},
    {"vocab", "Словарь", true},
    {"xrestomatia", "Хрестоматия", true},
};

}  // namespace

TMediaObjects::TMediaObjects() {
  for (const MediaType& type : kTypes) {
    const QString key = QString::fromLatin1(type.key);
    const QString title = QString::fromUtf8(type.title);
    FolderMap.Add(key, key);
    TitleMap.Add(key, title);
    KeyMap.Add(title, key);
    SuggestedNameMap.Add(key, type.suggestsName ? QStringLiteral("true") : QStringLiteral("false"));
  }
}

QString TMediaObjects::GetFolderPath(const QString& Key) const {
  return QStringLiteral("data/") + FolderMap.Get(Key) + QLatin1Char('/');
}

QString TMediaObjects::GetTitle(const QString& Key) const { return TitleMap.Get(Key); }

QString TMediaObjects::GetTypeByTitle(const QString& Title) const { return KeyMap.Get(Title); }

bool TMediaObjects::SuggestsName(const QString& Key) const {
  return SuggestedNameMap.Get(Key) == QLatin1String("true");
}

bool TMediaObjects::IsPlayableMovie(const QString& Path) const {
  const QString file = ResolveContentFile(Path);
  if (file.isEmpty()) return false;
  const auto info = InspectSwfFile(file, nullptr, SwfCheck::Body);
  return info && info->frameCount > 0;
}

}  // namespace vedalia
