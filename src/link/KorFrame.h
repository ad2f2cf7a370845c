#pragma once
// The module's frame, for every party that speaks it: the link, the simulated module and the
// tests. Start byte, function, data length L, L data bytes, then CRC-16/MODBUS over all of that,
// low byte first.
#include <cstdint>
#include <vector>

constexpr uint8_t kKorStartByte = 0x55;
constexpr int kKorFrameOverhead = 5;  // start, function, length, two CRC bytes
// An empty frame: what a reply is at least, and so what the receive first waits for.
constexpr int kKorShortestReply = kKorFrameOverhead;

constexpr uint8_t kKorFunctionRead = 110;     // address high, address low, count
constexpr uint8_t kKorFunctionWrite = 210;    // address high, address low, bytes
constexpr uint8_t kKorFunctionCommand = 101;  // subcommand, its arguments

constexpr uint8_t kKorCommandOutput = 2;     // output, action
constexpr uint8_t kKorCommandKeyReader = 3;  // mode
constexpr uint8_t kKorKeyModeArm = 0;
constexpr uint8_t kKorKeyModePoll = 1;
constexpr int kKorKeyLength = 8;

// CRC-16/MODBUS over count bytes.
uint16_t KorCrc(const uint8_t* bytes, int count);
// True when the last two of length bytes are the CRC of the ones before them.
bool KorCrcGood(const uint8_t* frame, int length);
// Puts start, function and length in front of the length data bytes already at frame + 3, and
// the CRC behind them; the frame must hold length + kKorFrameOverhead bytes.
void KorSeal(uint8_t* frame, uint8_t startByte, uint8_t function, int length);
std::vector<uint8_t> KorFrame(uint8_t function, const std::vector<uint8_t>& data,
                              uint8_t startByte = kKorStartByte);
