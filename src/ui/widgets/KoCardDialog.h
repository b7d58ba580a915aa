#pragma once

#include <QDialog>
#include <QString>

class QPushButton;

// Frame shared by the account dialogs: a frameless, translucent top-level dialog that paints
// itself as a white rounded card and is dragged by presses on its own surface. Subclasses set
// their form up first, then call initCard.
class KoCardDialog : public QDialog
{
    Q_OBJECT
public:
    explicit KoCardDialog(QWidget* parent = nullptr);

    // The style sheet text of the blue confirm buttons.
    static QString confirmButtonStyle();
    // Shown whenever a request got no usable answer in time.
    static QString noAnswerText();
    // Shown for an answer that names no known reason.
    static QString unknownErrorText();

protected:
    // Frameless and translucent; the small close button at the top-left gets its place and look.
    void initCard(QPushButton* btnClose);
    void paintEvent(QPaintEvent* event) override;
};
