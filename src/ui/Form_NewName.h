#pragma once

#include "ui/OneValueDialog.h"

#include <memory>

namespace Ui {
class TNewNameForm;
}

// Asks for one line of text.
class TNewNameForm : public TOneValueDialog {
    Q_OBJECT
public:
    explicit TNewNameForm(QWidget* owner);
    ~TNewNameForm() override;

    // Shows the dialog modally; true when it ended with OK.
    bool Execute(const QString& caption, const QString& label);
    bool Execute(const QString& caption, const QString& label, const QString& text, bool allowEmpty);
    // Lays the dialog out for the label as Execute does, without showing it.
    void Prepare(const QString& caption, const QString& label, const QString& text, bool allowEmpty);
    QString Text() const;

private:
    void OkClick() override;

    std::unique_ptr<Ui::TNewNameForm> ui;
    bool FAllowEmpty = false;
};

// The trimmed text when confirmed, empty when cancelled.
QString InputName(QWidget* owner, const QString& caption, const QString& label);
QString InputNameEx(QWidget* owner, const QString& caption, const QString& label,
                    const QString& text, bool allowEmpty);
