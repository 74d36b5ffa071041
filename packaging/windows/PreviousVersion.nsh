; Installing over an installed Keystrel, of this version or an older one:
; its own uninstaller runs first, silently and in place, so that nothing of
; the old version stays behind (a file the new one no longer has, an old
; shortcut or entry). Where it fails, the install stops there with its
; status, and the old version is left to its uninstaller.
!ifndef KEYSTREL_PREVIOUS_VERSION
!define KEYSTREL_PREVIOUS_VERSION

LangString KeystrelRemovingPrevious ${LANG_ENGLISH} "Uninstalling the Keystrel installed in"
LangString KeystrelRemovingPrevious ${LANG_SIMPCHINESE} "正在卸载已安装的 Keystrel："
LangString KeystrelPreviousStays ${LANG_ENGLISH} "The installed Keystrel could not be uninstalled. Close it and try again, or uninstall it from Apps & features first."
LangString KeystrelPreviousStays ${LANG_SIMPCHINESE} "无法卸载已安装的 Keystrel。请关闭它后重试，或先在“应用和功能”中卸载它。"

; UNINSTALL_KEY, UNINSTALLER: as the installer defines them.
!macro KeystrelRemovePreviousVersion
  ReadRegStr $R0 SHCTX "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $R0 != ""
  ${AndIf} ${FileExists} "$R0\${UNINSTALLER}"
    DetailPrint "$(KeystrelRemovingPrevious) $R0"
    ; _?= keeps it in place, so that it is waited for (it cannot remove
    ; itself then: that is done here).
    ClearErrors
    ExecWait '"$R0\${UNINSTALLER}" /S _?=$R0' $R1
    ${If} ${Errors}
      StrCpy $R1 1
    ${EndIf}
    ${If} $R1 != 0
      DetailPrint "$(KeystrelPreviousStays)"
      MessageBox MB_OK|MB_ICONSTOP "$(KeystrelPreviousStays)" /SD IDOK
      SetErrorLevel $R1
      Abort "$(KeystrelPreviousStays)"
    ${EndIf}
    Delete "$R0\${UNINSTALLER}"
    RMDir "$R0"
  ${EndIf}
!macroend

!endif
