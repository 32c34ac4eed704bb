@echo off
rem Removes Vokmark's registration and its settings; the favourites stay.
rem Unregistering writes below HKEY_CLASSES_ROOT, so it runs from an
rem elevated prompt only.
setlocal EnableExtensions
rem Each step is checked with "if errorlevel": Wine's cmd runs the right side
rem of "||" even after success when the left side is redirected.
set "VOK_DIR=%~dp0"
set "VOK_DIR=%VOK_DIR:~0,-1%"
set "VOK_CLSID={2F793154-C4B7-4AA8-AA0E-AF97B47A255D}"

reg add "HKLM\SOFTWARE\VOK Setup Check" /f >nul 2>&1
if errorlevel 1 goto :not_elevated
reg delete "HKLM\SOFTWARE\VOK Setup Check" /f >nul 2>&1

rem The same library and regsvr32 choice as install.cmd.
set "VOK_MACHINE="
for /f "tokens=3" %%m in ('reg query "HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\Environment" /v PROCESSOR_ARCHITECTURE 2^>nul') do set "VOK_MACHINE=%%m"
if not defined VOK_MACHINE goto :no_machine
set "VOK_NATIVE=x64"
if /i "%VOK_MACHINE%"=="ARM64" set "VOK_NATIVE=arm64"
set "VOK_REGSVR64="
set "VOK_REGSVR32="
if /i "%VOK_MACHINE%"=="x86" goto :windows32
set "VOK_REGSVR64=%SystemRoot%\System32\regsvr32.exe"
if exist "%SystemRoot%\Sysnative\regsvr32.exe" set "VOK_REGSVR64=%SystemRoot%\Sysnative\regsvr32.exe"
if exist "%SystemRoot%\SysWOW64\regsvr32.exe" set "VOK_REGSVR32=%SystemRoot%\SysWOW64\regsvr32.exe"
goto :uninstall
:windows32
set "VOK_REGSVR32=%SystemRoot%\System32\regsvr32.exe"

:uninstall
echo Vokmark: uninstalling from %VOK_DIR%
if not defined VOK_REGSVR64 goto :x86
rem Only what is registered: loading the library with its settings already
rem gone would stop at its "installation missing" message.
reg query "HKCR\CLSID\%VOK_CLSID%" /reg:64 >nul 2>&1
if errorlevel 1 goto :native_absent
echo Vokmark: unregistering %VOK_NATIVE%\vok.dll
"%VOK_REGSVR64%" /u /s "%VOK_DIR%\%VOK_NATIVE%\vok.dll"
if errorlevel 1 goto :failed
goto :x86
:native_absent
echo Vokmark: %VOK_NATIVE%\vok.dll is not registered: nothing to unregister

:x86
if defined VOK_REGSVR32 goto :unregister_x86
echo Vokmark: skipped x86\vok.dll: this machine has no 32-bit regsvr32
goto :settings
:unregister_x86
reg query "HKCR\CLSID\%VOK_CLSID%" /reg:32 >nul 2>&1
if errorlevel 1 goto :x86_absent
echo Vokmark: unregistering x86\vok.dll
"%VOK_REGSVR32%" /u /s "%VOK_DIR%\x86\vok.dll"
if errorlevel 1 goto :failed
goto :settings
:x86_absent
echo Vokmark: x86\vok.dll is not registered: nothing to unregister

:settings
echo Vokmark: removing HKEY_CURRENT_USER\Software\VOK
reg query "HKCU\Software\VOK" >nul 2>&1
if errorlevel 1 goto :machine_settings
reg delete "HKCU\Software\VOK" /f >nul
if errorlevel 1 goto :failed
:machine_settings
echo Vokmark: removing "Install Folder" from HKEY_LOCAL_MACHINE\Software\VOK
rem In both registry views, as install.cmd writes it.
reg query "HKLM\Software\VOK" /v "Install Folder" /reg:32 >nul 2>&1
if errorlevel 1 goto :machine_settings64
reg delete "HKLM\Software\VOK" /v "Install Folder" /f /reg:32 >nul
if errorlevel 1 goto :failed
:machine_settings64
if not defined VOK_REGSVR64 goto :done
reg query "HKLM\Software\VOK" /v "Install Folder" /reg:64 >nul 2>&1
if errorlevel 1 goto :done
reg delete "HKLM\Software\VOK" /v "Install Folder" /f /reg:64 >nul
if errorlevel 1 goto :failed

:done
echo Vokmark: uninstalled. Your favourites stay in %VOK_DIR%\Favorites
exit /b 0

:no_machine
echo Vokmark: cannot tell this machine's processor (PROCESSOR_ARCHITECTURE of the system environment). Nothing was changed.
exit /b 1

:not_elevated
echo Vokmark: uninstall.cmd must be run as administrator.
echo Vokmark: right-click uninstall.cmd and choose "Run as administrator". Nothing was changed.
exit /b 1

:failed
echo Vokmark: uninstalling failed at the step above.
exit /b 1
