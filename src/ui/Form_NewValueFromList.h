#pragma once

#include "ui/OneValueDialog.h"

#include <QStringList>

#include <memory>

namespace Ui {
class TNewValueFromListForm;
}

// Asks for a choice from a list (or, when editable, any typed text).
class TNewValueFromListForm : public TOneValueDialog {
    Q_OBJECT
public:
    explicit TNewValueFromListForm(QWidget* owner);
    ~TNewValueFromListForm() override;

    bool Execute(const QString& caption, const QString& label, const QStringList& values,
                 int index, bool editable);
    void Prepare(const QString& caption, const QString& label, const QStringList& values,
                 int index, bool editable);
    QString Text() const;

private:
    void OkClick() override;

    std::unique_ptr<Ui::TNewValueFromListForm> ui;
};

// The chosen (or typed) text when confirmed, empty when cancelled.
QString PickFromList(QWidget* owner, const QString& caption, const QString& label,
                     const QStringList& values, int index, bool editable);
