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

# What the real programs write, recorded under Wine (tests/fleet/recorded,
# made by tests/e2e/record_fleet_outputs.py): each recording's log, as
# the scripts' redirection saves the cleanup's output, and the check's
# answer to --cleanup-log on it.
$Recorded = (Resolve-Path -LiteralPath (Join-Path $PSScriptRoot '../recorded')).Path
$RecordedIndex = Get-Content -LiteralPath (Join-Path $Recorded 'index.json') -Raw | ConvertFrom-Json -AsHashtable

# The recorded log Name's path: a stand-in cleanup writes its bytes.
function Get-RecordedLog([string]$Name) {
    $path = Join-Path $Recorded "$Name.log"
    if (-not (Test-Path -LiteralPath $path -PathType Leaf)) { throw "no recorded log $Name" }
    $path
}

# The check's recorded answer to the log Name: its line and exit code.
function Get-RecordedAnswer([string]$Name) {
    $text = [System.IO.File]::ReadAllText((Join-Path $Recorded "$Name.check"))
    @{ Line = ($text -split "`r?`n")[0]; Code = $RecordedIndex[$Name].check_exit_code }
}

# The check's --cleanup-log mode, replayed: the recorded answer to the
# recorded log of the same bytes; for a log it cannot read, the recorded
# answer with the path it was given. A log no recording holds is no
# answer the check ever gave: it says so on standard error, exit 99. 3 and
# usage on standard error for any other command line.
$CleanupLogCheck = @"
import json, os, sys
recorded = r'$Recorded'
if len(sys.argv) != 3 or sys.argv[1] != "--cleanup-log":
    print("usage: kovex-deepclean-check.exe --cleanup-log FILE", file=sys.stderr)
    sys.exit(3)
index = json.load(open(os.path.join(recorded, "index.json")))
def answer(name, shown=None):
    text = open(os.path.join(recorded, name + ".check"), "rb").read()
    if shown is not None:
        text = text.replace(b"cleanup.log", shown.encode())
    sys.stdout.buffer.write(text)
    sys.stdout.flush()
    sys.exit(index[name]["check_exit_code"])
try:
    data = open(sys.argv[2], "rb").read()
except OSError:
    answer("unreadable", sys.argv[2])
for name in sorted(index):
    log = os.path.join(recorded, name + ".log")
    if os.path.exists(log) and open(log, "rb").read() == data:
        answer(name)
print("no recorded log has these bytes: " + sys.argv[2], file=sys.stderr)
sys.exit(99)
"@
