#pragma once

#include <QInputDialog>

// One line of text asked in a platform-styled input dialog, run modally from a static call and
// destroyed on return; the class itself is never instantiated.
class KoInputDialog : public QInputDialog
{
    Q_OBJECT
public:
    // Accepted: the entered text goes to *result and 0 is returned; rejected: an empty text
    // and 1; any other outcome: an empty text and -1. A null result is not written.
    static int showTextInput(QWidget* parent, const QString& title, const QString& label, const QString& text,
                             QString* result);

private:
    KoInputDialog() = delete;
};
