#pragma once

#include <QFont>

namespace vemilo::widgets {

enum class LayoutFace { MsGothic, MsPGothic, Tahoma };

// The layout's face when installed, else the nearest installed equivalent: a monospaced Japanese
// face for "ＭＳ ゴシック", a proportional Japanese face for the others.
QFont layoutFont(LayoutFace face, int points);

}  // namespace vemilo::widgets
