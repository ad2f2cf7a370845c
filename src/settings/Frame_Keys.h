#pragma once
#include <QFrame>

namespace Ui {
class TKeysFrame;
}

// The "Ключи" page.
class TKeysFrame : public QFrame {
    Q_OBJECT
public:
    explicit TKeysFrame(QWidget* owner);
    ~TKeysFrame() override;

private:
    Ui::TKeysFrame* ui;
};

// The page's one instance, while it exists.
extern TKeysFrame* KeysFrame;
