; Explorer's right-click entries for Keystrel, on files and folders but not
; on the empty background of a folder, under the classes key of the user
; (of the machine when installed for all users), and the Send To entry.
; Nothing here names a file type: installing makes Keystrel the opener of
; none. Each selected item starts the command once ("%1"); the window gathers
; the starts of one command into one drop.
!ifndef KEYSTREL_EXPLORER_ENTRIES
!define KEYSTREL_EXPLORER_ENTRIES

!define KEYSTREL_CLASSES "Software\Classes"
!define KEYSTREL_SENDTO "$SENDTO\Keystrel.lnk"

!macro KeystrelVerb CLASS VERB TEXT OPTION
  WriteRegStr SHCTX "${KEYSTREL_CLASSES}\${CLASS}\shell\${VERB}" "" "${TEXT}"
  WriteRegStr SHCTX "${KEYSTREL_CLASSES}\${CLASS}\shell\${VERB}" "MUIVerb" "${TEXT}"
  WriteRegStr SHCTX "${KEYSTREL_CLASSES}\${CLASS}\shell\${VERB}" "Icon" "$INSTDIR\Keystrel.exe,0"
  ; Shown for up to 100 selected items, rather than 15.
  WriteRegStr SHCTX "${KEYSTREL_CLASSES}\${CLASS}\shell\${VERB}" "MultiSelectModel" "Player"
  WriteRegStr SHCTX "${KEYSTREL_CLASSES}\${CLASS}\shell\${VERB}\command" "" '"$INSTDIR\Keystrel.exe" ${OPTION} -- "%1"'
!macroend

!macro KeystrelAddExplorerEntries
  !insertmacro KeystrelVerb "*" "Keystrel.Encrypt" "用 Keystrel 加密" "--encrypt"
  !insertmacro KeystrelVerb "*" "Keystrel.Decrypt" "用 Keystrel 解密" "--decrypt"
  !insertmacro KeystrelVerb "Directory" "Keystrel.Encrypt" "用 Keystrel 加密" "--encrypt"
  !insertmacro KeystrelVerb "Directory" "Keystrel.Decrypt" "用 Keystrel 解密" "--decrypt"
  ; Send To starts the program once with every item, as a drop.
  ${IfNot} ${ShellVarContextAll}
    CreateShortCut "${KEYSTREL_SENDTO}" "$INSTDIR\Keystrel.exe"
  ${EndIf}
  ; Explorer reads the classes again.
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
!macroend

!macro KeystrelRemoveExplorerEntries
  DeleteRegKey SHCTX "${KEYSTREL_CLASSES}\*\shell\Keystrel.Encrypt"
  DeleteRegKey SHCTX "${KEYSTREL_CLASSES}\*\shell\Keystrel.Decrypt"
  DeleteRegKey SHCTX "${KEYSTREL_CLASSES}\Directory\shell\Keystrel.Encrypt"
  DeleteRegKey SHCTX "${KEYSTREL_CLASSES}\Directory\shell\Keystrel.Decrypt"
  ${IfNot} ${ShellVarContextAll}
    Delete "${KEYSTREL_SENDTO}"
  ${EndIf}
  ; Where running windows announce their channel (volatile), once unused.
  DeleteRegKey /ifempty HKCU "Software\Keystrel\Channel"
  DeleteRegKey /ifempty HKCU "Software\Keystrel"
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
!macroend

!endif
