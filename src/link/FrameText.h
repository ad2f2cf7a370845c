#pragma once
// The module's frames in words, for everyone who shows them to a person: the exchange monitor,
// the diagnostic log and the simulator's console. Texts are Russian, in UTF-8.
#include <cstdint>
#include <string>
#include <vector>

#include "link/WireObserver.h"

// Parameter addresses whose bytes are never shown (a password): a hidden byte is "**" in the
// hex, and so are the CRC bytes of its frame, which would give it away.
struct TSecretRange {
    int Address = 0;
    int Count = 0;
};
using TSecretRanges = std::vector<TSecretRange>;

// The module's GPRS password, for those who show the wire without the module's layout at hand
// (the simulator); module/GprsBlock.cpp checks that the block's password lies here.
constexpr TSecretRange kGprsPasswordRange{786, 8};

// True when the request reads or writes a byte at a secret address. Such an exchange shows only
// what a checked frame (its CRC good, its function the request's) holds outside the secret: its
// start, function and length, a read's or write's address and count, and plain data. Noise,
// partial, late or misframed bytes and every CRC are hidden, and their meaning with them.
bool TouchesSecret(const uint8_t* request, int length, const TSecretRanges& secrets);

struct TFrameText {
    std::string Hex;      // "55 6E 03 00 00 7D 2B 9C"
    std::string Meaning;  // "Чтение параметров: адрес 0, 125 байт"
};

// A frame sent to the module.
TFrameText DescribeRequest(const uint8_t* frame, int length, const TSecretRanges& secrets);
// Bytes received, the frame starting at frameAt (what lies before it is noise); a negative
// frameAt looks for it: the first start byte of a checked frame, else the first start byte. The
// request they answer tells where a read's data lie; without one (late bytes) a read's data are
// all hidden. guarded: bytes of a secret exchange may be among them (the one before was one), so
// they are hidden as if this one were.
TFrameText DescribeReply(const uint8_t* bytes, int length, int frameAt, const uint8_t* request, int requestLength,
                         const TSecretRanges& secrets, bool guarded);
// "1 байт", "2 байта", "5 байт": the number and the word that agrees with it.
std::string CountText(int count, const char* one, const char* few, const char* many);

// Both, by the event's direction. Late bytes are hidden when the request before them or the one
// after them touches a secret, and a reply's noise and failed frames when the exchange before did.
TFrameText DescribeWire(const TWireEvent& event, const TSecretRanges& secrets);

// What went wrong with the event and which attempt it was: "ошибка CRC, попытка 1 из 3";
// empty for a plain request or a good reply. The noise skipped is not counted in a reply hidden
// whole, since it tells where among its bytes a start byte lay.
std::string WireOutcomeText(const TWireEvent& event, const TSecretRanges& secrets);
