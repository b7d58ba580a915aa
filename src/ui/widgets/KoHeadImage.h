#pragma once

#include <QPixmap>
#include <QString>

#include <functional>

class QObject;

// The signed-in user's head image from its cached file, or the same name ending in "jpg" when
// that file does not load; `fallback` when no head file exists or neither loads.
QPixmap koLoadHeadImage(const QString& fallback);

// After a login result: updateHead runs at once (a failed re-login signs out, so the head must
// not stay), and after a successful one again when a new head image has been downloaded, as
// long as receiver lives.
void koFollowLoginHead(QObject* receiver, int code, std::function<void()> updateHead);
