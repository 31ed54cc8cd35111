<#
What the fleet scripts' tests share: a copy of a script as the release ships
it, stand-ins for the programs it calls, and a run of it as the engines run
it (a child "pwsh -NoProfile -File", in FullLanguage or ConstrainedLanguage).
#>

$FleetFolder = Join-Path $PSScriptRoot '../../../fleet'
$Version = '9.8.7'
# The pwsh that runs the scripts: the one the tests run in (Invoke-FleetTests.ps1
# names it; a .NET tool's own process is dotnet's).
$Pwsh = $env:KOVEX_PWSH
if (-not $Pwsh) { $Pwsh = (Get-Command pwsh -CommandType Application | Select-Object -First 1).Source }
$Modes = @(@{ Mode = 'FullLanguage' }, @{ Mode = 'ConstrainedLanguage' })

# A copy of fleet/<Name> with the release's version written in, as the
# release build writes it.
function New-ReleaseCopy([string]$Name, [string]$Folder) {
    $text = Get-Content -LiteralPath (Join-Path $FleetFolder $Name) -Raw
    $copy = Join-Path $Folder $Name
    Set-Content -LiteralPath $copy -Value $text.Replace('@KOVEX_VERSION@', $Version) -NoNewline
    # The table of the programs' limits the collector reads, beside it as
    # in the release.
    Copy-Item -LiteralPath (Join-Path $FleetFolder 'limits.txt') -Destination $Folder
    $copy
}

# An executable stand-in at Path: a shell script (a name ending in .exe runs
# by its first line off Windows).
function New-StandIn([string]$Path, [string]$Body, [string]$Shell = '/bin/sh') {
    $null = New-Item -ItemType Directory -Force -Path (Split-Path $Path)
    Set-Content -LiteralPath $Path -Value "#!$Shell`n$Body" -NoNewline
    & chmod +x $Path
}

# A folder of stand-ins for the system's own programs (cmd.exe), put first
# on PATH for the script's run. cmd.exe's stand-in runs "/d /c <line>" with
# sh, its redirections as cmd reads them.
function New-SystemFolder([string]$Folder) {
    New-StandIn (Join-Path $Folder 'cmd.exe') @'
[ "$1" = /d ] && [ "$2" = /c ] || { echo "cmd.exe stand-in: $*" >&2; exit 99; }
line=$(printf '%s' "$3" | sed -e 's#\.\\#./#g' -e 's#2>nul#2>/dev/null#g' -e 's#>nul#>/dev/null#g')
exec sh -c "$line"
'@
    $Folder
}

# Runs Script as an engine does, in Mode, with Environment's variables set
# (a $null value removes one). Returns the exit code, the standard output's
# bytes and lines, and the standard error.
function Invoke-FleetScript {
    param([string]$Script, [string]$Mode = 'FullLanguage', [hashtable]$Environment = @{},
        [string[]]$Arguments = @(), [string]$WorkingDirectory = $PWD.Path)
    $start = [System.Diagnostics.ProcessStartInfo]::new($Pwsh)
    foreach ($argument in @('-NoProfile', '-NonInteractive', '-File')) { $start.ArgumentList.Add($argument) }
    if ($Mode -eq 'ConstrainedLanguage') { $start.ArgumentList.Add((Join-Path $PSScriptRoot 'Run-Constrained.ps1')) }
    $start.ArgumentList.Add($Script)
    foreach ($argument in $Arguments) { $start.ArgumentList.Add($argument) }
    foreach ($name in $Environment.Keys) {
        if ($null -eq $Environment[$name]) { $null = $start.Environment.Remove($name) }
        else { $start.Environment[$name] = $Environment[$name] }
    }
    $start.WorkingDirectory = $WorkingDirectory
    $start.RedirectStandardOutput = $true
    $start.RedirectStandardError = $true
    $process = [System.Diagnostics.Process]::Start($start)
    $stdout = [System.IO.MemoryStream]::new()
    $errorRead = $process.StandardError.ReadToEndAsync()
    $process.StandardOutput.BaseStream.CopyTo($stdout)
    $process.WaitForExit()
    $bytes = $stdout.ToArray()
    $text = [System.Text.Encoding]::UTF8.GetString($bytes)
    [pscustomobject]@{
        ExitCode = $process.ExitCode
        Bytes    = $bytes
        Output   = $text
        Lines    = @($text -split "`r?`n" | Where-Object { $_ -ne '' })
        Error    = $errorRead.Result
    }
}

# A programs' folder for one run: KovexDeepClean under a fresh native
# Program Files folder. Returns the folder and the environment pointing there.
function New-ProgramsFolder {
    $native = Join-Path $TestDrive ([guid]::NewGuid())
    $folder = Join-Path $native 'KovexDeepClean'
    $null = New-Item -ItemType Directory -Force -Path $folder
    # devcon.exe is there (the scripts look for it; only the programs run it).
    Set-Content -LiteralPath (Join-Path $folder 'devcon.exe') -Value 'devcon'
    [pscustomobject]@{
        Folder      = (Resolve-Path -LiteralPath $folder).Path
        Environment = @{ ProgramW6432 = $native; ProgramFiles = $TestDrive
            PATH = "$(New-SystemFolder (Join-Path $native 'system')):$env:PATH" }
    }
}

# A stand-in program that fails to start: its interpreter does not exist (as
# a file that is no program fails on Windows).
$Unstartable = '/nonexistent/interpreter'

# The check's --cleanup-log mode, as kovex-deepclean-check.exe answers it:
# the saved log (UTF-16LE or UTF-8 with a byte-order mark, or plain) ran to
# its end when its last non-empty line is "Done.": one line, exit 0; 1 when
# not; 2 when the log cannot be read; 3 and usage on standard error for any
# other command line. KOVEX_CHECK_STATUS, when set, is its exit instead.
$CleanupLogCheck = @'
import os, sys
if len(sys.argv) != 3 or sys.argv[1] != "--cleanup-log":
    print("usage: kovex-deepclean-check.exe --cleanup-log FILE", file=sys.stderr)
    sys.exit(3)
try:
    data = open(sys.argv[2], "rb").read()
except OSError:
    print("The cleanup's log cannot be read: " + sys.argv[2])
    sys.exit(2)
if data.startswith(b"\xff\xfe"):
    text = data[2:].decode("utf-16-le")
elif data.startswith(b"\xef\xbb\xbf"):
    text = data[3:].decode("utf-8")
else:
    text = data.decode("utf-8", "replace")
lines = [line for line in text.splitlines() if line.strip()]
if not lines:
    print("The cleanup did not run to its end: an empty log")
    sys.exit(1)
if lines[-1] != "Done.":
    print("The cleanup did not run to its end: its last line is not \"Done.\"")
    sys.exit(1)
print("The cleanup ran to its end.")
'@

# The bytes the cleanup writes when its output is redirected: Encoding is
# UTF16 (little-endian with its mark, as the program writes) or UTF8 (with
# its mark); the lines end with CRLF.
function Get-CleanupBytes([string[]]$Lines, [string]$Encoding = 'UTF16') {
    $text = ($Lines | ForEach-Object { "$_`r`n" }) -join ''
    $encoder = $Encoding -eq 'UTF16' ? [System.Text.UnicodeEncoding]::new($false, $true) : [System.Text.UTF8Encoding]::new($true)
    [byte[]]($encoder.GetPreamble() + $encoder.GetBytes($text))
}
