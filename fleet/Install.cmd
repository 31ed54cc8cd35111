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
rem It copies the three programs (one of the same bytes already there may stay,
rem in use) to %ProgramW6432%\KovexDeepClean, the native
rem Program Files folder whatever the bitness of the caller (a 32-bit caller's
rem %ProgramFiles% is "Program Files (x86)", where Detect.ps1 does not look),
rem then runs the cleanup from there, which leaves its listing files and
rem cleanup.log in that folder. Whether the cleanup ran to its end is the
rem check's decision (kovex-deepclean-check.exe --cleanup-log cleanup.log:
rem its last line "Done.", and no program not started, ended unfinished at
rem a time limit or not launched). Only then it writes this version's
rem marker, cleanup-done-<version>.txt, there: Detect.ps1 and
rem ConfigMgr-Detect.ps1 look for that marker alone, so the engines run the
rem cleanup once per version of this kit, never again because a trace is
rem left or the maker's software came back (the check reports those). Last it
rem runs kovex-deepclean-check.exe --reboot-code (its report in check.log),
rem which decides whether a removal waits for a reboot.
rem
rem Exit status (fleet/README.md has the same table):
rem   0     the cleanup ran to its end;
rem   3010  it ran to its end and a removal waits for a reboot (the soft
rem         reboot code);
rem   1     the cleanup did not run to its end: it could not start (cmd
rem         could not write its log), stopped
rem         before "Done.", or a program of it was not started or was
rem         ended at a time limit (no marker; cleanup.log says what, and
rem         the check's line why), so that the engine reports a failed
rem         install and offers it again, not a success it then cannot
rem         detect;
rem   2     a program is missing from the content;
rem   3     the folder could not be made, a copy failed, an earlier marker
rem         or cleanup.log could not be deleted (the cleanup is not run),
rem         or the marker could not be written after a run to its end;
rem   4     this copy is not a release's: its version was never written, so
rem         every version would share one marker. Nothing is copied or run.
setlocal
rem Written by the release build from the project's version.
set "VERSION=@KOVEX_VERSION@"
rem The source tree's copy still holds the placeholder, which starts with @.
if "%VERSION:~0,1%"=="@" echo Install.cmd: this copy's version was never written by the release build. Use the fleet folder of a release archive.
if "%VERSION:~0,1%"=="@" exit /b 4
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
rem A copy that fails is no failure when the file there has the same bytes:
rem a program of this version that another engine runs right now (its
rem cleanup, its check) is open, and cannot be copied over. fc /b exits 0
rem for two files of the same bytes, and otherwise 1 or 2.
set "FAILED="
for %%F in (kovex-deepclean.exe kovex-deepclean-check.exe devcon.exe) do (
  copy /y /b "%SOURCE%%%F" "%TARGET%\%%F" >nul 2>&1
  if errorlevel 1 (
    fc /b "%SOURCE%%%F" "%TARGET%\%%F" >nul 2>&1
    if errorlevel 1 set "FAILED=%%F"
  )
)
if defined FAILED echo copying %FAILED% to "%TARGET%" failed
if defined FAILED exit /b 3

rem The cleanup finds devcon.exe in its working folder. A marker and a log
rem from an earlier run go first: they stand for this run alone. cleanup.log
rem is this engine's own: the other engines save theirs under other names,
rem and a second cleanup waits for the first on the cleanup's own lock.
cd /d "%TARGET%"
if not exist devcon.exe exit /b 3
set "MARKER=%TARGET%\cleanup-done-%VERSION%.txt"
set "LOG=%TARGET%\cleanup.log"
if exist "%MARKER%" del /f /q "%MARKER%"
if exist "%MARKER%" echo The marker of an earlier run, "%MARKER%", could not be deleted.
if exist "%MARKER%" exit /b 3
if exist "%LOG%" del /f /q "%LOG%"
if exist "%LOG%" echo The log of an earlier run, "%LOG%", could not be deleted: the cleanup is not run.
if exist "%LOG%" exit /b 3
"%TARGET%\kovex-deepclean.exe" > "%LOG%" 2>&1
rem No log: cmd could not open it, and the cleanup was never started.
if not exist "%LOG%" echo The cleanup was not started: "%LOG%" could not be written.
if not exist "%LOG%" exit /b 1

rem Its status is always 0 and tells nothing. The check reads its log and
rem decides whether it ran to its end: status 0 only then, and one line
rem saying why not otherwise; no line of the log is handled by cmd.
"%TARGET%\kovex-deepclean-check.exe" --cleanup-log "%LOG%"
set "ENDED=%ERRORLEVEL%"
if not "%ENDED%"=="0" echo See "%LOG%".
if not "%ENDED%"=="0" exit /b 1
echo Kovex Deep Clean %VERSION%: the cleanup ran to its end.> "%MARKER%"
rem A marker that is not there would have the engine run it again as if it
rem had never run, yet report a success now.
if not exist "%MARKER%" echo The marker "%MARKER%" could not be written.
if not exist "%MARKER%" exit /b 3

rem The check decides whether a removal waits for a reboot; a check that
rem cannot run leaves the install as it is.
"%TARGET%\kovex-deepclean-check.exe" --reboot-code > "%TARGET%\check.log" 2>&1
if "%ERRORLEVEL%"=="3010" exit /b 3010
exit /b 0
