#pragma once
#include <QString>

#include <cstdint>

// The module's GPRS block: serial number, access point, gateway, user, password and the
// monitoring request, at parameter addresses 736 to 863.
constexpr int GprsBlockAddress = 736;
constexpr int GprsBlockSize = 128;
// Where the password lies in the block: never shown, logged or reported.
constexpr int GprsPasswordOffset = 50;
constexpr int GprsPasswordSize = 8;

// The block as the page's edits show it.
struct TGprsTexts {
    QString SN;
    QString APN;
    QString IP;
    QString Port;
    QString User;
    QString Password;
    QString Server;
};

enum class TGprsField { SN, APN, IP, Port, User, Password, Server };

// What the edits show for a block read from the module. A text field that is all 0xFF (an
// erased block) is empty; an erased serial number is "????????" (see ShownGprsSerial).
TGprsTexts DecodeGprsBlock(const uint8_t* block);

// The block for the texts, checked in the page's order. False at the first text that cannot be
// written, with its field and the message for the operator; nothing is cut or replaced to make
// a text fit.
bool EncodeGprsBlock(const TGprsTexts& texts, uint8_t* block, TGprsField& field, QString& error);

// Puts the serial number (8 decimal digits) into the block and leaves every other byte as it is;
// false, with the block untouched, for any other text.
bool PutGprsSerial(const QString& serial, uint8_t* block);
// The largest serial number the block holds, and a number as the block's 8 digits, zero-padded.
constexpr quint32 LargestGprsSerial = 99999999;
QString GprsSerialText(quint32 number);
// A serial number's text as a report or a tile shows it: «нет номера» for an erased one.
QString ShownGprsSerial(const QString& serial);

// Every field, in the page's order.
constexpr TGprsField GprsFields[] = {TGprsField::SN,   TGprsField::Server, TGprsField::APN,     TGprsField::IP,
                                     TGprsField::Port, TGprsField::User,   TGprsField::Password};

// The caption the page shows before the field's edit.
QString GprsFieldCaption(TGprsField field);
// The field's text in `texts`.
const QString& GprsFieldText(const TGprsTexts& texts, TGprsField field);
