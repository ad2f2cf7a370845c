#pragma once
#include <QFrame>

// A page whose controls mirror bytes of SettingsImage. The window reloads these pages after a
// read or a reset; "Очистить" reloads the page from the image, "Сохранить" stores it back.
// Nothing here talks to the module.
class TImageFrame : public QFrame {
    Q_OBJECT
public:
    explicit TImageFrame(QWidget* owner);

    // Sets every control from the image; never fails.
    virtual void LoadFromImage() = 0;
    // Writes every control into the image in the page's own order. A text that is not a number
    // ends the store at that field with EConvertError; the fields before it keep their new values.
    virtual void StoreToImage() = 0;

public slots:
    void sbResetKeysClick();
    void sbSaveKeysClick();

protected:
    // Gives the strip's buttons ("sbResetKeys", "sbSaveKeys") their look and handlers; each page
    // calls it once its form is built.
    void ConnectImageButtons();
};
