@echo off
rem Uninstall.cmd - uninstall command of the Intune Win32 app (and of a
rem Configuration Manager deployment type). The engine runs it from the app's
rem content as given, without expanding environment variables in its command
rem line; this file expands them itself.
rem
rem It removes %ProgramW6432%\KovexDeepClean, the folder Install.cmd made (the
rem native Program Files folder, whatever the bitness of the caller), with
rem the programs, devcon.exe, the listing files and cleanup.log. It removes
rem nothing else: the cleanup's removals cannot be undone.
rem
rem Exit status: 0 the folder is gone (or was never there); 1 it is still
rem there, for example while a program in it runs.
setlocal
set "TARGET=%ProgramW6432%\KovexDeepClean"
if not defined ProgramW6432 set "TARGET=%ProgramFiles%\KovexDeepClean"
if exist "%TARGET%\" rd /s /q "%TARGET%"
if exist "%TARGET%\" exit /b 1
exit /b 0
