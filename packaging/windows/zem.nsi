; The Windows installer, made by tools/pack-windows.sh with makensis -INPUTCHARSET UTF8 and:
;   VERSION   the program's version, 2.0
;   FILES     an include of the stage's files as File commands, UNFILES the same as Delete and RMDir
;   ICON      the program's icon (.ico), OUTFILE the installer to make
; For the current user without administrator rights (under the user's own programs folder), for
; every user when run as administrator. /S installs silently; /CurrentUser or /AllUsers choose.

Target amd64-unicode
SetCompressor /SOLID lzma

!define PRODUCT "ZEM 2.0"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
!define FILE_CLASS "ZEM.Copy"
!define UNINSTALLER "uninstall.exe"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
BrandingText "Версия ${VERSION}"

!define MULTIUSER_EXECUTIONLEVEL Highest
!define MULTIUSER_MUI
!define MULTIUSER_INSTALLMODE_COMMANDLINE
!define MULTIUSER_USE_PROGRAMFILES64
!define MULTIUSER_INSTALLMODE_INSTDIR "${PRODUCT}"
; An install over an earlier one goes where that one is, in its mode.
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_KEY "${UNINSTALL_KEY}"
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_VALUENAME "InstallLocation"
!define MULTIUSER_INSTALLMODE_DEFAULT_REGISTRY_KEY "${UNINSTALL_KEY}"
!define MULTIUSER_INSTALLMODE_DEFAULT_REGISTRY_VALUENAME "InstallLocation"
; MultiUser's own messages have no Russian of their own.
!define MULTIUSER_INIT_TEXT_ADMINREQUIRED "Для установки $(^Caption) нужны права администратора."
!define MULTIUSER_INIT_TEXT_POWERREQUIRED "Для установки $(^Caption) нужны права опытного пользователя или администратора."
!define MULTIUSER_INIT_TEXT_ALLUSERSNOTPOSSIBLE "Установить для всех пользователей может только администратор: запустите установку от его имени или установите только для себя."
!include MultiUser.nsh
!include MUI2.nsh
!include LogicLib.nsh

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_UNABORTWARNING
!define MUI_COMPONENTSPAGE_NODESC

!insertmacro MULTIUSER_PAGE_INSTALLMODE
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN "$INSTDIR\zem.exe"
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "Russian"

VIProductVersion "${VERSION}.0.0"
VIAddVersionKey /LANG=${LANG_RUSSIAN} "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=${LANG_RUSSIAN} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_RUSSIAN} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_RUSSIAN} "FileDescription" "Установка ${PRODUCT}"
VIAddVersionKey /LANG=${LANG_RUSSIAN} "LegalCopyright" "ZEM 2.0 developers"

Section "Программа ${PRODUCT}" SecProgram
  SectionIn RO
  ; An earlier version goes first, with its own list of files: what this one no longer has
  ; would stay behind otherwise. It keeps the user's data as every uninstall does.
  ${If} ${FileExists} "$INSTDIR\${UNINSTALLER}"
    ExecWait '"$INSTDIR\${UNINSTALLER}" /S _?=$INSTDIR'
  ${EndIf}
  !include "${FILES}"
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"

  CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\zem.exe" "" "$INSTDIR\zem.exe" 0

  WriteRegStr SHCTX "Software\Classes\.zem" "" "${FILE_CLASS}"
  WriteRegStr SHCTX "Software\Classes\${FILE_CLASS}" "" "Копия модуля ZEM"
  WriteRegStr SHCTX "Software\Classes\${FILE_CLASS}\DefaultIcon" "" '"$INSTDIR\zem.exe",0'
  WriteRegStr SHCTX "Software\Classes\${FILE_CLASS}\shell\open\command" "" '"$INSTDIR\zem.exe" "%1"'

  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "ZEM 2.0 developers"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" '"$INSTDIR\zem.exe",0'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
  SectionGetSize ${SecProgram} $0
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" $0

  ; Explorer shows the new file type's icon without a restart.
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
SectionEnd

Section /o "Ярлык на рабочем столе" SecDesktop
  CreateShortcut "$DESKTOP\${PRODUCT}.lnk" "$INSTDIR\zem.exe" "" "$INSTDIR\zem.exe" 0
SectionEnd

Function .onInit
  !insertmacro MULTIUSER_INIT
  ; An upgrade keeps the desktop shortcut the earlier install made.
  ${If} ${FileExists} "$DESKTOP\${PRODUCT}.lnk"
    SectionSetFlags ${SecDesktop} ${SF_SELECTED}
  ${EndIf}
FunctionEnd

Function un.onInit
  !insertmacro MULTIUSER_UNINIT
  ; The mode is the one this folder was installed in: an administrator's own install too.
  ReadRegStr $0 HKCU "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 == $INSTDIR
    Call un.MultiUser.InstallMode.CurrentUser
  ${EndIf}
FunctionEnd

; Only what the installer put there: ZEM.cfg, backups, logs and the catalogue stay wherever they
; are, and so does the folder when anything is left in it.
Section "Uninstall"
  !include "${UNFILES}"
  Delete "$INSTDIR\${UNINSTALLER}"
  RMDir "$INSTDIR"

  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  Delete "$DESKTOP\${PRODUCT}.lnk"

  ; .zem is left alone when another program has taken it since.
  ReadRegStr $0 SHCTX "Software\Classes\.zem" ""
  ${If} $0 == "${FILE_CLASS}"
    DeleteRegKey SHCTX "Software\Classes\.zem"
  ${EndIf}
  DeleteRegKey SHCTX "Software\Classes\${FILE_CLASS}"
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
SectionEnd
