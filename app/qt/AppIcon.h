#pragma once
// The program's icon in every size it is drawn in (caption, task bar, About box, minimized).

#include <QIcon>

namespace tamrix {

QIcon ApplicationIcon();

}  // namespace tamrix
