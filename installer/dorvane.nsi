; Dorvane's installer: a per-user install (no administrator rights) into
; %LOCALAPPDATA%\Programs\Dorvane with a Start-menu shortcut, an optional start with Windows and
; an uninstaller listed in the user's installed programs.
; Built by scripts/package.sh: makensis -DVERSION=... -DSOURCE=... -DOUTFILE=... dorvane.nsi
;
; Silent use for administrators who roll it out:
;   Dorvane-<version>-setup.exe /S [/AUTOSTART=1] [/SETTINGS=FILE]
; /SETTINGS=FILE imports the settings of FILE (written by Dorvane.exe /export) after installing;
; a file Dorvane refuses makes the installer end with exit code 2.
;   Uninstall.exe /S [/REMOVESETTINGS=1]
; A running Dorvane is ended first, without a question, and started again after an upgrade.

Unicode true
; 64-bit stubs: Debian's Wine runs only 64-bit programs, and Windows takes either.
Target amd64-unicode
RequestExecutionLevel user
SetCompressor /SOLID lzma

!include "MUI2.nsh"
!include "FileFunc.nsh"
!include "LogicLib.nsh"

!define PRODUCT "Dorvane"
!define PUBLISHER "Velmora"
!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Dorvane"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define SETTINGS_KEY "Software\Velmora\DORVANE"
; The program's single-instance mutex and its "please quit" message (see src/app).
!define INSTANCE_MUTEX "Local\Velmora.DORVANE.SingleInstance"
!define QUIT_MESSAGE "Velmora.DORVANE.Quit"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Dorvane"
ShowInstDetails nevershow
ShowUninstDetails nevershow

VIProductVersion "${VERSION}.0.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "FileDescription" "${PRODUCT} setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "Copyright (C) 2016 Velmora. All rights reserved."

!define MUI_ICON "${SOURCE}/Dorvane.ico"
!define MUI_UNICON "${SOURCE}/Dorvane.ico"
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "Start Dorvane now"
; An upgrade has already started Dorvane again: the finish page starts it only when none runs.
!define MUI_FINISHPAGE_RUN_FUNCTION StartDorvaneIfNotRunning
!define MUI_COMPONENTSPAGE_NODESC

!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Var WasRunning

; Whether a Dorvane of this user runs: $R9 = 1 or 0. Its single-instance mutex exists; a copy
; running elevated makes one that this installer may not open (access denied), and that counts.
!macro IsDorvaneRunning un
Function ${un}IsDorvaneRunning
  System::Call 'kernel32::OpenMutexW(i 0x00100000, i 0, w "${INSTANCE_MUTEX}") p .r0 ?e'
  Pop $1
  StrCpy $R9 0
  ${If} $0 != 0
    System::Call 'kernel32::CloseHandle(p r0)'
    StrCpy $R9 1
  ${ElseIf} $1 == 5
    StrCpy $R9 1
  ${EndIf}
FunctionEnd
!macroend
!insertmacro IsDorvaneRunning ""
!insertmacro IsDorvaneRunning "un."

; Ends a running Dorvane of this user: the program answers the broadcast message by turning its
; service off and quitting; the single-instance mutex is gone once it has ended (10 s at most).
!macro EndRunningDorvane un
Function ${un}EndRunningDorvane
  StrCpy $WasRunning 0
  Call ${un}IsDorvaneRunning
  ${If} $R9 == 0
    Return
  ${EndIf}
  StrCpy $WasRunning 1
  System::Call 'user32::RegisterWindowMessageW(w "${QUIT_MESSAGE}") i .r1'
  System::Call 'user32::PostMessageW(p 0xffff, i r1, p 0, p 0)'
  StrCpy $2 0
  ${Do}
    Sleep 200
    IntOp $2 $2 + 1
    Call ${un}IsDorvaneRunning
    ${If} $R9 == 0
      ${Break}
    ${EndIf}
  ${LoopUntil} $2 >= 50
FunctionEnd
!macroend
!insertmacro EndRunningDorvane ""
!insertmacro EndRunningDorvane "un."

Section "Dorvane" SecProgram
  SectionIn RO
  Call EndRunningDorvane
  SetOutPath "$INSTDIR"
  File "${SOURCE}/Dorvane.exe"
  File "${SOURCE}/UserGuide.html"
  File "${SOURCE}/readings.png"
  WriteUninstaller "$INSTDIR\Uninstall.exe"

  SetShellVarContext current
  CreateShortCut "$SMPROGRAMS\Dorvane.lnk" "$INSTDIR\Dorvane.exe"
  CreateShortCut "$SMPROGRAMS\Dorvane User Guide.lnk" "$INSTDIR\UserGuide.html"

  WriteRegStr HKCU "${UNINST_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINST_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKCU "${UNINST_KEY}" "DisplayIcon" "$INSTDIR\Dorvane.exe"
  WriteRegStr HKCU "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINST_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKCU "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINST_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  IntFmt $0 "0x%08X" $0
  WriteRegDWORD HKCU "${UNINST_KEY}" "EstimatedSize" "$0"
SectionEnd

Section /o "Start Dorvane when Windows starts" SecAutostart
  WriteRegStr HKCU "${RUN_KEY}" "Dorvane" '"$INSTDIR\Dorvane.exe"'
SectionEnd

Var SettingsFile

Section "-Import settings"
  ${If} $SettingsFile != ""
    ; Quiet when the installer is silent: the outcome is then only the exit code.
    ${If} ${Silent}
      ExecWait '"$INSTDIR\Dorvane.exe" /import "$SettingsFile" /quiet' $0
    ${Else}
      ExecWait '"$INSTDIR\Dorvane.exe" /import "$SettingsFile"' $0
    ${EndIf}
    ${If} $0 != 0
      SetErrorLevel 2
    ${EndIf}
  ${EndIf}
SectionEnd

Section "-Restart"
  ; An upgrade over a running Dorvane starts it again; a silent first install leaves starting
  ; to the user (or to Windows, with the option above).
  ${If} $WasRunning == 1
    Exec '"$INSTDIR\Dorvane.exe"'
  ${EndIf}
SectionEnd

Function StartDorvaneIfNotRunning
  Call IsDorvaneRunning
  ${If} $R9 == 0
    Exec '"$INSTDIR\Dorvane.exe"'
  ${EndIf}
FunctionEnd

Function .onInit
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/AUTOSTART=" $1
  ${IfNot} ${Errors}
    ${If} $1 == 1
      SectionSetFlags ${SecAutostart} ${SF_SELECTED}
    ${EndIf}
  ${EndIf}
  ClearErrors
  ${GetOptions} $0 "/SETTINGS=" $1
  ${IfNot} ${Errors}
    ; A name relative to where the installer was started from.
    GetFullPathName $SettingsFile $1
    ${If} $SettingsFile == ""
      StrCpy $SettingsFile $1
    ${EndIf}
  ${EndIf}
FunctionEnd

Section "un.Dorvane" UnSecProgram
  SectionIn RO
  Call un.EndRunningDorvane
  Delete "$INSTDIR\Dorvane.exe"
  Delete "$INSTDIR\UserGuide.html"
  Delete "$INSTDIR\readings.png"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"
  SetShellVarContext current
  Delete "$SMPROGRAMS\Dorvane.lnk"
  Delete "$SMPROGRAMS\Dorvane User Guide.lnk"
  DeleteRegValue HKCU "${RUN_KEY}" "Dorvane"
  DeleteRegKey HKCU "${UNINST_KEY}"
SectionEnd

Section /o "un.Remove my settings" UnSecSettings
  DeleteRegKey HKCU "${SETTINGS_KEY}"
  DeleteRegKey /ifempty HKCU "Software\Velmora"
SectionEnd

Function un.onInit
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/REMOVESETTINGS=" $1
  ${IfNot} ${Errors}
    ${If} $1 == 1
      SectionSetFlags ${UnSecSettings} ${SF_SELECTED}
    ${EndIf}
  ${EndIf}
FunctionEnd
