#pragma once
#include <QFrame>

#include <functional>

#include "module/ModuleCopy.h"

class THeldModule;

// A page of the tab bar: it shows its area of what the tool holds and stores its edits into it.
// It knows whether what it shows differs from what it last showed or stored, and says when that
// may have changed, so the window can mark its tab and ask before the edits go.
class TSettingsPage : public QFrame {
    Q_OBJECT
public:
    TSettingsPage(QWidget* owner, THeldModule& held, TModulePart part);

    // The area of the module the page shows (one TModulePart).
    TModulePart Part() const { return FPart; }

    // Shows what the tool holds of the page's area, every field of it.
    virtual void ShowHeld() = 0;
    // Stores the page's edits, all or nothing. When one cannot be stored the page shows that
    // field and says why (Refuse), what the tool holds is left as it was, and the result is false.
    virtual bool StoreToHeld() = 0;
    virtual bool HasUnsavedEdits() const = 0;

    // Asks the page's own question before its read replaces what it shows and the tool holds of
    // its area, naming first whatever would be lost: false keeps them. Without one, the question
    // is asked as it stands.
    using TReplaceGuard = std::function<bool(unsigned parts, const QString& question)>;
    void SetReplaceGuard(TReplaceGuard guard) { FReplaceGuard = std::move(guard); }

signals:
    // After an edit, a show or a store; the answer of HasUnsavedEdits may be the same.
    void EditsChanged();
    // The page is about to tell the operator about one of its fields: it wants to be in front.
    void ShowRequested();

protected:
    THeldModule& Held() const { return FHeld; }
    // A store refused at `field`: the page asks to be shown, the field takes the focus, and the
    // error dialog says why.
    void Refuse(QWidget* field, const QString& why);
    bool MayReplace(const QString& question);
    // Parts of one column that sit in layouts of their own (a caption per panel, a name per row)
    // each take the widest one's width, so that what follows them lines up.
    static void ShareWidth(const QList<QWidget*>& parts);

private:
    THeldModule& FHeld;
    TModulePart FPart;
    TReplaceGuard FReplaceGuard;
};
