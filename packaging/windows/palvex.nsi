; The Windows installer of Palvex: one 32-bit installer for both systems.
; On 64-bit Windows the 64-bit programs and module go to
; Program Files\Palvex and the 32-bit ones to Program Files (x86)\Palvex,
; each module registered for the machine by the regsvr32 of its bitness; on
; 32-bit Windows the 32-bit files alone.
;
; Made by make_installer.sh, which passes
;   VERSION   four numbers, 1.0.0.1
;   STAGE32   the 32-bit build installed into a folder (cmake --install)
;   STAGE64   the same of the 64-bit build
;   FILES     the generated macros that install and delete every file of
;             each stage (PALVEX_INSTALL_32/64, PALVEX_DELETE_32/64)
;   OUTFILE   the installer to write
; and reads this file as UTF-8 (-INPUTCHARSET UTF8).
Unicode true
ManifestSupportedOS all
ManifestDPIAware true
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!ifndef VERSION | STAGE32 | STAGE64 | FILES | OUTFILE
  !error "makensis -DVERSION=... -DSTAGE32=... -DSTAGE64=... -DFILES=... -DOUTFILE=... (make_installer.sh)"
!endif

!define PRODUCT "Palvex"
!define PUBLISHER "Tavrin"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Palvex"
!define UNINSTALLER "uninstall.exe"
!define SHORTCUT "$SMPROGRAMS\通讯屏D卡配置程序.lnk"

!include LogicLib.nsh
!include x64.nsh
!include FileFunc.nsh
!include MUI2.nsh
!include "${FILES}"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
BrandingText "${PRODUCT} ${VERSION}"
; Set in .onInit for the system's bitness; there is no folder page.
InstallDir "$PROGRAMFILES\${PRODUCT}"
ShowInstDetails show
ShowUninstDetails show

!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "SimpChinese"
!insertmacro MUI_LANGUAGE "English"

VIProductVersion "${VERSION}"
VIFileVersion "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileDescription" "${PRODUCT} ${VERSION} Setup"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "LegalCopyright" "Copyright ${PUBLISHER}"

LangString NeedAdmin ${LANG_SIMPCHINESE} "安装和卸载 Palvex 需要管理员权限。请右击程序，选“以管理员身份运行”。"
LangString NeedAdmin ${LANG_ENGLISH} "Installing and removing Palvex needs administrator rights. Right-click the program and choose $\"Run as administrator$\"."
LangString RegisterFailed ${LANG_SIMPCHINESE} "无法注册 $R9（regsvr32 的退出代码：$R8）。安装已取消。"
LangString RegisterFailed ${LANG_ENGLISH} "$R9 could not be registered (regsvr32 exit code $R8). The installation was cancelled."
LangString UnregisterFailed ${LANG_SIMPCHINESE} "无法注销 $R9（regsvr32 的退出代码：$R8）。"
LangString UnregisterFailed ${LANG_ENGLISH} "$R9 could not be unregistered (regsvr32 exit code $R8)."

; The 32-bit files' folder beside $INSTDIR on 64-bit Windows; $INSTDIR
; itself on 32-bit Windows.
Var Dir32

; regsvr32 of one bitness on one module, /s (no message box), /u to remove.
; Its exit code in $R8 ("" when it could not be started), the module in $R9.
!macro Regsvr32 BITS OPTIONS MODULE
  StrCpy $R9 "${MODULE}"
  StrCpy $R8 ""
  ClearErrors
  !if ${BITS} == 64
    ; The 64-bit regsvr32, which this 32-bit program sees only with the
    ; file-system redirection off.
    ${DisableX64FSRedirection}
    ExecWait '"$WINDIR\System32\regsvr32.exe" /s ${OPTIONS} "${MODULE}"' $R8
    ${EnableX64FSRedirection}
  !else
    ${If} ${RunningX64}
      ExecWait '"$WINDIR\SysWOW64\regsvr32.exe" /s ${OPTIONS} "${MODULE}"' $R8
    ${Else}
      ExecWait '"$WINDIR\System32\regsvr32.exe" /s ${OPTIONS} "${MODULE}"' $R8
    ${EndIf}
  !endif
  ${If} ${Errors}
    StrCpy $R8 ""
  ${EndIf}
!macroend

; The binaries of the 32-bit build that go beside the 64-bit ones' folder.
!macro Install32Beside
  SetOutPath "$Dir32"
  File "${STAGE32}/Palvex.ocx"
  File "${STAGE32}/palvex.exe"
  File "${STAGE32}/dravel.exe"
!macroend
!macro Delete32Beside
  Delete "$Dir32\Palvex.ocx"
  Delete "$Dir32\palvex.exe"
  Delete "$Dir32\dravel.exe"
  RMDir "$Dir32"
!macroend

; Unregisters the modules, then deletes every file this version installs,
; the shortcut and the uninstall entry: the uninstaller, and the installer
; when a registration fails. Never touches the user's settings.
!macro RemoveProduct
  ; Not in a folder that goes: a working folder cannot be removed.
  SetOutPath "$TEMP"
  ${If} ${RunningX64}
    ${If} ${FileExists} "$INSTDIR\Palvex.ocx"
      !insertmacro Regsvr32 64 /u "$INSTDIR\Palvex.ocx"
      ${If} $R8 != 0
        DetailPrint "$(UnregisterFailed)"
      ${EndIf}
    ${EndIf}
    ${If} ${FileExists} "$Dir32\Palvex.ocx"
      !insertmacro Regsvr32 32 /u "$Dir32\Palvex.ocx"
      ${If} $R8 != 0
        DetailPrint "$(UnregisterFailed)"
      ${EndIf}
    ${EndIf}
    !insertmacro PALVEX_DELETE_64 "$INSTDIR"
    !insertmacro Delete32Beside
  ${Else}
    ${If} ${FileExists} "$INSTDIR\Palvex.ocx"
      !insertmacro Regsvr32 32 /u "$INSTDIR\Palvex.ocx"
      ${If} $R8 != 0
        DetailPrint "$(UnregisterFailed)"
      ${EndIf}
    ${EndIf}
    !insertmacro PALVEX_DELETE_32 "$INSTDIR"
  ${EndIf}
  Delete "${SHORTCUT}"
  Delete "$INSTDIR\${UNINSTALLER}"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
!macroend

; Administrators only; the folders and the registry view of the system's
; bitness; shortcuts for all users.
!macro Prepare
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 != "admin"
    MessageBox MB_ICONSTOP "$(NeedAdmin)" /SD IDOK
    SetErrorLevel 740 ; ERROR_ELEVATION_REQUIRED
    Quit
  ${EndIf}
  SetShellVarContext all
  ${If} ${RunningX64}
    SetRegView 64
    StrCpy $Dir32 "$PROGRAMFILES32\${PRODUCT}"
  ${EndIf}
!macroend

Function .onInit
  !insertmacro Prepare
  ${If} ${RunningX64}
    StrCpy $INSTDIR "$PROGRAMFILES64\${PRODUCT}"
  ${Else}
    StrCpy $INSTDIR "$PROGRAMFILES\${PRODUCT}"
    StrCpy $Dir32 "$INSTDIR"
  ${EndIf}
FunctionEnd

Function un.onInit
  !insertmacro Prepare
  ${IfNot} ${RunningX64}
    StrCpy $Dir32 "$INSTDIR"
  ${EndIf}
FunctionEnd

Function RollBack
  !insertmacro RemoveProduct
FunctionEnd

; Registers one module; on failure says so, removes what was installed and
; ends the installation (exit code 2 when silent).
!macro RegisterOrAbort BITS MODULE
  !insertmacro Regsvr32 ${BITS} "" "${MODULE}"
  ${If} $R8 != 0
    MessageBox MB_ICONSTOP "$(RegisterFailed)" /SD IDOK
    DetailPrint "$(RegisterFailed)"
    Call RollBack
    Abort
  ${EndIf}
!macroend

Section "Palvex"
  ; An installed version goes first, by its own uninstaller, which
  ; unregisters its modules and deletes its files; run in place (_?=) it
  ; ends before this goes on. Should it fail, its modules are unregistered
  ; here and its files replaced.
  ReadRegStr $1 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $1 != ""
  ${AndIf} ${FileExists} "$1\${UNINSTALLER}"
    ReadRegStr $2 HKLM "${UNINSTALL_KEY}" "DisplayVersion"
    DetailPrint "Palvex $2: $1"
    ClearErrors
    ExecWait '"$1\${UNINSTALLER}" /S _?=$1' $3
    ${If} ${Errors}
    ${OrIf} $3 != 0
      DetailPrint "$1\${UNINSTALLER}: $3"
      ${If} ${FileExists} "$1\Palvex.ocx"
        ${If} ${RunningX64}
          !insertmacro Regsvr32 64 /u "$1\Palvex.ocx"
        ${Else}
          !insertmacro Regsvr32 32 /u "$1\Palvex.ocx"
        ${EndIf}
      ${EndIf}
    ${EndIf}
    Delete "$1\${UNINSTALLER}"
    RMDir "$1"
  ${EndIf}
  ${If} ${RunningX64}
  ${AndIf} ${FileExists} "$Dir32\Palvex.ocx"
    !insertmacro Regsvr32 32 /u "$Dir32\Palvex.ocx"
  ${EndIf}

  ${If} ${RunningX64}
    !insertmacro PALVEX_INSTALL_64 "$INSTDIR"
    !insertmacro Install32Beside
    !insertmacro RegisterOrAbort 64 "$INSTDIR\Palvex.ocx"
    !insertmacro RegisterOrAbort 32 "$Dir32\Palvex.ocx"
  ${Else}
    !insertmacro PALVEX_INSTALL_32 "$INSTDIR"
    !insertmacro RegisterOrAbort 32 "$INSTDIR\Palvex.ocx"
  ${EndIf}

  SetOutPath "$INSTDIR"
  CreateShortCut "${SHORTCUT}" "$INSTDIR\dravel.exe" "" "$INSTDIR\dravel.exe" 0
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"

  ${GetSize} "$INSTDIR" "/S=0K" $4 $5 $6
  ${If} ${RunningX64}
    ${GetSize} "$Dir32" "/S=0K" $5 $6 $7
    IntOp $4 $4 + $5
  ${EndIf}
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\dravel.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $4
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  !insertmacro RemoveProduct
SectionEnd
