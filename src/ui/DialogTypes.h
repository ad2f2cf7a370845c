#pragma once
// The words the message dialog and its callers share: kinds, buttons and results.
#include <cstdint>

// Message kinds.
enum TMsgDlgType { mtConfirmation = 1, mtError, mtInformation, mtWarning };

// Modal results; mrNo only from a dialog that offers Yes, No and Cancel.
enum TModalResult { mrOk = 1, mrCancel, mrNo };

// Dialog buttons, in the classic bit order.
enum TMsgDlgBtn : uint8_t {
    mbYes, mbNo, mbOK, mbCancel, mbAbort, mbRetry, mbIgnore, mbAll, mbNoToAll, mbYesToAll, mbHelp
};

// A set of TMsgDlgBtn, one bit each (bits 0 to 10).
class TDialogButtons {
public:
    constexpr TDialogButtons() = default;
    constexpr TDialogButtons(TMsgDlgBtn button) : FBits(uint16_t(1u << button)) {}
    static constexpr TDialogButtons FromBits(uint16_t bits)
    {
        TDialogButtons set;
        set.FBits = bits & kValidBits;
        return set;
    }
    constexpr bool Contains(TMsgDlgBtn button) const { return (FBits >> button) & 1u; }
    constexpr uint16_t Bits() const { return FBits; }
    constexpr TDialogButtons operator|(TDialogButtons other) const { return FromBits(FBits | other.FBits); }
    constexpr bool operator==(TDialogButtons other) const { return FBits == other.FBits; }

private:
    static constexpr uint16_t kValidBits = 0x07FF;
    uint16_t FBits = 0;
};

constexpr TDialogButtons operator|(TMsgDlgBtn a, TMsgDlgBtn b)
{
    return TDialogButtons(a) | TDialogButtons(b);
}
