#pragma once
#include <cstdint>

#include "link/Kor_protocol1.h"

// Reads count bytes of the module's parameter memory at address; returns the number of data
// bytes the module sent (its length byte), which the caller compares with count. At most count
// bytes are copied to the destination.
int ReadParams(TKORProtocol1& protocol, uint16_t address, uint8_t count, void* destination, int timeoutMs);
// Writes count bytes at address; returns when the module has acknowledged.
void WriteParams(TKORProtocol1& protocol, uint16_t address, const void* source, uint8_t count, int timeoutMs);
