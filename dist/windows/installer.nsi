; The installer of the Windows build: for the current user, no administrator.
; makensis -DVERSION=1.0.0 -DSOURCE=<staged folder> -DOUTFILE=<setup.exe> installer.nsi
; A 64-bit installer for a 64-bit program: it also runs under a Wine that has
; no 32-bit side, as the checks here do.
Target amd64-unicode
!include "MUI2.nsh"

!define PRODUCT "Qirel Configuracion & Debug"
!define COMPANY "Dalvesca"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Qirel"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
RequestExecutionLevel user
InstallDir "$LOCALAPPDATA\Programs\Qirel"
InstallDirRegKey HKCU "Software\${COMPANY}\Qirel" "InstallDir"
SetCompressor /SOLID lzma
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1034 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1034 "CompanyName" "${COMPANY}"
VIAddVersionKey /LANG=1034 "FileDescription" "Instalador de ${PRODUCT}"
VIAddVersionKey /LANG=1034 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1034 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1034 "LegalCopyright" "${COMPANY}"

!define MUI_ICON "${SOURCE}\qirel.ico"
!define MUI_UNICON "${SOURCE}\qirel.ico"
!define MUI_FINISHPAGE_RUN "$INSTDIR\qirel.exe"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Spanish"

Section "Qirel"
  SetShellVarContext current
  SetOutPath "$INSTDIR"
  ; An upgrade replaces the program's own files only: the user's settings,
  ; profiles and backups live in the user's folders, never here.
  RMDir /r "$INSTDIR\platforms"
  RMDir /r "$INSTDIR\styles"
  RMDir /r "$INSTDIR\sqldrivers"
  File /r "${SOURCE}\*.*"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\qirel.exe" "" "$INSTDIR\qirel.ico"
  WriteRegStr HKCU "Software\${COMPANY}\Qirel" "InstallDir" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${COMPANY}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\qirel.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  SetShellVarContext current
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  ; Only the program's folder: the user's data stays where it is.
  RMDir /r "$INSTDIR"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
  DeleteRegKey HKCU "Software\${COMPANY}\Qirel"
SectionEnd
