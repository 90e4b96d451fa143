; The Windows installer: the deployment folder into Program Files, a Start-menu entry with the
; program's icon, and an uninstaller that removes what was installed and nothing else, so the
; registry (data.mdb) beside the program stays where it is. /S installs and uninstalls silently.
;
;   makensis -DVERSION=1.0 -DDEPLOY=<deployment folder> -DOUTFILE=<setup.exe> installer.nsi
; The deployment folder holds files.nsh and folders.nsh, the lists of what it holds, which
; scripts/build-windows writes.

; A 64-bit installer for a 64-bit program (and for wine64, which runs no 32-bit code).
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!define PRODUCT "KELT Orvanta Manager"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\KeltOrvantaManager"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
Icon "${DEPLOY}\kelt-orvanta-manager.ico"
UninstallIcon "${DEPLOY}\kelt-orvanta-manager.ico"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section "Install"
    SetRegView 64
    SetOutPath "$INSTDIR"
    File /r /x files.nsh /x folders.nsh "${DEPLOY}\*.*"
    WriteUninstaller "$INSTDIR\uninstall.exe"
    SetShellVarContext all
    CreateDirectory "$SMPROGRAMS\${PRODUCT}"
    CreateShortcut "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk" "$INSTDIR\orvanta-manager.exe" "" \
        "$INSTDIR\kelt-orvanta-manager.ico"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "KELT"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\kelt-orvanta-manager.ico"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
    SetRegView 64
    ; Only the files the installer put there: data.mdb, and anything else of the operator's,
    ; keeps the folder.
    !include "${DEPLOY}\files.nsh"
    Delete "$INSTDIR\uninstall.exe"
    !include "${DEPLOY}\folders.nsh"
    RMDir "$INSTDIR"
    SetShellVarContext all
    Delete "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk"
    RMDir "$SMPROGRAMS\${PRODUCT}"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
