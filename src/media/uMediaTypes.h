#pragma once
// The media type catalogue: the 18 media types of the course with their content folders,
// Russian titles and whether a saved copy is offered under the item's own name. A plain value
// built from constant tables; instances are identical and read no file.

#include <QString>

#include "media/uAssocArray.h"

namespace vedalia {

class TMediaObjects {
 public:
  TMediaObjects();

  // "data/" + folder of Key + "/", relative to ContentDir ("data/photo/"). An unknown key has
  // an empty folder: "data//".
  QString GetFolderPath(const QString& Key) const;
  // The Russian title ("Фотография" for "photo"); empty for an unknown key.
  QString GetTitle(const QString& Key) const;
  // The key whose title is Title; empty when none.
  QString GetTypeByTitle(const QString& Title) const;
  // True when a saved copy of an item of this type is offered under the item's name.
  bool SuggestsName(const QString& Key) const;
  // The start movie check: the file exists (found case-insensitively in its folder, see
  // ResolveContentFile) and is a Flash movie with at least one frame. Reads the movie header
  // natively; no renderer is started.
  bool IsPlayableMovie(const QString& Path) const;

  // All type keys in catalogue order.
  int Count() const { return FolderMap.Count(); }
  QString KeyAt(int index) const { return FolderMap.KeyAt(index); }

 private:
  TAssocStringArray FolderMap;
  TAssocStringArray TitleMap;
  TAssocStringArray KeyMap;
  TAssocStringArray SuggestedNameMap;
};

}  // namespace vedalia
