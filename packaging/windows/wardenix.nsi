; The Wardenix installer. Puts wardenix.exe beside the application server
; "DAZEVAVIZ.EXE", in the folder the administrator chooses: the watchdog reads
; rez.ini and relaunches the server from its own folder. A shortcut in the
; Startup folder of all users starts it at every logon, running in that
; folder. The program's event source in the Application event log is
; registered with wardenix.exe as its message file. The uninstaller removes
; what the installer put there and nothing else: never the server, rez.ini or
; another file of that folder.
;
; makensis -DVERSION=1.2.3.4 -DPROGRAM=path\wardenix.exe -DICON=path\wardenix.ico
;          -DOUTFILE=path\setup.exe [-DAMD64] wardenix.nsi
; AMD64 makes a 64-bit installer, for a 64-bit build of the program.
;
; Silent: setup.exe /S [/D=FOLDER] and wardenix-uninstall.exe /S.

Unicode true
!ifdef AMD64
  Target amd64-unicode
!endif
SetCompressor /SOLID lzma

!include "MUI2.nsh"
!include "LogicLib.nsh"

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Wardenix"
!define SHORTCUT "$SMSTARTUP\Wardenix.lnk"
!define UNINSTALLER "wardenix-uninstall.exe"
!define EVENTLOG_KEY "SYSTEM\CurrentControlSet\Services\EventLog\Application\Wardenix"

Name "Wardenix"
OutFile "${OUTFILE}"
; Where the relaunch command line points when rez.ini has not been read.
InstallDir "C:\KESTRANE\REZ7"
RequestExecutionLevel admin
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}"
VIAddVersionKey /LANG=1046 "ProductName" "Wardenix"
VIAddVersionKey /LANG=1046 "CompanyName" "Kestrane"
VIAddVersionKey /LANG=1046 "LegalCopyright" "Kestrane"
VIAddVersionKey /LANG=1046 "FileDescription" "Instalador do Kestrane DazevaVIZ Wardenix"
VIAddVersionKey /LANG=1046 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1046 "ProductVersion" "${VERSION}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING

!define MUI_DIRECTORYPAGE_TEXT_TOP "Escolha a pasta do servidor de aplicação (a pasta de DAZEVAVIZ.EXE). O Wardenix é instalado ao lado dele, lê o rez.ini dessa pasta e reinicia o servidor a partir dela."
!define MUI_DIRECTORYPAGE_TEXT_DESTINATION "Pasta do servidor (DAZEVAVIZ.EXE)"
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE CheckServerFolder
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_FUNCTION StartWatchdog
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "PortugueseBR"

; 1 when the install ended a running watchdog, which it then starts again.
Var WatchdogWasRunning

; The finish page's "run" box: one watchdog only, so not when the update
; already started it again.
Function StartWatchdog
  ${If} $WatchdogWasRunning != 1
    Exec '"$INSTDIR\wardenix.exe"'
  ${EndIf}
FunctionEnd

Function .onInit
  SetShellVarContext all
!ifdef AMD64
  SetRegView 64
!endif
FunctionEnd

Function un.onInit
  SetShellVarContext all
!ifdef AMD64
  SetRegView 64
!endif
FunctionEnd

; The folder should hold the server; one without it is taken only when the
; administrator says so (a silent install does not ask).
Function CheckServerFolder
  ${IfNot} ${FileExists} "$INSTDIR\DAZEVAVIZ.EXE"
    MessageBox MB_YESNO|MB_ICONEXCLAMATION "DAZEVAVIZ.EXE não está em $INSTDIR.$\r$\nO Wardenix reinicia o servidor a partir da própria pasta. Instalar mesmo assim?" IDYES +2
    Abort
  ${EndIf}
FunctionEnd

; A running watchdog holds its executable: it is ended first. $0 is 0 when
; one was running (taskkill ended it).
!macro EndRunningWatchdogs
  nsExec::Exec '"$SYSDIR\taskkill.exe" /f /im wardenix.exe'
  Pop $0
  ; A forced end is not immediate: the program's file is held until the
  ; process is gone. Wait for it, 10 s at most, before replacing or deleting.
  ${If} $0 == 0
  ${AndIf} ${FileExists} "$INSTDIR\wardenix.exe"
    StrCpy $4 0
    ${Do}
      ClearErrors
      FileOpen $5 "$INSTDIR\wardenix.exe" a
      ${IfNot} ${Errors}
        FileClose $5
        ${Break}
      ${EndIf}
      Sleep 100
      IntOp $4 $4 + 1
    ${LoopUntil} $4 >= 100
  ${EndIf}
!macroend

Section "Wardenix"
  ${IfNot} ${FileExists} "$INSTDIR\DAZEVAVIZ.EXE"
    DetailPrint "DAZEVAVIZ.EXE não está em $INSTDIR."
  ${EndIf}
  ; The folder is removed on uninstall only when this installer made it.
  StrCpy $1 0
  ${IfNot} ${FileExists} "$INSTDIR\*.*"
    StrCpy $1 1
  ${EndIf}
  ReadRegDWORD $2 HKLM "${UNINSTALL_KEY}" "WardenixCreatedFolder"
  ${If} $2 == 1
    StrCpy $1 1
  ${EndIf}

  !insertmacro EndRunningWatchdogs
  StrCpy $WatchdogWasRunning 0
  ${If} $0 == 0
    StrCpy $WatchdogWasRunning 1
  ${EndIf}
  SetOutPath "$INSTDIR"
  File "/oname=wardenix.exe" "${PROGRAM}"
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"
  ; The shortcut starts the program in $OUTDIR, the server's folder.
  CreateShortCut "${SHORTCUT}" "$INSTDIR\wardenix.exe" "" "$INSTDIR\wardenix.exe" 0

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Wardenix"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Kestrane"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\wardenix.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "WardenixCreatedFolder" $1

  ; The diagnostic stream's event source: Event Viewer takes the texts of its
  ; events from the message table in wardenix.exe. Types: error, warning and
  ; information (1 + 2 + 4).
  WriteRegExpandStr HKLM "${EVENTLOG_KEY}" "EventMessageFile" "$INSTDIR\wardenix.exe"
  WriteRegDWORD HKLM "${EVENTLOG_KEY}" "TypesSupported" 7

  ; An update must not leave the server unsupervised until the next logon:
  ; the watchdog it ended starts again, from the new program, in its folder.
  ${If} $WatchdogWasRunning == 1
    Exec '"$INSTDIR\wardenix.exe"'
  ${EndIf}
SectionEnd

Section "Uninstall"
  ReadRegDWORD $1 HKLM "${UNINSTALL_KEY}" "WardenixCreatedFolder"
  !insertmacro EndRunningWatchdogs
  Delete "${SHORTCUT}"
  Delete "$INSTDIR\wardenix.exe"
  Delete "$INSTDIR\${UNINSTALLER}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  DeleteRegKey HKLM "${EVENTLOG_KEY}"
  ; Only an empty folder is removed, and only one this installer made.
  ${If} $1 == 1
    RMDir "$INSTDIR"
  ${EndIf}
SectionEnd
