#include "OneValueLayout.h"

#include "Formtools.h"

#include <QDialog>
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
