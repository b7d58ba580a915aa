#pragma once

#include <QWidget>
#include <memory>

class KoBaseFacility;

// The file browser of one connected phone. It keeps its own copy of the phone's record, so the
// connection manager may drop the original at any time.
class KoUiV3FileWidget : public QWidget
{
    Q_OBJECT
public:
    explicit KoUiV3FileWidget(QWidget* parent = nullptr);
    ~KoUiV3FileWidget() override;

    // Copies the record; a null record is ignored.
    void setFacility(KoBaseFacility* facility);
    // The copy; null until a phone was set.
    KoBaseFacility* getFacility() const;

private:
    std::unique_ptr<KoBaseFacility> m_facility;
};
