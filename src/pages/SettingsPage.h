#pragma once
#include <QFrame>

// A page of the tab bar whose edits can be lost: it knows whether what it shows differs from
// what it last loaded or stored, and says when that may have changed, so the window can mark
// its tab and ask before the edits go.
class TSettingsPage : public QFrame {
    Q_OBJECT
public:
    using QFrame::QFrame;

    virtual bool HasUnsavedEdits() const = 0;

signals:
    // After an edit, a load or a store; the answer of HasUnsavedEdits may be the same.
    void EditsChanged();
};
