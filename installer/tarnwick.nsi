; Tarnwick's installer and uninstaller: for the current user, without administrator rights,
; into %LOCALAPPDATA%\Programs\Tarnwick; or, with /ALLUSERS and an administrator's rights, for
; every user of the machine into Program Files. Built by scripts/package, which defines:
;   VERSION     the program's version, MAJOR.MINOR.PATCH
;   PROGRAM     the tarnwick.exe to install (already signed when signing)
;   CLI         the tarnwick-cli.exe to install beside it (the same)
;   SHELL_DLL   tarnwick-shell.dll, the command of Windows 11's own File Explorer menu
;   MSIX        tarnwick.msix, the signed sparse package that gives the program the identity
;               that menu asks for; IDENTITY is its package name
;   OUT_FILE    the installer to write
;   MAKER_NAME  the publisher shown in "Apps & features"
;   ICON        the program's icon file
;   SIDE_BITMAP the picture beside the first and last page (164 x 314)
;   SIGN        (optional) a command that signs the file named by its one argument
;
; Besides NSIS's own /S and /D=FOLDER it takes:
;   /SILENT             as /S: no pages, no questions
;   /SUPPRESSMSGBOXES   every message box takes its default answer
;   /NORESTART          accepted; this installer never restarts Windows
;   /UPDATE=1           an update from Tarnwick itself: installs over the existing
;                       installation, waits for Tarnwick to end, and starts it again
;   /ALLUSERS           for every user: Program Files, the entries under HKLM (the
;                       uninstaller's entry passes it on); exit code 5 without elevation
; An installation that cannot replace a running Tarnwick (the program or its command line)
; ends with exit code 3, one into a folder that holds other files and no Tarnwick with 4.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestDPIAware true
ManifestSupportedOS {8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}  ; Windows 10 and 11

!ifndef VERSION | PROGRAM | OUT_FILE | MAKER_NAME | ICON | SIDE_BITMAP | SHELL_DLL | MSIX | IDENTITY
  !error "define VERSION, PROGRAM, OUT_FILE, MAKER_NAME, ICON, SIDE_BITMAP, SHELL_DLL, MSIX and IDENTITY"
!endif

; The installer's version is the program's own.
!getdllversion "${PROGRAM}" program_version_
!if "${program_version_1}.${program_version_2}.${program_version_3}" != "${VERSION}"
  !error "${PROGRAM} is version ${program_version_1}.${program_version_2}.${program_version_3}, not ${VERSION}"
!endif

!ifdef SIGN
  !finalize '${SIGN} "%1"' = 0
  !uninstfinalize '${SIGN} "%1"' = 0
!endif

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Tarnwick"
; Lets the Run box and "start tarnwick" find the program without a change to the PATH.
!define APP_PATH_KEY "Software\Microsoft\Windows\CurrentVersion\App Paths\tarnwick.exe"
!define SETTINGS_KEY "Software\Tarnwick"
; The File Explorer verbs the program writes; the uninstaller removes them itself only when
; the program could not.
!define VERB_KEY_FILES "Software\Classes\*\shell\Tarnwick"
!define VERB_KEY_FOLDERS "Software\Classes\Directory\shell\Tarnwick"
!define EXIT_IN_USE 3
!define EXIT_NOT_OUR_FOLDER 4
!define EXIT_NOT_ADMINISTRATOR 5

Name "Tarnwick"
OutFile "${OUT_FILE}"
; Where the entry names an installation, .onInit installs over it instead.
InstallDir "$LOCALAPPDATA\Programs\Tarnwick"
BrandingText "Tarnwick ${VERSION}"
ShowInstDetails nevershow
ShowUninstDetails nevershow

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "FileFunc.nsh"
!include "WinVer.nsh"
!include "WordFunc.nsh"

Var update          ; 1: started by Tarnwick's updater
Var quiet_boxes     ; 1: message boxes take their defaults
Var copy_dir        ; the uninstaller's copy's folder in the temporary folder, to go once it ends
Var in_place        ; 1: the uninstaller runs from the install folder itself
Var all_users       ; 1: for every user of the machine (SHCTX is then HKLM)
Var scope_text      ; the welcome page's words on who it installs for

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_WELCOMEFINISHPAGE_BITMAP "${SIDE_BITMAP}"
!define MUI_ABORTWARNING

!define MUI_PAGE_CUSTOMFUNCTION_PRE SkipInUpdate
!define MUI_WELCOMEPAGE_TEXT "$(TW_About)$\r$\n$\r$\n$scope_text"
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_INSTFILES
!define MUI_PAGE_CUSTOMFUNCTION_PRE SkipInUpdate
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_FUNCTION StartTarnwick
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

; The program's own languages; the user's Windows display language picks one, English
; stands in for the rest.
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "Korean"
!insertmacro MUI_LANGUAGE "Japanese"
!insertmacro MUI_LANGUAGE "SimpChinese"
!insertmacro MUI_LANGUAGE "TradChinese"
!insertmacro MUI_LANGUAGE "Spanish"
!insertmacro MUI_LANGUAGE "French"
!insertmacro MUI_LANGUAGE "German"
!insertmacro MUI_LANGUAGE "PortugueseBR"
!insertmacro MUI_LANGUAGE "Russian"

!include "strings.nsh"

VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductName" "Tarnwick"
VIAddVersionKey /LANG=${LANG_ENGLISH} "CompanyName" "${MAKER_NAME}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileDescription" "Tarnwick Setup"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "LegalCopyright" "Copyright (C) 2026 ${MAKER_NAME}"

; $0 = 1 when the installed tarnwick.exe runs, 2 when its command line does. Windows keeps a
; running program's file from being opened for writing, whichever copy or window of it runs;
; replacing one while the other runs would leave the two of different versions.
!macro TARNWICK_RUNS un
Function ${un}FileInUse  ; $1: a file; $0 = 1 when it is there and cannot be written
  StrCpy $0 0
  IfFileExists "$1" 0 done
  ClearErrors
  FileOpen $1 "$1" a
  ${If} ${Errors}
    StrCpy $0 1
  ${Else}
    FileClose $1
  ${EndIf}
done:
FunctionEnd

Function ${un}TarnwickRuns
  StrCpy $1 "$INSTDIR\tarnwick.exe"
  Call ${un}FileInUse
  ${IfThen} $0 == 1 ${|} Return ${|}
  StrCpy $1 "$INSTDIR\tarnwick-cli.exe"
  Call ${un}FileInUse
  ${IfThen} $0 == 1 ${|} StrCpy $0 2 ${|}
FunctionEnd
!macroend
!insertmacro TARNWICK_RUNS ""
!insertmacro TARNWICK_RUNS "un."

; Returns only once Tarnwick is not running; otherwise ends the run with EXIT_IN_USE. An
; update first waits for the program that started it to close (30 s); otherwise, and after
; that, the user is asked to close it.
!macro WAIT_FOR_TARNWICK un
Function ${un}WaitForTarnwick
  ${If} $update == 1
    StrCpy $2 0
    ${Do}
      Call ${un}TarnwickRuns
      ${IfThen} $0 == 0 ${|} Return ${|}
      ${IfThen} $2 >= 60 ${|} ${ExitDo} ${|}
      Sleep 500
      IntOp $2 $2 + 1
    ${Loop}
  ${EndIf}
  ${Do}
    Call ${un}TarnwickRuns
    ${IfThen} $0 == 0 ${|} Return ${|}
    ${If} $quiet_boxes == 1
    ${OrIf} ${Silent}
      ${Break}
    ${EndIf}
    ${If} $0 == 2
      MessageBox MB_RETRYCANCEL|MB_ICONINFORMATION "$(TW_CliRunning)" IDRETRY retry
    ${Else}
      MessageBox MB_RETRYCANCEL|MB_ICONINFORMATION "$(TW_Running)" IDRETRY retry
    ${EndIf}
    ${Break}
  retry:
  ${Loop}
  !if "${un}" == "un."
    Call un.RemoveCopyLater
  !endif
  SetErrorLevel ${EXIT_IN_USE}
  Quit
FunctionEnd
!macroend
!insertmacro WAIT_FOR_TARNWICK ""
!insertmacro WAIT_FOR_TARNWICK "un."

; Windows 11's own File Explorer menu shows only commands of packaged programs: the sparse
; package gives the installed program that identity, with the install folder as its files.
; Only for the current user (a package cannot be registered for every user this way); the
; classic entry serves Windows 10, every other case, and "Show more options". A failure (an
; untrusted signature, no PowerShell) leaves the classic entry alone to do the work.
!define POWERSHELL '"$SYSDIR\WindowsPowerShell\v1.0\powershell.exe" -NoProfile -NonInteractive -ExecutionPolicy Bypass -Command'
!macro SPARSE_PACKAGE un
Function ${un}RemoveSparsePackage
  ${IfNot} ${AtLeastBuild} 22000
  ${OrIf} $all_users == 1
    Return
  ${EndIf}
  nsExec::Exec `${POWERSHELL} "Get-AppxPackage -Name '${IDENTITY}' | Remove-AppxPackage"`
  Pop $0
FunctionEnd
!macroend
!insertmacro SPARSE_PACKAGE ""
!insertmacro SPARSE_PACKAGE "un."

Function AddSparsePackage
  ${IfNot} ${AtLeastBuild} 22000
  ${OrIf} $all_users == 1
    Return
  ${EndIf}
  ${WordReplace} "$INSTDIR" "'" "''" "+" $1  ; a quote in a folder's name, as PowerShell reads it
  nsExec::Exec `${POWERSHELL} "Add-AppxPackage -Path '$1\tarnwick.msix' -ExternalLocation '$1'"`
  Pop $0
FunctionEnd

; $0 = 1 when the token of process $0 (-1: this one) is elevated, 0 when not, "" when
; that cannot be told.
!macro IS_ELEVATED un
Function ${un}IsElevated
  ${If} $0 == -1
    System::Call "kernel32::GetCurrentProcess() p .r1"
    StrCpy $3 0
  ${Else}
    System::Call "kernel32::OpenProcess(i 0x1000, i 0, i r0) p .r1"  ; PROCESS_QUERY_LIMITED_INFORMATION
    StrCpy $3 1
  ${EndIf}
  StrCpy $0 ""
  ${IfThen} $1 P= 0 ${|} Return ${|}
  System::Call "advapi32::OpenProcessToken(p r1, i 8, *p .r2) i .r4"  ; TOKEN_QUERY
  ${If} $4 != 0
    System::Call "advapi32::GetTokenInformation(p r2, i 20, *i .r5, i 4, *i .r6) i .r4"  ; TokenElevation
    ${If} $4 != 0
      IntOp $0 $5 & 1
    ${EndIf}
    System::Call "kernel32::CloseHandle(p r2)"
  ${EndIf}
  ${IfThen} $3 == 1 ${|} System::Call "kernel32::CloseHandle(p r1)" ${|}
FunctionEnd
!macroend
!insertmacro IS_ELEVATED ""
!insertmacro IS_ELEVATED "un."

; Starts the installed program with the rights of the user's desktop, not the installer's:
; an installer run as administrator hands the start to File Explorer, which runs it as the
; user.
Function StartTarnwick
  SetOutPath "$TEMP"  ; the program's working folder: not one the user may want to delete
  StrCpy $0 -1
  Call IsElevated
  StrCpy $7 $0
  System::Call "user32::GetShellWindow() p .r1"
  StrCpy $8 ""
  ${If} $1 P<> 0
    System::Call "user32::GetWindowThreadProcessId(p r1, *i .r0) i"
    Call IsElevated
    StrCpy $8 $0
  ${EndIf}
  ${If} $7 == 1
  ${AndIf} $8 == 0
    Exec '"$WINDIR\explorer.exe" "$INSTDIR\tarnwick.exe"'
  ${Else}
    Exec '"$INSTDIR\tarnwick.exe"'
  ${EndIf}
FunctionEnd

; $2 = the ProductName in the version resource of file $1 (US English, in the code page NSIS
; writes or in Unicode), or "" when it has none.
Function ProductNameOf
  StrCpy $2 ""
  System::Call "version::GetFileVersionInfoSizeW(w r1, *i 0) i .r3"
  ${IfThen} $3 = 0 ${|} Return ${|}
  System::Alloc $3
  Pop $4
  System::Call "version::GetFileVersionInfoW(w r1, i 0, i r3, p r4) i .r5"
  ${If} $5 <> 0
    ${ForEach} $6 0 1 + 1
      ${If} $6 = 0
        StrCpy $7 "040904e4"
      ${Else}
        StrCpy $7 "040904b0"
      ${EndIf}
      System::Call "version::VerQueryValueW(p r4, w '\StringFileInfo\$7\ProductName', *p .r8, *i .r9) i .r5"
      ${If} $5 <> 0
      ${AndIf} $9 > 0
        System::Call "kernel32::lstrcpynW(w .r2, p r8, i ${NSIS_MAX_STRLEN}) p"
        ${ExitFor}
      ${EndIf}
    ${Next}
  ${EndIf}
  System::Free $4
FunctionEnd

; $0 = 1 when the "Apps & features" entry names folder $1 (any spelling Windows would read
; the same), else 0.
!macro ENTRY_NAMES un
Function ${un}EntryNames
  StrCpy $0 0
  ReadRegStr $2 SHCTX "${UNINSTALL_KEY}" "InstallLocation"
  ${IfThen} $2 == "" ${|} Return ${|}
  ${IfThen} $2 == $1 ${|} StrCpy $0 1 ${|}
  ${If} $0 == 0
    GetFullPathName /SHORT $3 $1
    GetFullPathName /SHORT $4 $2
    ${If} $3 != ""
    ${AndIf} $3 == $4
      StrCpy $0 1
    ${EndIf}
  ${EndIf}
FunctionEnd
!macroend
!insertmacro ENTRY_NAMES ""
!insertmacro ENTRY_NAMES "un."

; Installs only where nothing of the user's can be replaced, and so later uninstalled: a
; folder that is not there or is empty, or a Tarnwick installation, which either the
; "Apps & features" entry names or, when a later installation elsewhere took the entry, its
; uninstaller's version resource names. Otherwise the run ends with EXIT_NOT_OUR_FOLDER.
Function CheckFolder
  ${DirState} "$INSTDIR" $0
  ${IfThen} $0 != 1 ${|} Return ${|}
  StrCpy $1 "$INSTDIR"
  Call EntryNames
  ${IfThen} $0 == 1 ${|} Return ${|}
  StrCpy $1 "$INSTDIR\uninstall.exe"
  Call ProductNameOf
  ${IfThen} $2 S== "Tarnwick" ${|} Return ${|}
  ${If} $quiet_boxes != 1
    MessageBox MB_OK|MB_ICONSTOP "$(TW_NotOurFolder)" /SD IDOK
  ${EndIf}
  SetErrorLevel ${EXIT_NOT_OUR_FOLDER}
  Quit
FunctionEnd

Function SkipInUpdate
  ${IfThen} $update == 1 ${|} Abort ${|}
FunctionEnd

!macro READ_OPTIONS
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/SILENT" $R1
  ${IfNot} ${Errors}
    SetSilent silent
  ${EndIf}
  ClearErrors
  ${GetOptions} $R0 "/SUPPRESSMSGBOXES" $R1
  ${IfNot} ${Errors}
    StrCpy $quiet_boxes 1
  ${EndIf}
  ClearErrors
  ${GetOptions} $R0 "/UPDATE=" $R1
  ${If} $R1 == 1
    StrCpy $update 1
  ${EndIf}
  ClearErrors
  ${GetOptions} $R0 "/ALLUSERS" $R1
  ${IfNot} ${Errors}
    StrCpy $all_users 1
  ${EndIf}
!macroend

; For every user: only with an administrator's rights (else EXIT_NOT_ADMINISTRATOR), and from
; then on the shell folders and SHCTX are the machine's.
!macro FOR_ALL_USERS un
Function ${un}ForAllUsers
  ${IfThen} $all_users != 1 ${|} Return ${|}
  StrCpy $0 -1
  Call ${un}IsElevated
  ${If} $0 != 1
    ${If} $quiet_boxes != 1
      MessageBox MB_OK|MB_ICONSTOP "$(TW_NeedsAdministrator)" /SD IDOK
    ${EndIf}
    SetErrorLevel ${EXIT_NOT_ADMINISTRATOR}
    Quit
  ${EndIf}
  SetShellVarContext all
FunctionEnd
!macroend
!insertmacro FOR_ALL_USERS ""
!insertmacro FOR_ALL_USERS "un."

Function .onInit
  !insertmacro READ_OPTIONS
  StrCpy $R3 "$LOCALAPPDATA\Programs\Tarnwick"  ; the user's, read before the context changes
  StrCpy $R2 $R3
  StrCpy $scope_text "$(TW_ForYouAlone)"
  Call ForAllUsers
  ${If} $all_users == 1
    StrCpy $R2 "$PROGRAMFILES64\Tarnwick"
    StrCpy $scope_text "$(TW_ForEveryone)"
  ${EndIf}
  ; Without /D, and always in an update, it installs over the installation the entry names.
  ${If} $update == 1
  ${OrIf} $INSTDIR == $R3
    ReadRegStr $R1 SHCTX "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $R1 != ""
      StrCpy $INSTDIR $R1
    ${Else}
      StrCpy $INSTDIR $R2
    ${EndIf}
  ${EndIf}
  Call CheckFolder
FunctionEnd

Section "Tarnwick"
  Call WaitForTarnwick
  ; File Explorer lets go of the command's DLL once its package is gone.
  Call RemoveSparsePackage
  SetOutPath "$INSTDIR"
  ; A DLL File Explorer still has loaded stays as it is: the command it holds does the same.
  SetOverwrite try
  File "/oname=tarnwick-shell.dll" "${SHELL_DLL}"
  SetOverwrite on
  ClearErrors
  File "/oname=tarnwick.exe" "${PROGRAM}"
  File "/oname=tarnwick-cli.exe" "${CLI}"
  File "/oname=tarnwick.msix" "${MSIX}"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  ${If} ${Errors}
    DetailPrint "$INSTDIR could not be written."
    SetErrorLevel 2
    Abort
  ${EndIf}
  CreateShortCut "$SMPROGRAMS\Tarnwick.lnk" "$INSTDIR\tarnwick.exe" "" "$INSTDIR\tarnwick.exe" 0

  WriteRegStr SHCTX "${APP_PATH_KEY}" "" "$INSTDIR\tarnwick.exe"
  WriteRegStr SHCTX "${APP_PATH_KEY}" "Path" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "Tarnwick"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "${MAKER_NAME}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" '"$INSTDIR\tarnwick.exe",0'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  ; "_?=" keeps NSIS from making its own copy, which it schedules for deletion at restart (an
  ; administrator's right); the uninstaller makes one of its own instead (un.GoOnFromCopy).
  StrCpy $1 ""
  ${IfThen} $all_users == 1 ${|} StrCpy $1 "/ALLUSERS " ${|}
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe" $1_?=$INSTDIR'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S $1_?=$INSTDIR'
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
  ; For every user the File Explorer entry is the machine's, in the installer's language; the
  ; program then leaves the users' own registry alone (see the README).
  ${If} $all_users == 1
    WriteRegStr HKLM "${VERB_KEY_FILES}" "MUIVerb" "$(TW_Verb)"
    WriteRegStr HKLM "${VERB_KEY_FILES}" "Icon" '"$INSTDIR\tarnwick.exe",0'
    WriteRegStr HKLM "${VERB_KEY_FILES}\command" "" '"$INSTDIR\tarnwick.exe" "%1"'
    WriteRegStr HKLM "${VERB_KEY_FOLDERS}" "MUIVerb" "$(TW_Verb)"
    WriteRegStr HKLM "${VERB_KEY_FOLDERS}" "Icon" '"$INSTDIR\tarnwick.exe",0'
    WriteRegStr HKLM "${VERB_KEY_FOLDERS}\command" "" '"$INSTDIR\tarnwick.exe" "%1"'
  ${EndIf}
  ${GetSize} "$INSTDIR" "/S=0K /G=0" $0 $1 $2
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" $0
  Call AddSparsePackage
SectionEnd

Function .onInstSuccess
  ${IfThen} $update == 1 ${|} Call StartTarnwick ${|}
FunctionEnd

; $0 = 1 when folders $1 and $2 are the same (any spelling Windows reads the same), else 0.
Function un.SameFolder
  StrCpy $0 0
  ${Do}
    StrCpy $3 $1 1 -1
    ${IfThen} $3 != "\" ${|} ${ExitDo} ${|}
    StrCpy $1 $1 -1
  ${Loop}
  ${Do}
    StrCpy $3 $2 1 -1
    ${IfThen} $3 != "\" ${|} ${ExitDo} ${|}
    StrCpy $2 $2 -1
  ${Loop}
  ${If} $1 == $2
    StrCpy $0 1
    Return
  ${EndIf}
  GetFullPathName /SHORT $3 $1
  GetFullPathName /SHORT $4 $2
  ${If} $3 != ""
  ${AndIf} $3 == $4
    StrCpy $0 1
  ${EndIf}
FunctionEnd

; $0 = 1 when name $1 holds only ASCII letters, digits, ".", "_", "-" and "~": nothing a
; command line could read as anything but the name.
Function un.PlainName
  StrCpy $0 0
  ${IfThen} $1 == "" ${|} Return ${|}
  StrCpy $2 0
  ${Do}
    StrCpy $3 $1 1 $2
    ${IfThen} $3 == "" ${|} ${ExitDo} ${|}
    StrCpy $4 0
    ${Do}
      StrCpy $5 "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789._-~" 1 $4
      ${IfThen} $5 == "" ${|} Return ${|}
      ${IfThen} $5 S== $3 ${|} ${ExitDo} ${|}
      IntOp $4 $4 + 1
    ${Loop}
    IntOp $2 $2 + 1
  ${Loop}
  StrCpy $0 1
FunctionEnd

; Run from the install folder, the uninstaller cannot delete itself, so it goes on from a copy
; in a folder of its own in the temporary folder and ends; the copy deletes the installation
; and has that folder removed once it ends (un.RemoveCopyLater). Returns only when no copy
; could be started: the uninstall then goes on in place.
Function un.GoOnFromCopy
  Call un.WaitForTarnwick  ; refuses before anything is copied
  GetTempFileName $1
  ${IfThen} $1 == "" ${|} Return ${|}
  Delete $1
  ClearErrors
  CreateDirectory $1
  CopyFiles /SILENT "$EXEPATH" "$1\$EXEFILE"
  ${IfNot} ${Errors}
    ${GetParameters} $2
    SetOutPath "$TEMP"  ; not the install folder, which the copy must be able to remove
    Exec '"$1\$EXEFILE" $2 _?=$INSTDIR'
    ${IfNot} ${Errors}
      SetErrorLevel 0
      Quit
    ${EndIf}
  ${EndIf}
  Delete "$1\$EXEFILE"
  RMDir $1
FunctionEnd

; Notes the folder of this copy when it lies directly in the temporary folder under a plain
; name (this uninstaller's own, or the one NSIS makes when started without "_?="), so that
; un.RemoveCopyLater can remove it.
Function un.NoteOwnCopy
  ${GetParent} "$EXEDIR" $1
  StrCpy $2 "$TEMP"
  Call un.SameFolder
  ${IfThen} $0 != 1 ${|} Return ${|}
  StrCpy $1 "$TEMP" 2
  ${IfThen} $1 == "\\" ${|} Return ${|}  ; the command interpreter cannot work in a share
  ${GetFileName} "$EXEDIR" $1
  StrCpy $6 $1
  StrCpy $2 $1 "" -4
  ${IfThen} $2 != ".tmp" ${|} Return ${|}
  Call un.PlainName
  ${IfThen} $0 != 1 ${|} Return ${|}
  StrCpy $1 $EXEFILE
  Call un.PlainName
  ${IfThen} $0 != 1 ${|} Return ${|}
  StrCpy $copy_dir $6
FunctionEnd

; Starts, once, a command interpreter without a window that waits for this copy to end, then
; deletes it and removes its folder. It works in the temporary folder and names only the copy
; and its folder, by plain relative names; it gives up after about a minute.
Function un.RemoveCopyLater
  ${IfThen} $copy_dir == "" ${|} Return ${|}
  StrCpy $1 '"$SYSDIR\cmd.exe" /d /v:off /c for /l %i in (1,1,60) do (del /f /q "$copy_dir\$EXEFILE" & rmdir "$copy_dir" & (if not exist "$copy_dir\" exit 0) & ping -n 2 127.0.0.1) >nul 2>&1'
  StrCpy $copy_dir ""
  System::Alloc 104  ; STARTUPINFOW
  Pop $2
  System::Call "*$2(i 104)"
  System::Alloc 24   ; PROCESS_INFORMATION
  Pop $3
  ; CREATE_NO_WINDOW: no console flashes up
  System::Call 'kernel32::CreateProcessW(p 0, w r1, p 0, p 0, i 0, i 0x08000000, p 0, w "$TEMP", p r2, p r3) i .r4'
  ${If} $4 <> 0
    System::Call "*$3(p .r5, p .r6)"
    System::Call "kernel32::CloseHandle(p r5)"
    System::Call "kernel32::CloseHandle(p r6)"
  ${EndIf}
  System::Free $3
  System::Free $2
FunctionEnd

Function un.onInit
  !insertmacro READ_OPTIONS
  Call un.ForAllUsers
  StrCpy $1 "$EXEDIR"
  StrCpy $2 "$INSTDIR"
  Call un.SameFolder
  StrCpy $in_place $0
  ${If} $in_place == 1
    Call un.GoOnFromCopy
  ${Else}
    Call un.NoteOwnCopy
  ${EndIf}
FunctionEnd

Function un.onGUIEnd
  Call un.RemoveCopyLater
FunctionEnd

Function un.onUninstSuccess
  ${If} ${Silent}
    Call un.RemoveCopyLater
  ${EndIf}
FunctionEnd

Function un.onUninstFailed
  ${If} ${Silent}
    Call un.RemoveCopyLater
  ${EndIf}
FunctionEnd

; Only what the installer put there goes; a folder that holds anything else stays. The entry,
; the shortcut, the settings and the File Explorer verbs belong to the installation the entry
; names: uninstalling an older one elsewhere leaves them to it.
Section "Uninstall"
  Call un.WaitForTarnwick
  StrCpy $1 "$INSTDIR"
  Call un.EntryNames
  ReadRegStr $2 SHCTX "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 == 1
  ${OrIf} $2 == ""
  ${OrIfNot} ${FileExists} "$2\uninstall.exe"
    Call un.RemoveSparsePackage
    ${If} $all_users == 1
      ; The machine's entry; each user's settings are that user's.
      DeleteRegKey HKLM "${VERB_KEY_FILES}"
      DeleteRegKey HKLM "${VERB_KEY_FOLDERS}"
    ${Else}
      ; The program knows what it keeps in the registry: its settings and its File Explorer verbs.
      ClearErrors
      ExecWait '"$INSTDIR\tarnwick.exe" --unregister' $0
      ${If} ${Errors}
      ${OrIf} $0 != 0
        DeleteRegKey HKCU "${SETTINGS_KEY}"
        DeleteRegKey HKCU "${VERB_KEY_FILES}"
        DeleteRegKey HKCU "${VERB_KEY_FOLDERS}"
      ${EndIf}
    ${EndIf}
    Delete "$SMPROGRAMS\Tarnwick.lnk"
    DeleteRegKey SHCTX "${APP_PATH_KEY}"
    DeleteRegKey SHCTX "${UNINSTALL_KEY}"
  ${EndIf}
  Delete "$INSTDIR\tarnwick.exe"
  Delete "$INSTDIR\tarnwick-cli.exe"
  Delete "$INSTDIR\tarnwick.msix"
  ; File Explorer lets go of the command's DLL a moment after its package goes.
  StrCpy $3 0
  ${Do}
    Delete "$INSTDIR\tarnwick-shell.dll"
    ${IfNot} ${FileExists} "$INSTDIR\tarnwick-shell.dll"
    ${OrIf} $3 >= 20
      ${ExitDo}
    ${EndIf}
    Sleep 250
    IntOp $3 $3 + 1
  ${Loop}
  ; The installed uninstaller that started this copy may take a moment to end.
  StrCpy $3 0
  ${Do}
    Delete "$INSTDIR\uninstall.exe"
    ${IfNot} ${FileExists} "$INSTDIR\uninstall.exe"
    ${OrIf} $in_place == 1
    ${OrIf} $3 >= 50
      ${ExitDo}
    ${EndIf}
    Sleep 200
    IntOp $3 $3 + 1
  ${Loop}
  RMDir "$INSTDIR"
SectionEnd
