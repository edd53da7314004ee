; The Windows installer: makensis -DVERSION=1.0 -DSTAGE=DIR -DOUTFILE=FILE [-DWITH_GUI] zemlo.nsi
; STAGE holds the programs and documents to install (tools/package-windows fills it). Installs for
; the current user or, with the rights for it, for all users; a silent install takes /S and
; /CurrentUser or /AllUsers, and so does the uninstaller.
; A 64-bit installer for 64-bit programs: it also runs where Windows (or Wine) has no 32-bit layer.
Target amd64-unicode
SetCompressor /SOLID lzma

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\zemlo"
!define MULTIUSER_EXECUTIONLEVEL Highest
!define MULTIUSER_MUI
!define MULTIUSER_INSTALLMODE_COMMANDLINE
!define MULTIUSER_USE_PROGRAMFILES64
!define MULTIUSER_INSTALLMODE_INSTDIR zemlo
; A second run and the uninstaller find the mode and folder of the installation from its key.
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_KEY "${UNINSTALL_KEY}"
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_VALUENAME InstallLocation
!define MULTIUSER_INSTALLMODE_DEFAULT_REGISTRY_KEY "${UNINSTALL_KEY}"
!define MULTIUSER_INSTALLMODE_DEFAULT_REGISTRY_VALUENAME InstallLocation
!include MultiUser.nsh
!include MUI2.nsh
!include nsDialogs.nsh

Name "zemlo ${VERSION}"
; "-setup.exe" is what users look for; the manifest's execution level already turns off Windows'
; guessing from the name.
!pragma warning disable 9000
OutFile "${OUTFILE}"
ManifestDPIAware true

!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_LICENSE "${STAGE}\LICENSE.txt"
!insertmacro MULTIUSER_PAGE_INSTALLMODE
Page custom DriverPage
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE English

Function .onInit
  !insertmacro MULTIUSER_INIT
FunctionEnd

Function un.onInit
  !insertmacro MULTIUSER_UNINIT
FunctionEnd

; The adapter is reached through the vendor's driver, which is not ours to ship.
Function DriverPage
  !insertmacro MUI_HEADER_TEXT "The adapter's driver" "What zemlo needs to reach the USB Zemlo adapter"
  nsDialogs::Create 1018
  Pop $0
  ${NSD_CreateLabel} 0 0 100% 100% "zemlo reaches the adapter through FTDI's D2XX driver, which this installer does not \
include. Install it from FTDI's driver page: its setup executable installs the driver and FTD2XX.dll into the Windows \
system folder, where zemlo finds it.$\r$\n$\r$\nzemlo also takes an FTD2XX.dll placed next to zemlo-cli.exe in the \
installation folder, or the one the ZEMLO_D2XX_LIBRARY environment variable names by its full path; never one from \
the working folder or from PATH.$\r$\n$\r$\nWithout an adapter, zemlo-cli --adapter sim works on a simulated console."
  Pop $0
  nsDialogs::Show
FunctionEnd

Section
  SetOutPath "$INSTDIR"
  File "${STAGE}\zemlo-cli.exe"
  File "${STAGE}\zemlo-sim.exe"
  !ifdef WITH_GUI
    File "${STAGE}\zemlo.exe"
  !endif
  File "${STAGE}\README.md"
  File "${STAGE}\LICENSE.txt"
  File "${STAGE}\ADAPTER.txt"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; Shortcuts start in $OUTDIR: the command prompt opens in the installation folder.
  CreateDirectory "$SMPROGRAMS\zemlo"
  !ifdef WITH_GUI
    CreateShortCut "$SMPROGRAMS\zemlo\zemlo.lnk" "$INSTDIR\zemlo.exe"
  !endif
  CreateShortCut "$SMPROGRAMS\zemlo\zemlo-cli command prompt.lnk" "$SYSDIR\cmd.exe" "/k zemlo-cli --help"
  CreateShortCut "$SMPROGRAMS\zemlo\README.lnk" "$WINDIR\notepad.exe" '"$INSTDIR\README.md"'
  CreateShortCut "$SMPROGRAMS\zemlo\Uninstall zemlo.lnk" "$INSTDIR\uninstall.exe" "/$MultiUser.InstallMode"

  WriteRegStr SHCTX "${UNINSTALL_KEY}" DisplayName "zemlo"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" DisplayVersion "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" Publisher "the zemlo developers"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" InstallLocation "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" UninstallString '"$INSTDIR\uninstall.exe" /$MultiUser.InstallMode'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" QuietUninstallString '"$INSTDIR\uninstall.exe" /S /$MultiUser.InstallMode'
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" NoModify 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" NoRepair 1
SectionEnd

; Removes exactly what the installer wrote, so that files the user put in the folder survive.
Section Uninstall
  Delete "$INSTDIR\zemlo-cli.exe"
  Delete "$INSTDIR\zemlo-sim.exe"
  Delete "$INSTDIR\zemlo.exe"
  Delete "$INSTDIR\README.md"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\ADAPTER.txt"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  ; The per-user programs folder, when installing made it and nothing else is in it.
  ${If} $MultiUser.InstallMode == CurrentUser
    RMDir "$LOCALAPPDATA\Programs"
  ${EndIf}
  Delete "$SMPROGRAMS\zemlo\zemlo.lnk"
  Delete "$SMPROGRAMS\zemlo\zemlo-cli command prompt.lnk"
  Delete "$SMPROGRAMS\zemlo\README.lnk"
  Delete "$SMPROGRAMS\zemlo\Uninstall zemlo.lnk"
  RMDir "$SMPROGRAMS\zemlo"
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
SectionEnd
