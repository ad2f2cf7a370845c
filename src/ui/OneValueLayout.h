#pragma once

class QDialog;
class QLabel;
class QWidget;

// Fits a one-value dialog to its label: the input follows the label, the dialog ends a label
// margin after the input, and the buttons end where the input ends.
void LayoutOneValueDialog(QDialog* dialog, QLabel* label, QWidget* input, QWidget* ok, QWidget* cancel);
