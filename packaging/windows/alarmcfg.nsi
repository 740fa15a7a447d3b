; The Windows setup: alarmcfg.exe ("配置软件" in the Start menu) and, on
; request, alarmcfg-cli with a Start-menu console. Per machine into Program
; Files when the user may, else per user into %LOCALAPPDATA%\Programs; pages
; in Chinese or English by the system's language; /S installs silently.
;
; packaging/windows/make-setup compiles it with these defines:
;   VERSION        the project's version, x.y.z
;   PUBLISHER      who publishes it, shown in "Apps and features"
;   ICON           alarmcfg.ico
;   OUTFILE        the setup's path
;   INSTALL_LIST   the File lines of the programs' folder, the command line's excepted
;   REMOVE_LIST    the Delete and RMDir lines that undo INSTALL_LIST
;   CLI_EXE        alarmcfg-cli.exe, installed by the component "alarmcfg-cli"
;
; Command line (besides NSIS's own /S and /D=folder):
;   /AllUsers      per machine (needs administrator rights)
;   /CurrentUser   per user
;   /CLI           with alarmcfg-cli and its console shortcut
; The uninstaller takes /S, /AllUsers and /CurrentUser.

Unicode true
Target amd64-unicode
ManifestDPIAware true
SetCompressor /SOLID lzma

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\alarmcfg"
!define WINDOW_SHORTCUT "$SMPROGRAMS\配置软件.lnk"
!define CLI_SHORTCUT "$SMPROGRAMS\alarmcfg-cli.lnk"

Name "alarmcfg ${VERSION}"
OutFile "${OUTFILE}"
BrandingText "alarmcfg ${VERSION}"

VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"
VIAddVersionKey /LANG=0 "ProductName" "alarmcfg"
VIAddVersionKey /LANG=0 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "FileDescription" "alarmcfg ${VERSION} setup"
VIAddVersionKey /LANG=0 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=0 "LegalCopyright" "MIT licence"

; Highest: an administrator is asked to elevate and may install for everyone;
; anyone else installs for themselves without being asked. An earlier install
; decides the mode and the folder, through the uninstall key.
!define MULTIUSER_EXECUTIONLEVEL Highest
!define MULTIUSER_MUI
!define MULTIUSER_INSTALLMODE_COMMANDLINE
!define MULTIUSER_INSTALLMODE_INSTDIR alarmcfg
!define MULTIUSER_USE_PROGRAMFILES64
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_KEY "${UNINSTALL_KEY}"
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_VALUENAME InstallLocation
!define MULTIUSER_INSTALLMODE_DEFAULT_REGISTRY_KEY "${UNINSTALL_KEY}"
!define MULTIUSER_INSTALLMODE_DEFAULT_REGISTRY_VALUENAME UninstallString
!include MultiUser.nsh
!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include Sections.nsh

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_WELCOMEPAGE_TEXT "$(WelcomeText)"
!define MUI_COMPONENTSPAGE_SMALLDESC
!define MUI_FINISHPAGE_RUN "$INSTDIR\alarmcfg.exe"
!define MUI_FINISHPAGE_SHOWREADME "$INSTDIR\README.txt"
!define MUI_FINISHPAGE_SHOWREADME_NOTCHECKED

!insertmacro MUI_PAGE_WELCOME
!insertmacro MULTIUSER_PAGE_INSTALLMODE
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

; The first is the one for a system whose language is neither.
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "SimpChinese"

LangString WelcomeText ${LANG_ENGLISH} "This installs alarmcfg ${VERSION}: the window 配置软件, which configures the GSM alarm controller over a serial line, and on request its command line, alarmcfg-cli.$\r$\n$\r$\nBackups and configuration files stay where they are.$\r$\n$\r$\n$_CLICK"
LangString WelcomeText ${LANG_SIMPCHINESE} "此程序将安装 alarmcfg ${VERSION}：通过串口配置 GSM 短信报警控制器的“配置软件”，以及（可选）命令行工具 alarmcfg-cli。$\r$\n$\r$\n已有的备份和配置文件不受影响。$\r$\n$\r$\n$_CLICK"
LangString SecProgramName ${LANG_ENGLISH} "配置软件 (alarmcfg)"
LangString SecProgramName ${LANG_SIMPCHINESE} "配置软件 (alarmcfg)"
LangString SecProgramText ${LANG_ENGLISH} "The window, with a Start-menu entry 配置软件."
LangString SecProgramText ${LANG_SIMPCHINESE} "配置窗口，并在开始菜单中添加“配置软件”。"
LangString SecCliName ${LANG_ENGLISH} "alarmcfg-cli (command line)"
LangString SecCliName ${LANG_SIMPCHINESE} "alarmcfg-cli（命令行）"
LangString SecCliText ${LANG_ENGLISH} "Back up, provision and compare controllers from a console. The Start-menu entry alarmcfg-cli opens a console in your user folder where alarmcfg-cli can be typed."
LangString SecCliText ${LANG_SIMPCHINESE} "在命令行中备份、批量写入和比较控制器。开始菜单中的“alarmcfg-cli”会在用户文件夹中打开一个可以直接输入 alarmcfg-cli 的命令行窗口。"
LangString RemovingOld ${LANG_ENGLISH} "Removing the installed version from $0"
LangString RemovingOld ${LANG_SIMPCHINESE} "正在删除 $0 中已安装的版本"
LangString RemoveOldFailed ${LANG_ENGLISH} "The installed version in $0 could not be removed. Close 配置软件 and alarmcfg-cli if they are running, then run the setup again."
LangString RemoveOldFailed ${LANG_SIMPCHINESE} "无法删除 $0 中已安装的版本。如果配置软件或 alarmcfg-cli 正在运行，请先关闭，然后重新运行安装程序。"
LangString ProgramRunning ${LANG_ENGLISH} "$1 is running. Close it, then uninstall again."
LangString ProgramRunning ${LANG_SIMPCHINESE} "$1 正在运行。请先关闭，然后重新卸载。"

Var CliRequested

Section "$(SecProgramName)" SecProgram
  SectionIn RO
  Call RemoveInstalled
  SetOutPath "$INSTDIR"
  !include "${INSTALL_LIST}"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  SetOutPath "$INSTDIR"
  CreateShortcut "${WINDOW_SHORTCUT}" "$INSTDIR\alarmcfg.exe" "" "$INSTDIR\alarmcfg.exe" 0
SectionEnd

Section /o "$(SecCliName)" SecCli
  SetOutPath "$INSTDIR"
  File "${CLI_EXE}"
  ; A console like Windows's own Command Prompt, started in the user's folder
  ; (a file written there is the user's), with this folder first on its PATH,
  ; so "alarmcfg-cli ..." and the restore command it prints after a failed
  ; write can be typed or pasted as they stand. cmd strips the outer quotes.
  CreateShortcut "${CLI_SHORTCUT}" "$SYSDIR\cmd.exe" \
    '/k "cd /d "%USERPROFILE%" & set "PATH=$INSTDIR;%PATH%" & alarmcfg-cli --help"' \
    "$INSTDIR\alarmcfg.exe" 0
SectionEnd

; After the sections: the entry in "Apps and features", sized as installed.
Section "-Register"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" DisplayName "alarmcfg (配置软件)"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" DisplayVersion "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" Publisher "${PUBLISHER}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" DisplayIcon "$INSTDIR\alarmcfg.exe,0"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" InstallLocation "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" UninstallString '"$INSTDIR\uninstall.exe" /$MultiUser.InstallMode'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" QuietUninstallString '"$INSTDIR\uninstall.exe" /S /$MultiUser.InstallMode'
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" NoModify 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" NoRepair 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" EstimatedSize $0
SectionEnd

!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
  !insertmacro MUI_DESCRIPTION_TEXT ${SecProgram} "$(SecProgramText)"
  !insertmacro MUI_DESCRIPTION_TEXT ${SecCli} "$(SecCliText)"
!insertmacro MUI_FUNCTION_DESCRIPTION_END

Function .onInit
  !insertmacro MULTIUSER_INIT
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/CLI" $1
  ${IfNot} ${Errors}
    StrCpy $CliRequested 1
  ${EndIf}
  ; An upgrade keeps the command line when the installed version has it.
  ReadRegStr $0 SHCTX "${UNINSTALL_KEY}" InstallLocation
  ${If} $CliRequested == 1
  ${OrIf} ${FileExists} "$0\alarmcfg-cli.exe"
    !insertmacro SelectSection ${SecCli}
  ${EndIf}
FunctionEnd

; The version installed in this mode goes first, through its own uninstaller,
; which removes exactly the files that version installed: a file the new
; version no longer has does not stay behind. Whatever else is in its folder
; stays.
Function RemoveInstalled
  ReadRegStr $0 SHCTX "${UNINSTALL_KEY}" InstallLocation
  ${If} $0 == ""
  ${OrIfNot} ${FileExists} "$0\uninstall.exe"
    Return
  ${EndIf}
  DetailPrint "$(RemovingOld)"
  ; _?= runs it in place and waits for it.
  ClearErrors
  ExecWait '"$0\uninstall.exe" /S /$MultiUser.InstallMode _?=$0' $1
  ${If} ${Errors}
  ${OrIf} $1 != 0
    MessageBox MB_OK|MB_ICONSTOP "$(RemoveOldFailed)" /SD IDOK
    Abort
  ${EndIf}
  Delete "$0\uninstall.exe"
  RMDir "$0"
FunctionEnd


; A program that is running cannot be opened for writing: it would stay
; behind, half of an install. Nothing is removed then, and the exit code (2)
; tells a setup that runs this uninstaller before an upgrade.
Function un.RefuseWhileRunning
  ${ForEach} $0 1 2 + 1
    ${If} $0 == 1
      StrCpy $1 alarmcfg.exe
    ${Else}
      StrCpy $1 alarmcfg-cli.exe
    ${EndIf}
    ${If} ${FileExists} "$INSTDIR\$1"
      ClearErrors
      FileOpen $2 "$INSTDIR\$1" a
      ${If} ${Errors}
        MessageBox MB_OK|MB_ICONSTOP "$(ProgramRunning)" /SD IDOK
        SetErrorLevel 2
        Quit
      ${EndIf}
      FileClose $2
    ${EndIf}
  ${Next}
FunctionEnd

Function un.onInit
  !insertmacro MULTIUSER_UNINIT
  Call un.RefuseWhileRunning
FunctionEnd

Section "Uninstall"
  ; The registered install is the one this uninstaller belongs to: a copy
  ; run from elsewhere leaves the entry and the shortcuts to it.
  ReadRegStr $0 SHCTX "${UNINSTALL_KEY}" InstallLocation
  ${If} $0 == $INSTDIR
    Delete "${WINDOW_SHORTCUT}"
    Delete "${CLI_SHORTCUT}"
    DeleteRegKey SHCTX "${UNINSTALL_KEY}"
  ${EndIf}
  ; File by file: nothing else in the folder, and no backup
  ; (%LOCALAPPDATA%\alarmcfg) or configuration file, is touched.
  !include "${REMOVE_LIST}"
  Delete "$INSTDIR\alarmcfg-cli.exe"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
SectionEnd
