#include "widgets/fonts.h"

#include <QStringList>

namespace vemilo::widgets {

QFont layoutFont(LayoutFace face, int points) {
    QFont font;
    switch (face) {
        case LayoutFace::MsGothic:
            font.setFamilies({QStringLiteral("ＭＳ ゴシック"), QStringLiteral("MS Gothic"), QStringLiteral("IPAGothic"),
                              QStringLiteral("Noto Sans Mono CJK JP"), QStringLiteral("VL Gothic"),
                              QStringLiteral("monospace")});
            font.setStyleHint(QFont::TypeWriter);
            break;
        case LayoutFace::MsPGothic:
            font.setFamilies({QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("MS PGothic"),
                              QStringLiteral("IPAPGothic"), QStringLiteral("Noto Sans CJK JP"),
                              QStringLiteral("VL PGothic"), QStringLiteral("sans-serif")});
            break;
        case LayoutFace::Tahoma:
            font.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("IPAPGothic"),
                              QStringLiteral("Noto Sans CJK JP"), QStringLiteral("DejaVu Sans"),
                              QStringLiteral("sans-serif")});
            break;
    }
    font.setPointSize(points);
    return font;
}

}  // namespace vemilo::widgets
