; The per-user installer of the Windows programs, built by
; scripts/build-windows.sh with makensis:
;   makensis -DVERSION=... -DBUILD=<build dir> -DDOCS=<docs dir> -DOUTFILE=... velloran.nsi
; It installs for the current user only (no administrator rights), adds a
; Start-menu entry and an uninstaller, and registers nothing of the host. The
; uninstaller removes the stand-in host's registration, per user and (where it
; may) machine-wide, as far as it names the installed stand-in host: the real
; host's registration of the same classes stays.
Unicode true
RequestExecutionLevel user
SetCompressor /SOLID lzma

Name "Velloran ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Velloran"
InstallDirRegKey HKCU "Software\Velloran" "InstallDir"
Icon "${ICON}"
UninstallIcon "${ICON}"

VIProductVersion "${VERSION}"
VIAddVersionKey "ProductName" "Velloran"
VIAddVersionKey "FileDescription" "Velloran ${VERSION} setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "The Velloran authors"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Velloran"

Section "Velloran"
    SetShellVarContext current
    SetOutPath "$INSTDIR"
    File "${BUILD}\app\win32\velloran.exe"
    File "${BUILD}\tools\velloran-report.exe"
    File "${BUILD}\standin\com\velloran-standin-host.exe"
    File "${DOCS}\windows.md"
    File "${DOCS}\standin-map-windows.png"
    WriteUninstaller "$INSTDIR\uninstall.exe"
    CreateDirectory "$SMPROGRAMS\Velloran"
    CreateShortcut "$SMPROGRAMS\Velloran\Velloran.lnk" "$INSTDIR\velloran.exe"
    CreateShortcut "$SMPROGRAMS\Velloran\Uninstall Velloran.lnk" "$INSTDIR\uninstall.exe"
    WriteRegStr HKCU "Software\Velloran" "InstallDir" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Velloran"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "The Velloran authors"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\velloran.exe"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
    SetShellVarContext current
    nsExec::Exec '"$INSTDIR\velloran-standin-host.exe" /UnregServer'
    Pop $0
    nsExec::Exec '"$INSTDIR\velloran-standin-host.exe" /UnregServer /AllUsers'
    Pop $0
    Delete "$INSTDIR\velloran.exe"
    Delete "$INSTDIR\velloran-report.exe"
    Delete "$INSTDIR\velloran-standin-host.exe"
    Delete "$INSTDIR\windows.md"
    Delete "$INSTDIR\standin-map-windows.png"
    ; The settings file is the operator's: it stays unless they remove it.
    ; Its lock file holds nothing.
    Delete "$INSTDIR\velloran.INI.lock"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    Delete "$SMPROGRAMS\Velloran\Velloran.lnk"
    Delete "$SMPROGRAMS\Velloran\Uninstall Velloran.lnk"
    RMDir "$SMPROGRAMS\Velloran"
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
    DeleteRegKey HKCU "Software\Velloran"
SectionEnd
