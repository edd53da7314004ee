#include "shell/memory_font.h"

#include <QFontDatabase>
#include <QStringList>

namespace zemlo::shell {

QFont MemoryListFont(const QFont& dialogFont) {
  QFont font = dialogFont;
  const QString courier = QStringLiteral("Courier New");
  if (QFontDatabase::hasFamily(courier)) {
    font.setFamily(courier);
  } else {
    font.setFamilies(QStringList{QFontDatabase::systemFont(QFontDatabase::FixedFont).family()});
  }
  font.setStyleHint(QFont::TypeWriter);
  font.setFixedPitch(true);
  return font;
}

}  // namespace zemlo::shell
