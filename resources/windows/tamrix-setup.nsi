; The Windows setup program of Tamrix, built by scripts/make-installer with NSIS (makensis), which
; passes on its command line:
;
;   VERSION     the project's version as CMake has it (1.1.3)
;   DIALOG_EXE  tamrix.exe, the dialog program       CLI_EXE  tamrix-cli.exe
;   OUTFILE     the setup program to write (tamrix-<version>-setup.exe)
;
; It puts both programs and the licence into Program Files\Tamrix (or the folder given with
; /D=...), a Start-menu shortcut to the dialog program, and an uninstaller listed in Add/Remove
; Programs. Silent: "tamrix-<version>-setup.exe /S [/D=FOLDER]", "uninstall.exe /S".
;
; The uninstaller takes away only what the setup put in place. What the programs made themselves
; stays: the user's settings (HKCU\Software\Local AppWizard-Generated Applications\tamrix) and the
; process logs and run reports (%LOCALAPPDATA%\Tamrix, or a log beside the program if someone
; made the folder writable), so a technician who reinstalls finds his choices and history again.
; The program folder is removed only when nothing else is left in it.
;
; The programs are x86_64 and so is the setup: it installs into the 64-bit Program Files and
; writes the 64-bit view of the registry.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma

!ifdef VERSION & DIALOG_EXE & CLI_EXE & OUTFILE
!else
  !error "scripts/make-installer defines VERSION, DIALOG_EXE, CLI_EXE and OUTFILE"
!endif

!define SOURCE_ROOT "${__FILEDIR__}/../.."
!define PRODUCT_NAME "ZKT Orvane Firmware Update Utility"
!define PUBLISHER "ZKT Orvane"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Tamrix"
!define SHORTCUT "$SMPROGRAMS\Tamrix.lnk"

Name "Tamrix ${VERSION}"
Caption "Tamrix ${VERSION} Setup"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Tamrix"
RequestExecutionLevel admin
ManifestDPIAware true
BrandingText "${PRODUCT_NAME} ${VERSION}"
ShowInstDetails show
ShowUninstDetails show

!include "MUI2.nsh"
!include "FileFunc.nsh"

!define MUI_ICON "${SOURCE_ROOT}/resources/icons/tamrix.ico"
!define MUI_UNICON "${SOURCE_ROOT}/resources/icons/tamrix.ico"
!define MUI_ABORTWARNING
; No "run the program now" on the last page: the setup runs elevated, and the dialog program would
; inherit that and keep its settings for whoever elevated, not for the technician.
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_LICENSE "${SOURCE_ROOT}/LICENSE"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductName" "${PRODUCT_NAME}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileDescription" "${PRODUCT_NAME} Setup"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileVersion" "${VERSION}.0"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductVersion" "${VERSION}.0"
VIAddVersionKey /LANG=${LANG_ENGLISH} "LegalCopyright" "Copyright (c) 2026 The Tamrix developers"

Function .onInit
  SetRegView 64
  SetShellVarContext all
FunctionEnd

Function un.onInit
  SetRegView 64
  SetShellVarContext all
FunctionEnd

Section "Tamrix"
  SectionIn RO
  SetOutPath "$INSTDIR"
  File "/oname=tamrix.exe" "${DIALOG_EXE}"
  File "/oname=tamrix-cli.exe" "${CLI_EXE}"
  File "/oname=LICENSE.txt" "${SOURCE_ROOT}/LICENSE"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateShortcut "${SHORTCUT}" "$INSTDIR\tamrix.exe" "" "$INSTDIR\tamrix.exe" 0 SW_SHOWNORMAL "" \
    "Update the firmware of ZKT Orvane products through their serial bootloader"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Tamrix (${PRODUCT_NAME})"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\uninstall.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ; Add/Remove Programs counts in KiB.
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section "Uninstall"
  Delete "${SHORTCUT}"
  Delete "$INSTDIR\tamrix.exe"
  Delete "$INSTDIR\tamrix-cli.exe"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\uninstall.exe"
  ; Not /r: a process log someone kept beside the program stays, and so does its folder.
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
