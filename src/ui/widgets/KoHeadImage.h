#pragma once

#include <QPixmap>
#include <QString>

// The signed-in user's head image from its cached file, or the same name ending in "jpg" when
// that file does not load; `fallback` when no head file exists or neither loads.
QPixmap koLoadHeadImage(const QString& fallback);
