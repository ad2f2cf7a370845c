#pragma once
#include <QString>


// The folder of "ZEM.cfg" and "Operators.cfg", ending with the path separator. It is the
// executable's folder when that is writable and owned by the user running the program (a portable
// install, the build folder); otherwise the user's configuration folder for this program, created
// when missing. Empty before InitAppDir.
QString AppDir();
// Tests point it at a folder of their own before InitAppDir.
void SetAppDir(const QString& folder);
// "ZEM.cfg" in AppDir(); empty while AppDir() is.
QString ConfigFileName();

// The folder by that rule for a program in `exeDir`. A program installed with its menu entry
// (under /usr, or a prefix of the user's own), or by the Windows installer, always uses the
// user's configuration folder.
QString ConfigFolderFor(const QString& exeDir);

// Fills AppDir() by the rule above, unless it was set before (tests point it at a folder of their
// own this way).
void InitAppDir();

