; The ODOMEI installer, for the user who runs it and without administrator rights: both programs
; and the read-me into %LOCALAPPDATA%\Programs\ODOMEI, a Start-menu entry that starts the window
; in Documents\ODOMEI (where its settings, log and logbook are kept), and an uninstaller, all in
; that user's profile. An elevated install would put the Start-menu entry and Documents\ODOMEI
; into the administrator's profile whenever a standard user gives an administrator's password.
; Built by scripts/windows-package.sh with makensis.
Unicode true
; The programs are 64-bit: so is the installer (it runs where they run).
Target amd64-unicode
!include "MUI2.nsh"
!include "x64.nsh"

!ifndef VERSION
  !define VERSION "2.0.0"
!endif
!ifndef BUILD
  !define BUILD "..\..\build-windows"
!endif
!ifndef OUTFILE
  !define OUTFILE "odomei-${VERSION}-setup.exe"
!endif
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\ODOMEI"

Name "ODOMEI ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\ODOMEI"
RequestExecutionLevel user
SetCompressor /SOLID lzma

!define MUI_ICON "..\..\win\odomei.ico"
!define MUI_UNICON "..\..\win\odomei.ico"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Japanese"
!insertmacro MUI_LANGUAGE "English"

Function .onInit
  SetShellVarContext current
FunctionEnd

Function un.onInit
  SetShellVarContext current
FunctionEnd

Section "ODOMEI"
  SetRegView 64
  SetOutPath "$INSTDIR"
  File "${BUILD}\odomei.exe"
  File "${BUILD}\odomei-cli.exe"
  File "README.txt"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; The programs keep their files in the folder they start in: a folder of the user's own.
  CreateDirectory "$DOCUMENTS\ODOMEI"
  SetOutPath "$DOCUMENTS\ODOMEI"
  CreateDirectory "$SMPROGRAMS\ODOMEI"
  CreateShortCut "$SMPROGRAMS\ODOMEI\ODOMEI.lnk" "$INSTDIR\odomei.exe" "" "$INSTDIR\odomei.exe" 0
  CreateShortCut "$SMPROGRAMS\ODOMEI\README.lnk" "$INSTDIR\README.txt"
  CreateShortCut "$SMPROGRAMS\ODOMEI\Uninstall ODOMEI.lnk" "$INSTDIR\uninstall.exe"

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "ODOMEI"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "ODOMEI developers"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\odomei.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; The user's own files (settings, log, logbook, saved lists) stay where they are.
Section "Uninstall"
  SetRegView 64
  Delete "$INSTDIR\odomei.exe"
  Delete "$INSTDIR\odomei-cli.exe"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\ODOMEI\ODOMEI.lnk"
  Delete "$SMPROGRAMS\ODOMEI\README.lnk"
  Delete "$SMPROGRAMS\ODOMEI\Uninstall ODOMEI.lnk"
  RMDir "$SMPROGRAMS\ODOMEI"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
