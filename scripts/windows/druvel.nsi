; Druvel's installer for one user: no administrator rights, the programs in
; the user's own programs folder (where Druvel.ini can be written next to
; them), a Start-menu shortcut that starts Druvel there, and an uninstaller.
; It carries both builds and installs the 64-bit programs on 64-bit Windows,
; the 32-bit ones otherwise.
; makensis -DVERSION=... -DSOURCE64=<64-bit files> -DSOURCE32=<32-bit files> -DOUTPUT=<setup.exe> druvel.nsi
Unicode true
!include x64.nsh
RequestExecutionLevel user
SetCompressor /SOLID lzma

Name "Druvel ${VERSION}"
OutFile "${OUTPUT}"
InstallDir "$LOCALAPPDATA\Programs\Druvel"
InstallDirRegKey HKCU "Software\Druvel" "InstallDir"
VIProductVersion "${VERSION}"
VIAddVersionKey "ProductName" "Druvel"
VIAddVersionKey "FileDescription" "Druvel installer"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "Copyright (C) 2026 the Druvel authors"

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Druvel"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section "Druvel"
  SetShellVarContext current
  SetOutPath "$INSTDIR"
  ${If} ${RunningX64}
    File "${SOURCE64}\Druvel.exe"
    File "${SOURCE64}\TAV.exe"
  ${Else}
    File "${SOURCE32}\Druvel.exe"
    File "${SOURCE32}\TAV.exe"
  ${EndIf}
  File "${SOURCE64}\README.txt"
  WriteUninstaller "$INSTDIR\Uninstall.exe"
  ; The shortcut's working folder is the install folder: Druvel finds TAV.exe
  ; and keeps Druvel.ini in its current directory.
  CreateShortcut "$SMPROGRAMS\Druvel.lnk" "$INSTDIR\Druvel.exe" "" "$INSTDIR\Druvel.exe" 0
  WriteRegStr HKCU "Software\Druvel" "InstallDir" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Druvel"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "the Druvel authors"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Druvel.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; The user's settings (Druvel.ini) and files stay; only what was installed goes.
Section "Uninstall"
  SetShellVarContext current
  Delete "$SMPROGRAMS\Druvel.lnk"
  Delete "$INSTDIR\Druvel.exe"
  Delete "$INSTDIR\TAV.exe"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
  DeleteRegKey HKCU "Software\Druvel"
SectionEnd
