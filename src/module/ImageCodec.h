#pragma once
#include <QString>

#include <cstdint>

// How a setting is held in the module's bytes and shown to the operator. Each conversion is
// written once here and shared by every image-backed page.
enum class TEncoding {
    Number,       // one byte 0 to 255, shown in decimal
    Flag,         // one byte, 0 or not: a check box
    ListPosition, // one byte, the code of a list's item (the field gives the first item's code)
    Temperature,  // one byte, degrees Celsius + 40
    Voltage,      // one byte, sixteenths of a volt
    Clock,        // two bytes, hour then minute
    OnTime,       // two bytes, most significant first: tenths below 10, else seconds + 9
    Phone,        // seven bytes, a subscriber's number packed four bits a character
    Rights,       // one byte, a subscriber's five rights as bits 0 to 4
};

// The number of module bytes the encoding takes.
int EncodingWidth(TEncoding encoding);

// Whether a page shows the encoding in a control of its own: an edit, a check box or a list.
// Phone numbers and rights are cells of a grid.
bool IsControlEncoding(TEncoding encoding);

// The text an edit shows for the field's bytes.
QString FieldToText(TEncoding encoding, const uint8_t* bytes);

// Converts the operator's text into the field's bytes. On refusal returns false with the
// message for the operator, and the bytes stay as they were. An empty voltage or on-time text
// is no value: it converts, leaving the bytes alone. An empty phone number is an empty slot.
// Rights are five characters "1" or "0", right 0 first.
bool TextToField(TEncoding encoding, const QString& text, uint8_t* bytes, QString& error);

bool ByteToFlag(uint8_t byte);
uint8_t FlagToByte(bool checked);

// The position of the list item for the byte, or -1 when the list has no item for it.
int ByteToListPosition(uint8_t byte, int firstCode, int itemCount);
uint8_t ListPositionToByte(int position, int firstCode);

// A packed number as text: "+" for the value 10 in a high half, digits for 0 to 9, up to the
// first end mark; 0 to 14 characters.
QString DecodePhone(const uint8_t* bytes);
// Packs a number that CheckPhoneNumber accepted into 7 bytes, the unused halves 0xF.
void EncodePhone(const QString& text, uint8_t* bytes);
// The text itself when it is a number the module can hold (at most 14 characters, the digits
// 0 to 9, a leading "+" followed by at least one digit), else an empty text. An empty text
// passes unchanged.
QString CheckPhoneNumber(const QString& text);
// What the operator is told about a number CheckPhoneNumber refuses.
QString PhoneNumberError();
