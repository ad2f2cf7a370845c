// Serial port over a Win32 communications device.
#ifdef _WIN32

#include "link/ComPort.h"

#include <algorithm>
#include <cerrno>

#include <windows.h>

#include "util/Dnxfileutils.h"

namespace {

const char* const kReadFailed = "Failed to read from port.";
const char* const kWriteFailed = "Failed to write to port.";

// The code is taken before the message is built: building it may overwrite the code.
[[noreturn]] void ThrowLastError(const char* text)
{
    const DWORD error = GetLastError();
    throw TComPortException(text, static_cast<int>(error));
}

TPortHandle NoHandle()
{
    return INVALID_HANDLE_VALUE;
}

// "COM12" is reached as "\\.\COM12" (the short form stops at COM9); a full device path is kept.
std::wstring DevicePath(const std::string& name)
{
    if (name.rfind("\\\\.\\", 0) == 0)
        return WidePath(name);
    return WidePath("\\\\.\\" + name);
}

// The open's failure in the terms the caller already knows from the other systems. Windows lets
// one program have a port and tells no more: access denied means that someone else has it.
int OpenErrorCause(DWORD error)
{
    switch (error) {
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_BUSY: return EBUSY;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_UNIT:
    case ERROR_DEV_NOT_EXIST: return ENOENT;
    default: return EIO;
    }
}

struct TEvent {
    HANDLE Handle = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ~TEvent()
    {
        if (Handle)
            CloseHandle(Handle);
    }
};

// Some drivers (wine's among them) never end a read on the first-byte timeout when nothing
// comes; such a read is ended this long after the timeout, with what it has, as the driver should.
constexpr uint32_t kDriverGraceMs = 20;

// One overlapped transfer run to its end: the driver's timeouts end it, or, past quietEndMs
// (kComInfinite for none), we do as the driver should have; the critical bound (kComInfinite for
// none) cancels one that never ends, as a failure. Returns the bytes moved.
DWORD Transfer(HANDLE handle, bool write, void* buffer, DWORD count, uint32_t criticalMs, uint32_t quietEndMs,
               const char* what, const char* failed)
{
    TEvent event;
    if (!event.Handle)
        ThrowLastError(failed);
    OVERLAPPED ov{};
    ov.hEvent = event.Handle;
    const BOOL started = write ? WriteFile(handle, buffer, count, nullptr, &ov)
                               : ReadFile(handle, buffer, count, nullptr, &ov);
    if (!started) {
        const DWORD error = GetLastError();
        if (error != ERROR_IO_PENDING)
            throw TComPortException(failed, static_cast<int>(error));
    }
    const uint32_t waitMs = std::min(criticalMs, quietEndMs);
    if (WaitForSingleObject(event.Handle, waitMs) == WAIT_TIMEOUT) {
        CancelIoEx(handle, &ov);
        DWORD done = 0;
        GetOverlappedResult(handle, &ov, &done, TRUE);  // the buffer must outlive the transfer
        if (waitMs == quietEndMs && quietEndMs != criticalMs)
            return done;
        throw TComPortException(std::string(what) + " expired FCritical" + what + "FileTime (" +
                                    std::to_string(criticalMs) + "), maybe hang up.",
                                ERROR_TIMEOUT);
    }
    DWORD done = 0;
    if (!GetOverlappedResult(handle, &ov, &done, TRUE)) {
        const DWORD error = GetLastError();
        // Some drivers end a timed-out transfer with an error instead of a short count.
        if (error != ERROR_TIMEOUT && error != ERROR_SEM_TIMEOUT)
            throw TComPortException(failed, static_cast<int>(error));
    }
    return done;
}

// The port's name as the system tells ports apart: no device prefix, in capitals.
std::string BarePortName(const std::string& name)
{
    std::string bare = name.rfind("\\\\.\\", 0) == 0 ? name.substr(4) : name;
    for (char& c : bare) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return bare;
}

}  // namespace

bool SamePortDevice(const std::string& a, const std::string& b)
{
    return BarePortName(a) == BarePortName(b);
}

TComPort::TComPort() : FHandle(NoHandle()) {}

TComPort::~TComPort()
{
    Close();
}

void TComPort::EnumPorts(std::vector<std::string>& list)
{
    list.clear();
    // Every present port has a value here, its data the port's name; a port in use is listed too.
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    for (DWORD index = 0;; ++index) {
        wchar_t valueName[256];
        DWORD valueNameSize = 256;
        wchar_t data[64];
        DWORD dataSize = sizeof data;
        DWORD type = 0;
        const LONG r = RegEnumValueW(key, index, valueName, &valueNameSize, nullptr, &type,
                                     reinterpret_cast<BYTE*>(data), &dataSize);
        if (r == ERROR_NO_MORE_ITEMS)
            break;
        if (r != ERROR_SUCCESS || type != REG_SZ)
            continue;
        std::wstring name(data, dataSize / sizeof(wchar_t));
        name.erase(std::find(name.begin(), name.end(), L'\0'), name.end());
        std::string narrow;
        for (wchar_t c : name)
            narrow += c < 0x80 ? static_cast<char>(c) : '?';  // port names are plain ASCII
        if (!narrow.empty() && std::find(list.begin(), list.end(), narrow) == list.end())
            list.push_back(narrow);
    }
    RegCloseKey(key);
    std::sort(list.begin(), list.end(), PortNameBefore);
}

bool TComPort::IsOpen() const
{
    return FHandle != NoHandle();
}

void TComPort::Open()
{
    if (IsOpen())
        return;
    FLastOpenError = 0;
    FLastHolder = TPortHolder();
    if (FPortName.empty()) {
        FLastOpenError = ENOENT;
        return;
    }
    // No sharing: the system itself keeps every other program out while the port is open.
    const HANDLE handle = CreateFileW(DevicePath(FPortName).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        FLastOpenError = OpenErrorCause(GetLastError());
        return;
    }
    if (GetFileType(handle) != FILE_TYPE_CHAR) {
        CloseHandle(handle);
        FLastOpenError = ENOTTY;
        return;
    }
    TakeHandle(handle);
}

void TComPort::Close()
{
    if (IsOpen()) {
        CloseHandle(FHandle);
        FHandle = NoHandle();
    }
}

void TComPort::ApplySettings()
{
    if (!IsOpen())
        return;
    const char* const failed = "Failed to set port parameters.";
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(FHandle, &dcb))
        ThrowLastError(failed);
    if (FBaudRate <= 0)
        throw TComPortException(failed, ERROR_INVALID_PARAMETER);
    dcb.BaudRate = static_cast<DWORD>(FBaudRate);
    dcb.ByteSize = static_cast<BYTE>((FByteSize & 3) + 5);
    dcb.Parity = FParity;      // the codes are the system's own
    dcb.StopBits = FStopBits;  // likewise
    dcb.fBinary = TRUE;
    dcb.fParity = FParity != 0;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fTXContinueOnXoff = TRUE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fAbortOnError = FALSE;  // a line error must not stall every later read until cleared
    if (!SetCommState(FHandle, &dcb))
        ThrowLastError(failed);
}

// The record belongs to the port object, not to one opening: a fresh handle is given it rather
// than read from it, so it carries across opens as it does elsewhere.
void TComPort::LoadTimeouts()
{
    ApplyTimeouts();
}

void TComPort::ApplyTimeouts()
{
    if (!IsOpen())
        return;
    // The record is the driver's own model, so the driver keeps the first-byte and gap bounds.
    COMMTIMEOUTS t{};
    t.ReadIntervalTimeout = FTimeouts.ReadIntervalTimeout;
    t.ReadTotalTimeoutMultiplier = FTimeouts.ReadTotalTimeoutMultiplier;
    t.ReadTotalTimeoutConstant = FTimeouts.ReadTotalTimeoutConstant;
    t.WriteTotalTimeoutMultiplier = FTimeouts.WriteTotalTimeoutMultiplier;
    t.WriteTotalTimeoutConstant = FTimeouts.WriteTotalTimeoutConstant;
    if (!SetCommTimeouts(FHandle, &t))
        ThrowLastError("Failed to set port timeouts.");
}

bool TComPort::Write(const void* buffer, int count)
{
    if (!IsOpen())
        throw TComPortException(kClosedPortText, kErrorClosedPort);
    if (count <= 0)
        return count == 0;
    const DWORD sent = Transfer(FHandle, true, const_cast<void*>(buffer), static_cast<DWORD>(count),
                                FCriticalWriteFileTime, kComInfinite, "Write", kWriteFailed);
    return sent == static_cast<DWORD>(count);
}

int TComPort::Read(void* buffer, int count)
{
    if (!IsOpen() || count <= 0)
        return 0;
    // In the first-byte mode the driver's whole wait is the constant.
    const TCommTimeouts& t = FTimeouts;
    const bool firstByteMode = t.ReadIntervalTimeout == kComInfinite && t.ReadTotalTimeoutMultiplier == kComInfinite &&
                               t.ReadTotalTimeoutConstant != 0 && t.ReadTotalTimeoutConstant != kComInfinite;
    const uint32_t quietEnd = firstByteMode && t.ReadTotalTimeoutConstant < kComInfinite - kDriverGraceMs
                                  ? t.ReadTotalTimeoutConstant + kDriverGraceMs
                                  : kComInfinite;
    return static_cast<int>(Transfer(FHandle, false, buffer, static_cast<DWORD>(count), FCriticalReadFileTime,
                                     quietEnd, "Read", kReadFailed));
}

uint32_t TComPort::ClearErrors(TComStat& stat)
{
    if (!IsOpen())
        return 0;
    DWORD errors = 0;
    COMSTAT cs{};
    if (!ClearCommError(FHandle, &errors, &cs))
        ThrowLastError("Failed to get port state.");
    // The hold and end-of-file bits lead the structure; they are passed on as one word.
    stat.Flags = (cs.fCtsHold ? 1u : 0u) | (cs.fDsrHold ? 2u : 0u) | (cs.fRlsdHold ? 4u : 0u) |
                 (cs.fXoffHold ? 8u : 0u) | (cs.fXoffSent ? 16u : 0u) | (cs.fEof ? 32u : 0u) |
                 (cs.fTxim ? 64u : 0u);
    stat.cbInQue = cs.cbInQue;
    stat.cbOutQue = cs.cbOutQue;
    return errors;
}

bool TComPort::PurgeInput()
{
    return IsOpen() && PurgeComm(FHandle, PURGE_RXABORT | PURGE_RXCLEAR) != 0;
}

#endif
