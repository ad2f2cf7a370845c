#pragma once

class TIniFile;
class TComPort;
class TUniversalCom;
class TUniversalPort;
class TKOR_ZEM;
class TThreadTaskManager;
class TExchangeRecorder;
class TDailyLog;
class QWidget;
class QString;

// The objects every part of the tool shares. They exist from the main window's creation to its
// close (CreateGlobals ... DestroyGlobals) and are used on the GUI thread, except that the key
// reading task uses Device while the modal key dialog keeps everything else away from it.
extern TIniFile* IniFile;                      // "ZEM.cfg"
extern TComPort* ComPort;                      // owned by UniversalCom
extern TUniversalCom* UniversalCom;            // the byte channel over ComPort
extern TKOR_ZEM* Device;                       // the module's commands, over UniversalCom
extern TThreadTaskManager* ThreadTaskManager;  // the background task thread
extern TExchangeRecorder* Exchanges;           // every frame of this run, by operation
extern TDailyLog* DiagnosticLog;               // the operations on disk; null when turned off

// ZEM.cfg's switch for the diagnostic log: [Log] Enabled=0 turns it off.
extern const char* const DiagnosticLogSection;
extern const char* const DiagnosticLogKey;
// The log's folder: "logs" in the user's data folder unless set before CreateGlobals.
extern QString DiagnosticLogDir;

// The port as the operator chose it (a device path, or the virtual module's caption), for
// naming it in files.
extern QString PortDisplayName;
// Why the chosen port has no device behind it (the virtual module could not start); empty
// otherwise. The port's warning says it in place of "no port chosen".
extern QString PortProblem;

// The window in whose name OpenPort warns (the main window).
extern QWidget* PortWarningOwner;

void CreateGlobals();
void DestroyGlobals();

// Talks to the module through port (the virtual module's in-process port), or, given null, over
// the serial port ComPort names.
void UseInProcessPort(TUniversalPort* port);

// Every operation that talks to the module opens the port at its start and closes it at its
// end, so another program may use the port in between. False after a warning to the operator.
bool OpenPort();
void ClosePort();
