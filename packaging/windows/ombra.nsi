; Per-user installer for both programs: no administrator rights, start-menu
; entries that start the programs in the classroom's shared folder, and an
; uninstaller listed under the user's apps.
;
;   makensis -INPUTCHARSET UTF8 -DVERSION=1.0 -DSTAGE=folder -DOUTFILE=setup.exe ombra.nsi
;
; STAGE is the folder that cmake --install filled.

; The programs are 64-bit; so is the installer (it runs under wine64 too).
Target amd64-unicode
!include "MUI2.nsh"

!define PRODUCT "オンブラ集計"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Ombra"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
RequestExecutionLevel user
InstallDir "$LOCALAPPDATA\Programs\Ombra"
InstallDirRegKey HKCU "Software\Ombra" "InstallDir"
SetCompressor /SOLID lzma

Var ClassFolder

!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY

; The folder that both programs work in: the classroom's shared folder.
!define MUI_PAGE_HEADER_TEXT "教室の共有フォルダー"
!define MUI_PAGE_HEADER_SUBTEXT "プログラムを起動するフォルダーを選んでください。"
!define MUI_DIRECTORYPAGE_TEXT_TOP "先生用プログラムと生徒用プログラムは、このフォルダーで起動します。先生の PC と生徒のすべての PC から読み書きできる共有フォルダー（たとえば \\サーバー\共有\アンケート）を選んでください。"
!define MUI_DIRECTORYPAGE_TEXT_DESTINATION "教室の共有フォルダー"
!define MUI_DIRECTORYPAGE_VARIABLE $ClassFolder
!define MUI_DIRECTORYPAGE_VERIFYONLEAVE
!insertmacro MUI_PAGE_DIRECTORY

!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "Japanese"

Function .onInit
    SetShellVarContext current
    ReadRegStr $ClassFolder HKCU "Software\Ombra" "ClassFolder"
    StrCmp $ClassFolder "" 0 +2
        StrCpy $ClassFolder "$DOCUMENTS\オンブラ集計"
FunctionEnd

Section "Install"
    SetShellVarContext current
    SetOutPath "$INSTDIR"
    File /r "${STAGE}\*"
    WriteUninstaller "$INSTDIR\Uninstall.exe"

    ; The shortcuts start the programs in the classroom folder.
    CreateDirectory "$ClassFolder"
    CreateDirectory "$SMPROGRAMS\${PRODUCT}"
    SetOutPath "$ClassFolder"
    CreateShortCut "$SMPROGRAMS\${PRODUCT}\先生用プログラム.lnk" "$INSTDIR\Teacher.exe"
    CreateShortCut "$SMPROGRAMS\${PRODUCT}\生徒用プログラム.lnk" "$INSTDIR\ｱﾝｹｰﾄ.exe"
!if /FileExists "${STAGE}/ombra-gateway.exe"
    ; The tablet gateway on its own, for a PC that is not the teacher's.
    CreateShortCut "$SMPROGRAMS\${PRODUCT}\タブレット用ゲートウェイ.lnk" "$INSTDIR\ombra-gateway.exe"
!endif
    SetOutPath "$INSTDIR"
    CreateShortCut "$SMPROGRAMS\${PRODUCT}\アンインストール.lnk" "$INSTDIR\Uninstall.exe"

    WriteRegStr HKCU "Software\Ombra" "InstallDir" "$INSTDIR"
    WriteRegStr HKCU "Software\Ombra" "ClassFolder" "$ClassFolder"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "Ombra"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Teacher.exe"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
    WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; The classroom folder, with its Data folder and records, is left alone.
Section "Uninstall"
    SetShellVarContext current
    Delete "$SMPROGRAMS\${PRODUCT}\先生用プログラム.lnk"
    Delete "$SMPROGRAMS\${PRODUCT}\生徒用プログラム.lnk"
    Delete "$SMPROGRAMS\${PRODUCT}\タブレット用ゲートウェイ.lnk"
    Delete "$SMPROGRAMS\${PRODUCT}\アンインストール.lnk"
    RMDir "$SMPROGRAMS\${PRODUCT}"
    RMDir /r "$INSTDIR\platforms"
    RMDir /r "$INSTDIR\styles"
    RMDir /r "$INSTDIR\translations"
    Delete "$INSTDIR\*.dll"
    Delete "$INSTDIR\Teacher.exe"
    Delete "$INSTDIR\ｱﾝｹｰﾄ.exe"
    Delete "$INSTDIR\ombra-gateway.exe"
    Delete "$INSTDIR\README.txt"
    Delete "$INSTDIR\Uninstall.exe"
    RMDir "$INSTDIR"
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
    DeleteRegKey HKCU "Software\Ombra"
SectionEnd
