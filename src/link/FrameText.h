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

struct TFrameText {
    std::string Hex;      // "55 6E 03 00 00 7D 2B 9C"
    std::string Meaning;  // "Чтение параметров: адрес 0, 125 байт"
};

// A frame sent to the module.
TFrameText DescribeRequest(const uint8_t* frame, int length, const TSecretRanges& secrets);
// Bytes received, the frame starting at frameAt (what lies before it is noise). The request it
// answers tells where a read's data lie; without one (a late reply) a read's data are all hidden.
TFrameText DescribeReply(const uint8_t* bytes, int length, int frameAt, const uint8_t* request, int requestLength,
                         const TSecretRanges& secrets);
// "1 байт", "2 байта", "5 байт": the number and the word that agrees with it.
std::string CountText(int count, const char* one, const char* few, const char* many);

// Both, by the event's direction.
TFrameText DescribeWire(const TWireEvent& event, const TSecretRanges& secrets);

// What went wrong with the event and which attempt it was: "ошибка CRC, попытка 1 из 3";
// empty for a plain request or a good reply.
std::string WireOutcomeText(const TWireEvent& event);
