#pragma once
#include "module/ModuleCopy.h"

// What the tool holds of the module, created with the window and handed to each of its pages:
// the pages show it and store their edits into it, reads and files fill it, writes go from it.
// Touched on the GUI thread only.
class THeldModule {
public:
    // Zero until a read, a reset or a file fills them; the settings pages store into them all the
    // same, but nothing takes them from here before they are filled.
    TSettingsBytes Settings{};
    bool SettingsFilled = false;
    // The Keys and GPRS pages keep their own edits: these are as the pages last stored or were
    // shown them, none while never read, loaded or edited.
    std::optional<TKeyTable> Keys;
    QStringList KeyComments;  // one per stored key, in slot order
    std::optional<TGprsBytes> Gprs;

    // The areas held, the settings only once filled.
    TModuleCopy Copy() const;
    // Takes every area the copy holds; settings taken are filled.
    void Take(const TModuleCopy& copy);

    // The areas held otherwise than the module held them when last read or written: marked when
    // the tool changes one on its own (a reset, a stored page, a file), unmarked when the area is
    // read and shown, or written.
    unsigned Unwritten() const { return FUnwritten; }
    void MarkUnwritten(unsigned parts) { FUnwritten |= parts; }
    void MarkInModule(unsigned parts) { FUnwritten &= ~parts; }
    // What the operator would lose of the areas in `parts` if they were replaced now:
    // "Изменения не записаны в модуль: настройки, ключи." Empty when the module has them all.
    QString UnwrittenText(unsigned parts = PartAll) const;
    // Takes what was just read from the module: those areas are then as the module holds them.
    void TakeRead(const TModuleCopy& copy)
    {
        Take(copy);
        MarkInModule(copy.Parts());
    }
    // The copy has gone to the module: its areas are no longer unwritten, and after a key table
    // the settings hold the count its write left in the module.
    void Written(const TModuleCopy& copy);

private:
    unsigned FUnwritten = 0;
};
