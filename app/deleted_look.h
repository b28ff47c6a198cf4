// How a deleted folder or file stands out wherever it is listed: its icon carries a red cross in
// its lower right corner and its text is drawn in red.
#pragma once

#include <QColor>
#include <QIcon>

namespace salvex::app {

QColor deleted_colour();
// `base` with the deleted mark painted over it.
QIcon deleted_icon(const QIcon& base);

} // namespace salvex::app
