; The installer of the shell extension: the module and its run-time folder for every user of
; the machine under Program Files, registered with the shell; the uninstaller takes away what
; was installed, file by file, and the registration with it. The cache the module keeps for
; each user is that user's data and stays.
;
;   makensis -DVERSION=… -DOUTFILE=… -DFILES=install.nsh -DREMOVALS=remove.nsh voxalis-thumbnail.nsi
;
; FILES and REMOVALS are written by CMake from the one list of the run-time folder.

Unicode true
; A 64-bit installer: it loads the 64-bit module to call its registration entry points.
Target amd64-unicode
SetCompressor /SOLID lzma

!include "LogicLib.nsh"
RequestExecutionLevel admin

!define PRODUCT "VOXALIS Thumbnail"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
!define SHCNE_ASSOCCHANGED 0x08000000

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section
    SetShellVarContext all
    SetRegView 64
!include "${FILES}"
    SetOutPath "$INSTDIR"
    WriteUninstaller "$INSTDIR\uninstall.exe"

    ; DllRegisterServer; a module that does not register leaves nothing installed.
    ClearErrors
    RegDLL "$INSTDIR\VOXALIS_Thumbnail.dll"
    ${If} ${Errors}
        DetailPrint "VOXALIS_Thumbnail.dll did not register"
        Call removeFiles
        SetErrorLevel 3
        Abort
    ${EndIf}
    System::Call 'shell32::SHChangeNotify(i ${SHCNE_ASSOCCHANGED}, i 0, p 0, p 0)'

    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

!macro removeFilesBody
!include "${REMOVALS}"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
!macroend

Function removeFiles
    !insertmacro removeFilesBody
FunctionEnd

Section "Uninstall"
    SetShellVarContext all
    SetRegView 64
    UnRegDLL "$INSTDIR\VOXALIS_Thumbnail.dll"
    System::Call 'shell32::SHChangeNotify(i ${SHCNE_ASSOCCHANGED}, i 0, p 0, p 0)'
    !insertmacro removeFilesBody
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
