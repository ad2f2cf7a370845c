#pragma once
#include <QFrame>

#include "GprsBlock.h"

class QLineEdit;

namespace Ui {
class TGPRSFrame;
}

// The "GPRS" page: the module's GPRS block (serial number, monitoring request, access point,
// gateway, user, password), read and written with its own buttons, and the operator presets of
// "Operators.cfg".
class TGPRSFrame : public QFrame {
    Q_OBJECT
public:
    explicit TGPRSFrame(QWidget* owner);
    ~TGPRSFrame() override;

    // Run by the tab bar with no sender each time the page is shown: refills the preset list.
    Q_INVOKABLE void FrameEnter(QObject* sender);

    void sbReadKeysClick();
    void sbWriteKeysClick();
    void sbAddClick();
    void sbDeleteClick();
    void sbSaveClick();
    void cbOperatorChange();

    TGprsTexts Texts() const;
    void SetTexts(const TGprsTexts& texts);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void paGPRSResize();
    void LoadOperatorList();
    void LoadOperator(const QString& name);
    bool SaveOperator(const QString& name);
    bool DeleteOperator(const QString& name);
    QString OperatorsFileName() const;
    QLineEdit* FieldEdit(TGprsField field) const;

    Ui::TGPRSFrame* ui;
    int FColumn = 0;  // where the edits start, so that every caption fits before them
};

// The page's one instance, while it exists.
extern TGPRSFrame* GPRSFrame;
