; The installer of a sample driver package: it puts TIRNFuncts.exe and the
; generic module in place, gives the package's imaging devices their TWAIN
; data sources and takes them away again on uninstall.
;
;   makensis TIRNFuncts-setup.nsi          (TIRNFuncts.exe and zbxgnds2 beside it)
;   TIRNFuncts-setup.exe /S                (silent; exit status 0, or 2 when a call was
;                                           refused, after what it installed is taken away)
;   "<dir>\uninstall.exe" /S _?=<dir>      (waits for its calls: 0, or 2 when a call was
;                                           refused; then delete uninstall.exe and <dir>)
;
; Without _?= an NSIS uninstaller starts a copy of itself and returns at once,
; before its calls have run. Every call, its exit status and the lines of its
; run log go to $TEMP\sample-setup.log, beside the program's own run logs.
Unicode true
!include LogicLib.nsh

!ifndef TIRN_EXE
  !define TIRN_EXE "TIRNFuncts.exe"
!endif
!ifndef GENERIC_MODULE
  !define GENERIC_MODULE "zbxgnds2"
!endif
!ifndef OUTFILE
  !define OUTFILE "TIRNFuncts-setup.exe"
!endif
!ifndef DS_PREFIX
  !define DS_PREFIX "vrtk_"
!endif
; DEVICE_REMOVER: the driver package's own program that removes its devices,
; installed beside TIRNFuncts.exe and run by the uninstaller with
; DEVICE_REMOVER_ARGS before MRemoveDS (see the Uninstall section).
!define HARDWARE_ID "USB\VID_1234&PID_5678"
!define SOFTWARE_KEY "SOFTWARE\Sample Vendor\Sample Scanner"

Name "Sample Scanner"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\Sample Scanner"
; twain_32 is below the Windows directory.
RequestExecutionLevel admin

; The exit status of the first call that did not end with 0, else "".
Var Failed

; Runs the program with ARGS and records the call, its exit status and the
; lines of its run log, which the program writes to the pipe nsExec hands it
; (NSIS keeps the first 1023 characters). Status 0 says only that the call
; ran; 1 is a refused call, a wrong command line.
!macro TIRN_CALL ARGS
  nsExec::ExecToStack '"$INSTDIR\TIRNFuncts.exe" ${ARGS}'
  Pop $0 ; the exit status, or "error" when the program could not be started
  Pop $1 ; what it wrote
  FileOpen $2 "$TEMP\sample-setup.log" a
  FileSeek $2 0 END
  FileWrite $2 `${ARGS}$\t$0$\r$\n$1`
  FileClose $2
  ${If} $0 != 0
  ${AndIf} $Failed == ""
    StrCpy $Failed $0
  ${EndIf}
!macroend

; Removes a program that has just run, or the directory it ran in: either
; can stay in use a moment after the program ended (as under Wine). CMD is
; Delete or RMDir, PROBE what exists until it is gone. Waits up to 5 s.
!macro REMOVE_RAN CMD PATH PROBE
  StrCpy $3 0
  ${Do}
    ${CMD} "${PATH}"
    ${IfNot} ${FileExists} "${PROBE}"
    ${OrIf} $3 >= 50
      ${ExitDo}
    ${EndIf}
    IntOp $3 $3 + 1
    Sleep 100
  ${Loop}
!macroend

Section
  SetOutPath "$INSTDIR"
  File "/oname=TIRNFuncts.exe" "${TIRN_EXE}"
!ifdef DEVICE_REMOVER
  File "/oname=DeviceRemover.exe" "${DEVICE_REMOVER}"
!endif
  WriteUninstaller "$INSTDIR\uninstall.exe"
  SetOutPath "$WINDIR\twain_32"
  File "/oname=zbxgnds2" "${GENERIC_MODULE}"
  ; The calls start in the output directory: not in twain_32.
  SetOutPath "$INSTDIR"

  ; Every device of the package that is registered now gets a copy of the
  ; generic module; the one device whose driver staged its own data source
  ; gets that one.
  !insertmacro TIRN_CALL 'MAddDS ${DS_PREFIX} DeviceData InstallCLSID 1'
  ${If} $Failed == ""
    !insertmacro TIRN_CALL 'AddDS "${HARDWARE_ID}" ${DS_PREFIX} DeviceData InstallCLSID "${SOFTWARE_KEY}" 1'
  ${EndIf}
  ${If} $Failed != ""
    ; A refused call is a wrong command line in this script: take away what
    ; was installed and fail.
    SetOutPath "$TEMP"
    Delete "$WINDIR\twain_32\zbxgnds2"
    !insertmacro REMOVE_RAN Delete "$INSTDIR\TIRNFuncts.exe" "$INSTDIR\TIRNFuncts.exe"
    Delete "$INSTDIR\DeviceRemover.exe"
    Delete "$INSTDIR\uninstall.exe"
    !insertmacro REMOVE_RAN RMDir "$INSTDIR" "$INSTDIR\*.*"
    MessageBox MB_ICONSTOP "TIRNFuncts.exe ended with $Failed; see $TEMP\sample-setup.log." /SD IDOK
    SetErrorLevel 2
    Quit
  ${EndIf}
SectionEnd

Section "Uninstall"
  !insertmacro TIRN_CALL 'RemoveDS "${HARDWARE_ID}" ${DS_PREFIX} DeviceData InstallCLSID "${SOFTWARE_KEY}" 1'
  ; The driver's devices go before MRemoveDS, which keeps the data source of
  ; every device still listed, plugged in or not.
!ifdef DEVICE_REMOVER
  nsExec::ExecToStack '"$INSTDIR\DeviceRemover.exe" ${DEVICE_REMOVER_ARGS}'
  Pop $0
  Pop $1
!endif
  ; Takes the data sources of the devices that are gone.
  !insertmacro TIRN_CALL 'MRemoveDS ${DS_PREFIX} DeviceData InstallCLSID 1'
  Delete "$WINDIR\twain_32\zbxgnds2"
  !insertmacro REMOVE_RAN Delete "$INSTDIR\TIRNFuncts.exe" "$INSTDIR\TIRNFuncts.exe"
  !insertmacro REMOVE_RAN Delete "$INSTDIR\DeviceRemover.exe" "$INSTDIR\DeviceRemover.exe"
  ; Run in place (_?=), the uninstaller cannot delete itself: its caller does.
  Delete "$INSTDIR\uninstall.exe"
  SetOutPath "$TEMP"
  RMDir "$INSTDIR"
  ${If} $Failed != ""
    SetErrorLevel 2
  ${EndIf}
SectionEnd
