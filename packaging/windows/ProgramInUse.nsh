; Before anything of the program is replaced or removed, none of its files
; may be in use. A running Keystrel window of this user is asked to close
; (Keystrel.exe --quit-running, over its one-window channel) and waited for;
; what still holds a file then (keystrel-cli, a window of another session or
; user) is named, and the user may close it and retry. Otherwise nothing is
; done, and the installer or uninstaller stops with status 32
; (ERROR_SHARING_VIOLATION), which is also what a silent run returns.
; The program's files are those of KeystrelProgramFileChecks: one
; KeystrelCheckFile each, written by InstallerFiles.cmake.
!ifndef KEYSTREL_PROGRAM_IN_USE
!define KEYSTREL_PROGRAM_IN_USE

!define KEYSTREL_FILES_IN_USE 32 ; ERROR_SHARING_VIOLATION

Var KeystrelBusyFile

LangString KeystrelInUse ${LANG_ENGLISH} "Keystrel is running, or one of its files is in use:"
LangString KeystrelInUse ${LANG_SIMPCHINESE} "Keystrel 正在运行，或者它的文件正被使用："
LangString KeystrelCloseAndRetry ${LANG_ENGLISH} "Close Keystrel (and keystrel-cli), then choose Retry. Cancel changes nothing."
LangString KeystrelCloseAndRetry ${LANG_SIMPCHINESE} "请关闭 Keystrel（以及 keystrel-cli）后选择“重试”。选择“取消”则不做任何更改。"
LangString KeystrelAskingToClose ${LANG_ENGLISH} "Asking the running Keystrel window to close"
LangString KeystrelAskingToClose ${LANG_SIMPCHINESE} "正在请运行中的 Keystrel 窗口关闭"
LangString KeystrelNothingChanged ${LANG_ENGLISH} "Stopped: nothing was changed."
LangString KeystrelNothingChanged ${LANG_SIMPCHINESE} "已停止：没有做任何更改。"
LangString KeystrelNotAllRemoved ${LANG_ENGLISH} "Some of Keystrel's files could not be removed. Keystrel stays listed as installed, so that it can be uninstalled again."
LangString KeystrelNotAllRemoved ${LANG_SIMPCHINESE} "Keystrel 的部分文件无法删除。Keystrel 仍列为已安装，以便再次卸载。"

; Sets $KeystrelBusyFile to FILE unless one was found before, when FILE
; cannot be opened for writing and deletion (what replacing or removing it
; takes): a running program or library, or a file held open without sharing.
!macro KeystrelCheckFile FILE
  ${If} $KeystrelBusyFile == ""
  ${AndIf} ${FileExists} "${FILE}"
    ; GENERIC_WRITE | DELETE, shared with all, OPEN_EXISTING
    System::Call 'kernel32::CreateFileW(w "${FILE}", i 0x40010000, i 7, p 0, i 3, i 0, p 0) p.r0'
    ${If} $0 == -1
      StrCpy $KeystrelBusyFile "${FILE}"
    ${Else}
      System::Call 'kernel32::CloseHandle(p r0)'
    ${EndIf}
  ${EndIf}
!macroend

!macro KeystrelProgramInUseFunctions UN
Function ${UN}KeystrelFindBusyFile
  Push $0
  StrCpy $KeystrelBusyFile ""
  !insertmacro KeystrelProgramFileChecks
  Pop $0
FunctionEnd

; Returns once no file of the program is in use; otherwise stops everything.
Function ${UN}KeystrelFreeProgramFiles
  Push $0
  Push $1
  retry:
    Call ${UN}KeystrelFindBusyFile
    StrCmp $KeystrelBusyFile "" free
    ; A window of this user announces its channel there while it runs.
    ClearErrors
    EnumRegValue $0 HKCU "Software\Keystrel\Channel" 0
    ${If} $0 != ""
    ${AndIf} ${FileExists} "$INSTDIR\Keystrel.exe"
      DetailPrint "$(KeystrelAskingToClose)"
      ExecWait '"$INSTDIR\Keystrel.exe" --quit-running' $1
      Call ${UN}KeystrelFindBusyFile
      StrCmp $KeystrelBusyFile "" free
    ${EndIf}
    DetailPrint "$(KeystrelInUse) $KeystrelBusyFile"
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$(KeystrelInUse)$\r$\n$KeystrelBusyFile$\r$\n$\r$\n$(KeystrelCloseAndRetry)" /SD IDCANCEL IDRETRY retry
    SetErrorLevel ${KEYSTREL_FILES_IN_USE}
    Abort "$(KeystrelNothingChanged)"
  free:
  Pop $1
  Pop $0
FunctionEnd
!macroend

!endif
