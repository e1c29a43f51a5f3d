#include "fonts.h"

#include <QStringList>

namespace panel {
namespace {

// Faces whose Latin letters, digits and blank all take one width, half the
// width of a Chinese character: the captions line up with blanks (the bit
// numbers above the bits), which only such a face keeps in columns. The Song
// faces of Windows first, then the one Linux has, then faces that at least
// show Chinese.
QFont panelFace(qreal points) {
    QFont font;
    font.setFamilies({QString::fromUtf8("宋体"), "SimSun", "NSimSun", "Noto Sans Mono CJK SC",
                      "WenQuanYi Zen Hei Mono", "Noto Sans CJK SC", "Microsoft YaHei",
                      "WenQuanYi Zen Hei"});
    font.setStyleHint(QFont::TypeWriter);
    font.setPointSizeF(points);
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    font.setUnderline(false);
    font.setStrikeOut(false);
    return font;
}

} // namespace

QFont panelFont() {
    return panelFace(9.0);
}

QFont inputDisplayFont() {
    QFont font = panelFace(21.6);
    // 21.6 points is no whole number of pixels: hinted across, each character
    // would round up to a whole pixel, and the widest words run off the window.
    font.setHintingPreference(QFont::PreferVerticalHinting);
    return font;
}

} // namespace panel
