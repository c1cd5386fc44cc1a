; The ODOMEI installer: both programs and the read-me into Program Files, a Start-menu entry
; that starts the window in Documents\ODOMEI (where its settings, log and logbook are kept),
; and an uninstaller. Built by scripts/windows-package.sh with makensis.
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
InstallDir "$PROGRAMFILES64\ODOMEI"
RequestExecutionLevel admin
SetCompressor /SOLID lzma

!define MUI_ICON "..\..\win\odomei.ico"
!define MUI_UNICON "..\..\win\odomei.ico"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Japanese"
!insertmacro MUI_LANGUAGE "English"

Section "ODOMEI"
  SetRegView 64
  SetOutPath "$INSTDIR"
  File "${BUILD}\odomei.exe"
  File "${BUILD}\odomei-cli.exe"
  File "README.txt"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; The programs keep their files in the folder they start in: a folder of the user's own.
  SetShellVarContext current
  CreateDirectory "$DOCUMENTS\ODOMEI"
  SetOutPath "$DOCUMENTS\ODOMEI"
  CreateDirectory "$SMPROGRAMS\ODOMEI"
  CreateShortCut "$SMPROGRAMS\ODOMEI\ODOMEI.lnk" "$INSTDIR\odomei.exe" "" "$INSTDIR\odomei.exe" 0
  CreateShortCut "$SMPROGRAMS\ODOMEI\README.lnk" "$INSTDIR\README.txt"
  CreateShortCut "$SMPROGRAMS\ODOMEI\Uninstall ODOMEI.lnk" "$INSTDIR\uninstall.exe"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "ODOMEI"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "ODOMEI developers"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\odomei.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; The user's own files (settings, log, logbook, saved lists) stay where they are.
Section "Uninstall"
  SetRegView 64
  Delete "$INSTDIR\odomei.exe"
  Delete "$INSTDIR\odomei-cli.exe"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  SetShellVarContext current
  Delete "$SMPROGRAMS\ODOMEI\ODOMEI.lnk"
  Delete "$SMPROGRAMS\ODOMEI\README.lnk"
  Delete "$SMPROGRAMS\ODOMEI\Uninstall ODOMEI.lnk"
  RMDir "$SMPROGRAMS\ODOMEI"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
