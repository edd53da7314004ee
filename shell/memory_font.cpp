#include "shell/memory_font.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QStringList>

namespace zemlo::shell {
namespace {

// What the user sees: the columns line up only when narrow and wide glyphs advance alike. A
// family's own fixed-pitch flag is not enough (some monospaced faces do not set it).
bool AdvancesEvenly(const QFont& font) {
  const QFontMetrics metrics(font);
  const int width = metrics.horizontalAdvance(QLatin1Char('W'));
  return width > 0 && metrics.horizontalAdvance(QLatin1Char('i')) == width &&
         metrics.horizontalAdvance(QLatin1Char('.')) == width;
}

}  // namespace

QFont MemoryListFont(const QFont& dialogFont) {
  const QStringList candidates{QStringLiteral("Courier New"),
                               QFontDatabase::systemFont(QFontDatabase::FixedFont).family(),
                               QStringLiteral("DejaVu Sans Mono"), QStringLiteral("monospace")};
  QFont font = dialogFont;
  font.setStyleHint(QFont::TypeWriter);
  font.setFixedPitch(true);
  for (const QString& family : candidates) {
    font.setFamilies(QStringList{family});
    if (AdvancesEvenly(font)) return font;
  }
  // No installed face advances evenly; the style hint is the last word.
  font.setFamilies(QStringList{candidates[1]});
  return font;
}

}  // namespace zemlo::shell
