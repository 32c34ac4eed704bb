@echo off
rem Installs Vokmark from the folder this script is in, for the current user.
rem Registering a shell extension writes below HKEY_CLASSES_ROOT and
rem HKEY_LOCAL_MACHINE, so it runs from an elevated prompt only.
setlocal EnableExtensions
rem Each step is checked with "if errorlevel": Wine's cmd runs the right side
rem of "||" even after success when the left side is redirected.
set "VOK_DIR=%~dp0"
set "VOK_DIR=%VOK_DIR:~0,-1%"

reg add "HKLM\SOFTWARE\VOK Setup Check" /f >nul 2>&1
if errorlevel 1 goto :not_elevated
reg delete "HKLM\SOFTWARE\VOK Setup Check" /f >nul 2>&1

rem The machine's own processor is the system environment's, which Windows
rem keeps as the machine's; this prompt's PROCESSOR_ARCHITECTURE names the
rem processor it is emulated as (x86, or x64 on ARM64). The 64-bit library is
rem the machine's: x64\vok.dll, or arm64\vok.dll on ARM64.
rem A 32-bit prompt on 64-bit Windows reaches the 64-bit system folder as
rem Sysnative; 32-bit programs have their regsvr32 in SysWOW64.
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
goto :install
:windows32
set "VOK_REGSVR32=%SystemRoot%\System32\regsvr32.exe"

:install
echo Vokmark: installing from %VOK_DIR%
rem First the folder: the library reads it when it is loaded to be registered.
echo Vokmark: setting "Install Folder" in HKEY_CURRENT_USER\Software\VOK
reg add "HKCU\Software\VOK" /v "Install Folder" /t REG_SZ /d "%VOK_DIR%" /f >nul
if errorlevel 1 goto :failed
rem And for every other user of the machine: the library reads HKLM when
rem the user's own key has no folder, each library in its own registry view
rem (32-bit programs see HKLM\Software\WOW6432Node as HKLM\Software).
echo Vokmark: setting "Install Folder" in HKEY_LOCAL_MACHINE\Software\VOK
reg add "HKLM\Software\VOK" /v "Install Folder" /t REG_SZ /d "%VOK_DIR%" /f /reg:32 >nul
if errorlevel 1 goto :failed
if not defined VOK_REGSVR64 goto :favorites
reg add "HKLM\Software\VOK" /v "Install Folder" /t REG_SZ /d "%VOK_DIR%" /f /reg:64 >nul
if errorlevel 1 goto :failed
:favorites
echo Vokmark: creating %VOK_DIR%\Favorites
if not exist "%VOK_DIR%\Favorites\" mkdir "%VOK_DIR%\Favorites"
if not exist "%VOK_DIR%\Favorites\" goto :failed

if not defined VOK_REGSVR64 goto :x86
echo Vokmark: registering %VOK_NATIVE%\vok.dll for Explorer and 64-bit programs
"%VOK_REGSVR64%" /s "%VOK_DIR%\%VOK_NATIVE%\vok.dll"
if errorlevel 1 goto :failed

:x86
if defined VOK_REGSVR32 goto :register_x86
echo Vokmark: skipped x86\vok.dll: this machine has no 32-bit regsvr32
goto :done
:register_x86
echo Vokmark: registering x86\vok.dll for 32-bit programs
"%VOK_REGSVR32%" /s "%VOK_DIR%\x86\vok.dll"
if errorlevel 1 goto :failed

:done
echo Vokmark: installed. Right-click a folder background to see the Vokmark menu.
exit /b 0

:no_machine
echo Vokmark: cannot tell this machine's processor (PROCESSOR_ARCHITECTURE of the system environment). Nothing was changed.
exit /b 1

:not_elevated
echo Vokmark: install.cmd must be run as administrator.
echo Vokmark: right-click install.cmd and choose "Run as administrator". Nothing was changed.
exit /b 1

:failed
echo Vokmark: installation failed at the step above.
exit /b 1
