#include "OneValueLayout.h"

#include "Formtools.h"

#include <QAbstractButton>
#include <QDialog>
#include <QKeyEvent>
#include <QLabel>

namespace {
constexpr int kLabelGap = 24;
constexpr int kRightExtra = 8;
constexpr int kButtonGap = 8;
}

void LayoutOneValueDialog(QDialog* dialog, QLabel* label, QWidget* input, QWidget* ok, QWidget* cancel)
{
    label->adjustSize();
    input->move(label->x() + label->width() + kLabelGap, input->y());
    const int width = input->x() + input->width() + label->x() + kRightExtra;
    dialog->setFixedSize(width, dialog->height());
    cancel->move(input->x() + input->width() - cancel->width(), cancel->y());
    ok->move(cancel->x() - ok->width() - kButtonGap, ok->y());
    CenterOverOwner(dialog);
}

bool HandleOneValueKey(QEvent* event, QAbstractButton* ok, QAbstractButton* cancel)
{
    if (event->type() != QEvent::KeyPress)
        return false;
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        ok->click();
        return true;
    }
    if (key == Qt::Key_Escape) {
        cancel->click();
        return true;
    }
    return false;
}
