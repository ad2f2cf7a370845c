#pragma once

#include <QDialog>
#include <QStringList>

#include <memory>

namespace Ui {
class TNewValueFromListForm;
}

// Asks for a choice from a list (or, when editable, any typed text).
class TNewValueFromListForm : public QDialog {
    Q_OBJECT
public:
    explicit TNewValueFromListForm(QWidget* owner);
    ~TNewValueFromListForm() override;

    bool Execute(const QString& caption, const QString& label, const QStringList& values,
                 int index, bool editable);
    void Prepare(const QString& caption, const QString& label, const QStringList& values,
                 int index, bool editable);
    QString Text() const;

    void reject() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void OkClick();

    std::unique_ptr<Ui::TNewValueFromListForm> ui;
};

// The chosen (or typed) text when confirmed, empty when cancelled.
QString PickFromList(QWidget* owner, const QString& caption, const QString& label,
                     const QStringList& values, int index, bool editable);
