; The Windows installer of kvcvrt: a per-user install that needs no
; administrator rights. It puts the window and kvcvrt-cli.exe into the user's
; programs folder, adds a Start-menu entry, opens .kv5 model files in the
; window, and on request adds kvcvrt-cli.exe to the user's PATH. Its
; uninstaller takes all of it away again, with the folders the file dialogs
; remembered; it first waits until no kvcvrt runs, and it never reports success
; while a file of ours is left.
;
; Made by scripts/windows.sh:
;   makensis -DVERSION=x.y.z -DBIN=<folder of the .exe> -DDOC=<licence texts> -DFONTS=<font folder>
;            -DLICENCE_PAGE=<text> -DICON=<.ico> -DOUTFILE=<setup.exe> kvcvrt.nsi
; Silent use: setup.exe /S [/ADDTOPATH] [/D=folder]; uninstall.exe /S
; Exit status of setup.exe: 0 done, 3 installed but the PATH not changed (too long).
; Exit status of uninstall.exe: 0 done, 2 nothing removed (kvcvrt still open) or
; a file could not be removed (then the uninstaller stays to be run again).

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestDPIAware true

!include MUI2.nsh
!include FileFunc.nsh
!include WordFunc.nsh
!include LogicLib.nsh
!include WinMessages.nsh

!define APP kvcvrt
!define PROGID "kvcvrt.model"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\kvcvrt"
!define APP_KEY "Software\kvcvrt"
!define CLASSES "Software\Classes"
; Held by every running kvcvrt and kvcvrt-cli (kRunningMark in the program).
!define RUNNING_MARK "kvcvrt.running"
; Where Qt's file dialogs remember their last folders.
!define QT_KEY "Software\QtProject"

Name "kvcvrt ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\kvcvrt"
InstallDirRegKey HKCU "${APP_KEY}" "InstallFolder"
BrandingText "kvcvrt ${VERSION}"
VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "kvcvrt"
VIAddVersionKey /LANG=1033 "FileDescription" "kvcvrt ${VERSION} setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (c) 2026 the kvcvrt developers. MIT License."

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_LICENSEPAGE_TEXT_TOP "kvcvrt is free software under the MIT License; the parts it is built with have licences of their own."
!define MUI_COMPONENTSPAGE_NODESC
!define MUI_FINISHPAGE_RUN "$INSTDIR\bin\kvcvrt.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Open kvcvrt"

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_LICENSE "${LICENCE_PAGE}"
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Section "kvcvrt (the window and kvcvrt-cli)" SecMain
  SectionIn RO
  SetShellVarContext current
  SetOutPath "$INSTDIR\bin"
  File "${BIN}\kvcvrt.exe"
  File "${BIN}\kvcvrt-cli.exe"
  SetOutPath "$INSTDIR\share\doc\kvcvrt"
  File "${DOC}\*.txt"
  SetOutPath "$INSTDIR\share\kvcvrt\fonts"  ; the font of the pictures, found beside the programs
  File "${FONTS}\DejaVuSans.ttf"
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateShortcut "$SMPROGRAMS\kvcvrt.lnk" "$INSTDIR\bin\kvcvrt.exe" "" "$INSTDIR\bin\kvcvrt.exe" 0 \
    SW_SHOWNORMAL "" "Put matrix text into the period data file of a groundwater model"

  ; .kv5: a model description opens in the window, which takes the path as its argument.
  ; Another program's claim on .kv5 stays; kvcvrt is then offered under "Open with".
  WriteRegStr HKCU "${CLASSES}\${PROGID}" "" "kvcvrt model description"
  WriteRegStr HKCU "${CLASSES}\${PROGID}\DefaultIcon" "" "$INSTDIR\bin\kvcvrt.exe,0"
  WriteRegStr HKCU "${CLASSES}\${PROGID}\shell\open\command" "" '"$INSTDIR\bin\kvcvrt.exe" "%1"'
  WriteRegStr HKCU "${CLASSES}\.kv5\OpenWithProgids" "${PROGID}" ""
  ReadRegStr $0 HKCU "${CLASSES}\.kv5" ""
  ${If} $0 == ""
    WriteRegStr HKCU "${CLASSES}\.kv5" "" "${PROGID}"
  ${EndIf}
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'

  WriteRegStr HKCU "${APP_KEY}" "InstallFolder" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "kvcvrt"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "kvcvrt developers"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\bin\kvcvrt.exe,0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

; The user's own PATH into $R8, and $R9 = 1 when it can be changed safely: when
; it is absent ($R8 empty) or a string short enough for this installer's strings
; (NSIS_MAX_STRLEN characters with the end mark, and room for a ";" on each side
; while it is searched). A longer PATH does not fit them, and reading it gives an
; empty string: written back, that would lose the user's PATH. It is left alone.
!macro ReadUserPath un
Function ${un}ReadUserPath
  StrCpy $R9 1
  ClearErrors
  ReadRegStr $R8 HKCU "Environment" "Path"
  ${If} ${Errors}
    StrCpy $R8 ""
    StrCpy $R7 0  ; the value was not read: is there one?
    ${Do}
      EnumRegValue $R6 HKCU "Environment" $R7
      ${IfThen} $R6 == "Path" ${|} StrCpy $R9 0 ${|}  ; names compare without case
      IntOp $R7 $R7 + 1
    ${LoopUntil} $R6 == ""
  ${Else}
    StrLen $R7 $R8
    ${IfThen} $R7 > ${PATH_ROOM} ${|} StrCpy $R9 0 ${|}
  ${EndIf}
FunctionEnd
!macroend
!define /math PATH_ROOM ${NSIS_MAX_STRLEN} - 3
!insertmacro ReadUserPath ""
!insertmacro ReadUserPath "un."

Section /o "Add kvcvrt-cli to my PATH" SecPath
  Call ReadUserPath
  ${If} $R9 == 1
    ClearErrors
    ${WordFind} ";$R8;" ";$INSTDIR\bin;" "E+1{" $1
    ${IfNot} ${Errors}
      Return  ; there already
    ${EndIf}
    StrLen $1 "$R8;$INSTDIR\bin"
    ${IfThen} $1 > ${PATH_ROOM} ${|} StrCpy $R9 0 ${|}
  ${EndIf}
  ${If} $R9 != 1
    DetailPrint "Your PATH was left as it is: it is too long to be changed here."
    MessageBox MB_ICONEXCLAMATION|MB_OK "Your PATH is too long for this installer to change it safely, so it was left as it is and kvcvrt-cli was not added to it. To run kvcvrt-cli by name, add $INSTDIR\bin to your PATH by hand." /SD IDOK
    SetErrorLevel 3
    Return
  ${EndIf}
  ${If} $R8 == ""
    WriteRegExpandStr HKCU "Environment" "Path" "$INSTDIR\bin"
  ${Else}
    WriteRegExpandStr HKCU "Environment" "Path" "$R8;$INSTDIR\bin"
  ${EndIf}
  WriteRegDWORD HKCU "${APP_KEY}" "AddedToPath" 1
  SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=2000
SectionEnd

Function .onInit
  ; /ADDTOPATH on the command line chooses the PATH entry in a silent install.
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/ADDTOPATH" $1
  ${IfNot} ${Errors}
    SectionSetFlags ${SecPath} ${SF_SELECTED}
  ${EndIf}
FunctionEnd

; Waits until no kvcvrt runs: the user closes it and retries, or cancels, and
; then nothing is removed. A silent uninstall does not wait.
Function un.onInit
  check:
    System::Call 'kernel32::OpenMutexW(i 0x00100000, i 0, w "${RUNNING_MARK}") p .r0'
    ${If} $0 = 0
      Return
    ${EndIf}
    System::Call 'kernel32::CloseHandle(p r0)'
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "kvcvrt is still open. Close every kvcvrt window and kvcvrt-cli, then choose Retry. Cancel leaves kvcvrt installed." /SD IDCANCEL IDRETRY check
    SetErrorLevel 2
    Quit
FunctionEnd

Section "Uninstall"
  SetShellVarContext current
  ReadRegDWORD $0 HKCU "${APP_KEY}" "AddedToPath"
  Call un.ReadUserPath
  ${If} $0 == 1
  ${AndIf} $R9 != 1
    MessageBox MB_ICONEXCLAMATION|MB_OK "Your PATH is too long for this uninstaller to change it safely, so it was left as it is. Take $INSTDIR\bin out of it by hand." /SD IDOK
  ${ElseIf} $0 == 1
    ; Takes out our folder wherever it stands in the list, and nothing else.
    StrCpy $1 $R8
    ${un.WordReplace} ";$1;" ";$INSTDIR\bin;" ";" "+" $2
    StrCpy $2 $2 "" 1   ; the ";" put in front
    StrCpy $2 $2 -1     ; and behind
    ${If} $2 == ""
      DeleteRegValue HKCU "Environment" "Path"
    ${Else}
      WriteRegExpandStr HKCU "Environment" "Path" "$2"
    ${EndIf}
    SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=2000
  ${EndIf}

  ReadRegStr $0 HKCU "${CLASSES}\.kv5" ""
  ${If} $0 == "${PROGID}"
    DeleteRegValue HKCU "${CLASSES}\.kv5" ""
  ${EndIf}
  DeleteRegValue HKCU "${CLASSES}\.kv5\OpenWithProgids" "${PROGID}"
  DeleteRegKey /ifempty HKCU "${CLASSES}\.kv5\OpenWithProgids"
  DeleteRegKey /ifempty HKCU "${CLASSES}\.kv5"
  DeleteRegKey HKCU "${CLASSES}\${PROGID}"
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'

  Delete "$SMPROGRAMS\kvcvrt.lnk"
  Delete "$INSTDIR\bin\kvcvrt.exe"
  Delete "$INSTDIR\bin\kvcvrt-cli.exe"
  RMDir "$INSTDIR\bin"
  Delete "$INSTDIR\share\doc\kvcvrt\*.txt"
  RMDir "$INSTDIR\share\doc\kvcvrt"
  RMDir "$INSTDIR\share\doc"
  Delete "$INSTDIR\share\kvcvrt\fonts\DejaVuSans.ttf"
  RMDir "$INSTDIR\share\kvcvrt\fonts"
  RMDir "$INSTDIR\share\kvcvrt"
  RMDir "$INSTDIR\share"
  ; A program file still in use stays: say so, and keep the uninstaller to run again.
  ${If} ${FileExists} "$INSTDIR\bin\*.exe"
    SetErrorLevel 2
    MessageBox MB_ICONSTOP|MB_OK "Some files of kvcvrt in $INSTDIR\bin could not be removed, because a program still uses them. Close kvcvrt and kvcvrt-cli, then run this uninstaller again." /SD IDOK
    Abort "Some files of kvcvrt could not be removed."
  ${EndIf}
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"

  ; The folders the file dialogs remembered; Qt keeps them for its programs in one key.
  DeleteRegKey HKCU "${QT_KEY}\OrganizationDefaults\FileDialog"
  DeleteRegKey /ifempty HKCU "${QT_KEY}\OrganizationDefaults"
  DeleteRegKey /ifempty HKCU "${QT_KEY}"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
  DeleteRegKey HKCU "${APP_KEY}"
SectionEnd
