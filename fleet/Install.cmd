@echo off
rem Install.cmd - install command of the Intune Win32 app (Install behavior:
rem System). Intune runs it from the unpacked .intunewin content, through the
rem 32-bit cmd.exe of its management extension.
rem
rem Content folder: this file, Uninstall.cmd, kovex-deepclean.exe,
rem kovex-deepclean-check.exe and devcon.exe (the x64 Device Console of the
rem Windows Driver Kit, which the administrator adds; the release does not
rem ship it). Started from the release's own fleet folder, it takes the
rem programs and devcon.exe from the folder above.
rem
rem It copies the three programs to %ProgramW6432%\KovexDeepClean, the native
rem Program Files folder whatever the bitness of the caller (a 32-bit caller's
rem %ProgramFiles% is "Program Files (x86)", where Detect.ps1 does not look),
rem then runs the cleanup from there, which leaves its listing files and
rem cleanup.log in that folder. Detect.ps1 then tells whether the machine is
rem clean.
rem
rem Exit status: 0 the cleanup ran (its own status is always 0, whatever it
rem removed); 2 a program is missing from the content; 3 the folder could not
rem be made or a copy failed; otherwise the cleanup could not be started.
setlocal
set "SOURCE=%~dp0"
if not exist "%SOURCE%kovex-deepclean.exe" if exist "%~dp0..\kovex-deepclean.exe" set "SOURCE=%~dp0..\"
set "TARGET=%ProgramW6432%\KovexDeepClean"
if not defined ProgramW6432 set "TARGET=%ProgramFiles%\KovexDeepClean"

rem Every file is looked for before anything is copied; no loop is left
rem early (exit inside a loop is not handled alike by every cmd).
set "MISSING="
for %%F in (kovex-deepclean.exe kovex-deepclean-check.exe devcon.exe) do if not exist "%SOURCE%%%F" set "MISSING=%%F"
if defined MISSING echo %MISSING% is missing from "%SOURCE%"
if defined MISSING exit /b 2
if not exist "%TARGET%\" mkdir "%TARGET%"
if not exist "%TARGET%\" exit /b 3
set "FAILED="
for %%F in (kovex-deepclean.exe kovex-deepclean-check.exe devcon.exe) do (
  copy /y /b "%SOURCE%%%F" "%TARGET%\%%F" >nul
  if errorlevel 1 set "FAILED=%%F"
)
if defined FAILED echo copying %FAILED% to "%TARGET%" failed
if defined FAILED exit /b 3

rem The cleanup finds devcon.exe in its working folder.
cd /d "%TARGET%"
if not exist devcon.exe exit /b 3
"%TARGET%\kovex-deepclean.exe" > "%TARGET%\cleanup.log" 2>&1
exit /b %ERRORLEVEL%
