#pragma once

class QAbstractButton;
class QDialog;
class QEvent;
class QLabel;
class QWidget;

// Fits a one-value dialog to its label: the input follows the label, the dialog ends a label
// margin after the input, and the buttons end where the input ends.
void LayoutOneValueDialog(QDialog* dialog, QLabel* label, QWidget* input, QWidget* ok, QWidget* cancel);

// In the input of a one-value dialog, Enter clicks OK (so its checks apply) and Esc clicks Cancel.
// True when the event was such a key and has been handled.
bool HandleOneValueKey(QEvent* event, QAbstractButton* ok, QAbstractButton* cancel);
