#pragma once
#include <QComboBox>

// The port box: tells its owner each time its list is about to open, so the list can be refilled
// with the ports present at that moment.
class TPortComboBox : public QComboBox {
    Q_OBJECT
public:
    using QComboBox::QComboBox;

    void showPopup() override
    {
        emit DropDown();
        QComboBox::showPopup();
    }

signals:
    void DropDown();
};
