; The installer of a sample driver package: it puts TIRNFuncts.exe and the
; generic module in place, gives the package's imaging devices their TWAIN
; data sources and takes them away again on uninstall.
;
;   makensis TIRNFuncts-setup.nsi        (TIRNFuncts.exe and zbxgnds2 beside it)
;   TIRNFuncts-setup.exe /S              (silent; exit status 0, or 2 when a call was refused)
;
; Every call's exit status goes to $TEMP\sample-setup.log, beside the
; program's own run logs.
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
!define HARDWARE_ID "USB\VID_1234&PID_5678"
!define SOFTWARE_KEY "SOFTWARE\Sample Vendor\Sample Scanner"

Name "Sample Scanner"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\Sample Scanner"
; twain_32 is below the Windows directory.
RequestExecutionLevel admin

; Runs the program with ARGS, records its exit status and stops the
; installation when the call was refused (status 1: a wrong command line).
; Status 0 says only that the call ran; what it did is in the run log.
!macro TIRN_CALL ARGS
  ClearErrors
  ExecWait '"$INSTDIR\TIRNFuncts.exe" ${ARGS}' $0
  ${If} ${Errors}
    StrCpy $0 "not started"
  ${EndIf}
  FileOpen $1 "$TEMP\sample-setup.log" a
  FileSeek $1 0 END
  FileWrite $1 `${ARGS}$\t$0$\r$\n`
  FileClose $1
  ${If} $0 != 0
    MessageBox MB_ICONSTOP `TIRNFuncts.exe ${ARGS} ended with $0.` /SD IDOK
    SetErrorLevel 2
    Quit
  ${EndIf}
!macroend

Section
  SetOutPath "$INSTDIR"
  File "/oname=TIRNFuncts.exe" "${TIRN_EXE}"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  SetOutPath "$WINDIR\twain_32"
  File "/oname=zbxgnds2" "${GENERIC_MODULE}"

  ; Every device of the package that is registered now gets a copy of the
  ; generic module; the one device whose driver staged its own data source
  ; gets that one.
  !insertmacro TIRN_CALL 'MAddDS ${DS_PREFIX} DeviceData InstallCLSID 1'
  !insertmacro TIRN_CALL 'AddDS "${HARDWARE_ID}" ${DS_PREFIX} DeviceData InstallCLSID "${SOFTWARE_KEY}" 1'
SectionEnd

Section "Uninstall"
  !insertmacro TIRN_CALL 'RemoveDS "${HARDWARE_ID}" ${DS_PREFIX} DeviceData InstallCLSID "${SOFTWARE_KEY}" 1'
  ; Takes the data sources of the devices that are gone.
  !insertmacro TIRN_CALL 'MRemoveDS ${DS_PREFIX} DeviceData InstallCLSID 1'
  Delete "$WINDIR\twain_32\zbxgnds2"
  Delete "$INSTDIR\TIRNFuncts.exe"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
SectionEnd
