; Installer of Velunor ScreenSaver, built by makensis (installer/CMakeLists.txt):
;   makensis -DMORVA_SCR=<Morva.scr> -DMORVA_RES=<res folder> -DOUTFILE=<setup.exe> Morva.nsi
; Installs Morva.scr into the system directory, where Windows lists screen
; savers, the picture and the tune into the Windows directory, and a settings
; file there when none exists. /S installs (and the uninstaller removes)
; without any window.
;
; The uninstaller removes exactly the files it installed and its own registry
; key. The settings file is never removed: an existing one is kept at install
; time, so it may predate this installer, and it holds the user's choice.

Unicode true
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!ifndef MORVA_SCR
  !error "define MORVA_SCR, the built Morva.scr"
!endif
!ifndef MORVA_RES
  !error "define MORVA_RES, the res folder of the source tree"
!endif
!ifndef OUTFILE
  !error "define OUTFILE, the installer to write"
!endif

!define PRODUCT "Velunor ScreenSaver"
!define VERSION "1.0"
!define PUBLISHER "Velunor"
!define HOMEPAGE "http://www.velunor.example/"
!define UNINSTKEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\VelunorScreenSaver"
!define SETTINGS "$WINDIR\Morvalst.txt"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\${PRODUCT}"
BrandingText "${PRODUCT} ${VERSION}"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "1.0.0.0"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (C) ${PUBLISHER}"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"

!include "MUI2.nsh"
!include "x64.nsh"
!include "LogicLib.nsh"

!define MUI_ICON "${MORVA_RES}\icon128.ico"
!define MUI_UNICON "${MORVA_RES}\icon128.ico"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "Choose it as the screen saver now"
!define MUI_FINISHPAGE_RUN_FUNCTION ChooseSaver

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Var ScrPath

; The path other programs must use for Morva.scr. This 32-bit installer writes
; through $SYSDIR, which 64-bit Windows redirects to SysWOW64; the 64-bit
; control panel reading DisplayIcon sees no such redirection.
!macro SetScrPath
  ${If} ${RunningX64}
    StrCpy $ScrPath "$WINDIR\SysWOW64\Morva.scr"
  ${Else}
    StrCpy $ScrPath "$SYSDIR\Morva.scr"
  ${EndIf}
!macroend

Function ChooseSaver
  ; What the shell's "Install" verb of a .scr file does: make it the current
  ; screen saver and open the screen-saver settings.
  ExecShell "" "$SYSDIR\rundll32.exe" 'desk.cpl,InstallScreenSaver $ScrPath'
FunctionEnd

Section "Install"
  SetOverwrite on
  SetOutPath "$SYSDIR"
  File "/oname=Morva.scr" "${MORVA_SCR}"
  SetOutPath "$WINDIR"
  File "${MORVA_RES}\media\Morva0001.jpg"
  File "${MORVA_RES}\media\4.mid"

  ; Without a settings file the settings dialog cannot store a mode. The
  ; program writes it as the user, not as the administrator who installed it,
  ; so the built-in Users group (by SID, whatever the system's language) may
  ; change it.
  ${IfNot} ${FileExists} "${SETTINGS}"
    FileOpen $0 "${SETTINGS}" w
    FileWrite $0 "$\r$\n0"
    FileClose $0
    nsExec::Exec '"$SYSDIR\icacls.exe" "${SETTINGS}" /grant *S-1-5-32-545:M'
    Pop $0
  ${EndIf}

  !insertmacro SetScrPath
  CreateDirectory "$INSTDIR"
  WriteUninstaller "$INSTDIR\Uninstall.exe"
  WriteRegStr HKLM "${UNINSTKEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTKEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTKEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTKEY}" "URLInfoAbout" "${HOMEPAGE}"
  WriteRegStr HKLM "${UNINSTKEY}" "DisplayIcon" "$ScrPath,0"
  WriteRegStr HKLM "${UNINSTKEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTKEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTKEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTKEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTKEY}" "NoRepair" 1
  SectionGetSize 0 $0
  WriteRegDWORD HKLM "${UNINSTKEY}" "EstimatedSize" $0
SectionEnd

Section "Uninstall"
  Delete "$SYSDIR\Morva.scr"
  Delete "$WINDIR\Morva0001.jpg"
  Delete "$WINDIR\4.mid"
  ; This runs in a temporary copy of the uninstaller, started by the one in
  ; $INSTDIR, which may not have ended yet on a busy machine: its file cannot
  ; be deleted while it runs, and the folder then stays. Give it 10 s.
  ${For} $0 1 100
    ClearErrors
    Delete "$INSTDIR\Uninstall.exe"
    ${IfNot} ${Errors}
      ${ExitFor}
    ${EndIf}
    Sleep 100
  ${Next}
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTKEY}"
SectionEnd
