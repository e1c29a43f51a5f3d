#include "fonts.h"

#include <QStringList>

namespace panel {
namespace {

QFont withFamilies(const QStringList& families, qreal points, QFont::StyleHint hint) {
    QFont font;
    font.setFamilies(families);
    font.setStyleHint(hint);
    font.setPointSizeF(points);
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    font.setUnderline(false);
    font.setStrikeOut(false);
    return font;
}

} // namespace

QFont panelFont() {
    return withFamilies({"Noto Sans CJK SC", "Microsoft YaHei", "SimSun", "WenQuanYi Zen Hei",
                         "Source Han Sans SC"},
                        9.0, QFont::SansSerif);
}

QFont inputDisplayFont() {
    return withFamilies({QString::fromUtf8("宋体"), "SimSun", "Noto Serif CJK SC",
                         "Source Han Serif SC", "AR PL UMing CN", "Noto Sans CJK SC",
                         "WenQuanYi Zen Hei"},
                        21.6, QFont::Serif);
}

} // namespace panel
