#pragma once
#include <QFrame>

namespace Ui {
class TGPRSFrame;
}

// The "GPRS" page.
class TGPRSFrame : public QFrame {
    Q_OBJECT
public:
    explicit TGPRSFrame(QWidget* owner);
    ~TGPRSFrame() override;

private:
    Ui::TGPRSFrame* ui;
};

// The page's one instance, while it exists.
extern TGPRSFrame* GPRSFrame;
