; The OrvoDial installer for Windows, built with NSIS (makensis) by tools/windows-installer.
;
; One installer per architecture, from this one script: ARCH=x64 is itself a 64-bit program
; holding the 64-bit OrvoDial.exe (and refuses 32-bit Windows, which cannot run it); ARCH=x86
; holds the 32-bit one and runs everywhere. For all users (into Program Files, needs an
; administrator) or, without administrator rights, for the current user (into
; %LOCALAPPDATA%\Programs); /AllUsers or /CurrentUser on the command line choose without
; asking. It adds a Start menu entry, an uninstaller registered in "Apps & features", and,
; as an option on the components page, OrvoDial as a handler of tel: and callto: links.
; Uninstalling removes every file and key it added.
;
; Defines given by the build: VERSION ("1.00"), VERSION4 ("1.0.0.0"), ARCH (x64 or x86),
; EXE (the program of that architecture), ICON (the program icon), OUTFILE.

Unicode true
!if "${ARCH}" == "x64"
    Target amd64-unicode
    !define MULTIUSER_USE_PROGRAMFILES64
!else
    Target x86-unicode
!endif
SetCompressor /SOLID lzma

!define APPNAME "OrvoDial"
!define DESCRIPTION "OrvoDial telephone dialer"
!define UNINSTKEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\OrvoDial"
!define CAPSKEY "Software\OrvoDial\Capabilities"
!define PROGID "OrvoDial.Link"

!define MULTIUSER_EXECUTIONLEVEL Highest
!define MULTIUSER_MUI
!define MULTIUSER_INSTALLMODE_COMMANDLINE
!define MULTIUSER_INSTALLMODE_INSTDIR "OrvoDial"
!define MULTIUSER_INSTALLMODE_DEFAULT_REGISTRY_KEY "${UNINSTKEY}"
!define MULTIUSER_INSTALLMODE_DEFAULT_REGISTRY_VALUENAME "InstallMode"
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_KEY "${UNINSTKEY}"
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_VALUENAME "InstallLocation"
!include MultiUser.nsh
!include MUI2.nsh
!include x64.nsh
!include FileFunc.nsh

; A scheme's own key, written only where no other program has it, and removed only while
; it is still OrvoDial's.
!macro SchemeKeys scheme
    ReadRegStr $0 SHCTX "Software\Classes\${scheme}\shell\open\command" ""
    ${If} $0 == ""
        WriteRegStr SHCTX "Software\Classes\${scheme}" "" "URL:${scheme}"
        WriteRegStr SHCTX "Software\Classes\${scheme}" "URL Protocol" ""
        WriteRegStr SHCTX "Software\Classes\${scheme}\shell\open\command" "" '"$INSTDIR\OrvoDial.exe" "%1"'
    ${EndIf}
!macroend
!macro un.SchemeKeys scheme
    ReadRegStr $0 SHCTX "Software\Classes\${scheme}\shell\open\command" ""
    ${If} $0 == '"$INSTDIR\OrvoDial.exe" "%1"'
        DeleteRegKey SHCTX "Software\Classes\${scheme}"
    ${EndIf}
!macroend

Name "${APPNAME}"
OutFile "${OUTFILE}"
BrandingText "${DESCRIPTION} ${VERSION}"
!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_COMPONENTSPAGE_NODESC

VIProductVersion "${VERSION4}"
VIAddVersionKey /LANG=1033 "ProductName" "${APPNAME}"
VIAddVersionKey /LANG=1033 "FileDescription" "${DESCRIPTION} setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "CompanyName" "The OrvoDial developers"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (C) 2026 the OrvoDial developers"

!insertmacro MULTIUSER_PAGE_INSTALLMODE
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Function .onInit
!if "${ARCH}" == "x64"
    ${IfNot} ${RunningX64}
        MessageBox MB_ICONSTOP "This is OrvoDial for 64-bit Windows; use OrvoDial-${VERSION}-setup-32bit.exe here." /SD IDOK
        Abort
    ${EndIf}
!endif
    ${If} ${RunningX64}
        SetRegView 64
    ${EndIf}
    !insertmacro MULTIUSER_INIT
FunctionEnd

Function un.onInit
    ${If} ${RunningX64}
        SetRegView 64
    ${EndIf}
    !insertmacro MULTIUSER_UNINIT
FunctionEnd

Section "OrvoDial" SecProgram
    SectionIn RO
    SetOutPath "$INSTDIR"
    File "/oname=OrvoDial.exe" "${EXE}"
    WriteUninstaller "$INSTDIR\uninstall.exe"
    CreateShortcut "$SMPROGRAMS\OrvoDial.lnk" "$INSTDIR\OrvoDial.exe" "" "$INSTDIR\OrvoDial.exe" 0 \
        SW_SHOWNORMAL "" "${DESCRIPTION}"

    ; "Apps & features": name, icon, version, size, and how to uninstall (SHCTX: the
    ; machine's keys for all users, the user's own otherwise).
    WriteRegStr SHCTX "${UNINSTKEY}" "DisplayName" "${APPNAME}"
    WriteRegStr SHCTX "${UNINSTKEY}" "DisplayIcon" "$INSTDIR\OrvoDial.exe,0"
    WriteRegStr SHCTX "${UNINSTKEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr SHCTX "${UNINSTKEY}" "Publisher" "The OrvoDial developers"
    WriteRegStr SHCTX "${UNINSTKEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr SHCTX "${UNINSTKEY}" "InstallMode" "$MultiUser.InstallMode"
    WriteRegStr SHCTX "${UNINSTKEY}" "UninstallString" '"$INSTDIR\uninstall.exe" /$MultiUser.InstallMode'
    WriteRegStr SHCTX "${UNINSTKEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /$MultiUser.InstallMode /S'
    WriteRegDWORD SHCTX "${UNINSTKEY}" "NoModify" 1
    WriteRegDWORD SHCTX "${UNINSTKEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    IntFmt $0 "0x%08X" $0
    WriteRegDWORD SHCTX "${UNINSTKEY}" "EstimatedSize" "$0"
SectionEnd

; tel: and callto: links open OrvoDial with the link as its argument. Windows 10 and 11
; list it under Default apps by these keys (RegisteredApplications and its URL
; associations); older Windows use the scheme keys themselves.
Section "Open tel: and callto: links with OrvoDial" SecLinks
    WriteRegStr SHCTX "Software\Classes\${PROGID}" "" "Telephone number link"
    WriteRegStr SHCTX "Software\Classes\${PROGID}" "URL Protocol" ""
    WriteRegStr SHCTX "Software\Classes\${PROGID}\DefaultIcon" "" "$INSTDIR\OrvoDial.exe,0"
    WriteRegStr SHCTX "Software\Classes\${PROGID}\shell\open\command" "" '"$INSTDIR\OrvoDial.exe" "%1"'
    WriteRegStr SHCTX "${CAPSKEY}" "ApplicationName" "${APPNAME}"
    WriteRegStr SHCTX "${CAPSKEY}" "ApplicationDescription" "${DESCRIPTION}"
    WriteRegStr SHCTX "${CAPSKEY}\URLAssociations" "tel" "${PROGID}"
    WriteRegStr SHCTX "${CAPSKEY}\URLAssociations" "callto" "${PROGID}"
    WriteRegStr SHCTX "Software\RegisteredApplications" "${APPNAME}" "${CAPSKEY}"
    !insertmacro SchemeKeys tel
    !insertmacro SchemeKeys callto
    WriteRegDWORD SHCTX "${UNINSTKEY}" "Links" 1
SectionEnd

Section "Uninstall"
    Delete "$INSTDIR\OrvoDial.exe"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    Delete "$SMPROGRAMS\OrvoDial.lnk"
    DeleteRegKey SHCTX "Software\Classes\${PROGID}"
    DeleteRegKey SHCTX "Software\OrvoDial"
    DeleteRegValue SHCTX "Software\RegisteredApplications" "${APPNAME}"
    !insertmacro un.SchemeKeys tel
    !insertmacro un.SchemeKeys callto
    DeleteRegKey SHCTX "${UNINSTKEY}"
SectionEnd
