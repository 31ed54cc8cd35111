<#
.SYNOPSIS
Runs kovex-deepclean-check.exe on many machines over PowerShell remoting and
writes what each one reports to a CSV file, a machine's rows as it answers.

.DESCRIPTION
Collect-KovexCheck.ps1 is run on an administrator's machine. For each
computer it runs "kovex-deepclean-check.exe --csv" in the folder named by
-Folder (by default KovexDeepClean in the machine's native Program Files
folder, where the Win32 app's Install.cmd or the Ansible playbook put it,
with devcon.exe beside it), optionally after the cleanup (-RunCleanup). The
check itself writes the machine's rows, the same code its tests run: one row
per trace, or one row with kind, id and description empty, so that every
machine that answers has a row; the columns are machine, status, clean,
complete, kind, id, description, awaits_reboot, manual_removal and
unchecked, checked_at, and two columns of this script's own: cleanup, and
computer, the name this script reached the machine by. This script writes
the header once and adds one row of its own
for each machine where the check could not run. With -ResultsFolder it also
saves each machine's JSON document ("--json") there, for the fleet page
(kovex-deepclean-fleet).

This script never puts the programs on a machine: a machine without them
gets a "missing" row. Deploy them first with the Win32 app (Install.cmd) or
the playbook.

Each machine is one Invoke-Command -AsJob, at most -ThrottleLimit at once,
waited for here, on the administrator's side: nothing on the machine starts
a job. The programs bound their own runs (the cleanup 25 minutes, the check
5); a machine that has not answered after -TimeoutMinutes (counted in UTC,
which no daylight-saving change moves) gets a row with status "timed out",
written before its job is stopped, and the other machines' rows are kept.
Stopping the job ends what runs on the machine, the cleanup too, wherever
it is: with -RunCleanup, -TimeoutMinutes must be at least the cleanup's
longest run and the check's (read from limits.txt beside this script: 32
minutes, 37 with -ResultsFolder).

status is the check's exit status: 0 clean, 1 traces left, 2 could not tell
(unchecked says which checks could not run, and why). A machine where the
check could not run has status "missing" (no check in the folder), "bad
command line" (the check exited with 3), "failed" (it could not be started,
or gave no rows), "unreachable" (no remoting session) or "timed out", with
the reason in unchecked. awaits_reboot is True for a trace whose removal
waits for a reboot; manual_removal is the command that removes a trace the
cleanup passes over. With -RunCleanup, cleanup is on each of the machine's
rows: the line of "kovex-deepclean-check.exe --cleanup-log" on the
cleanup's saved output ("The cleanup ran to its end." or "The cleanup did
not run to its end: ..."), or why it is not known; without it, empty.

The CSV file is UTF-8 with a byte-order mark, on Windows PowerShell 5.1
("UTF8") and on PowerShell 7 ("utf8BOM"), so that Excel reads names beyond
ASCII; a file of that name is replaced.

.PARAMETER ComputerName
The machines to check, by name; also taken from the pipeline.

.PARAMETER Path
The CSV file to write.

.PARAMETER Folder
The folder on each machine that holds kovex-deepclean-check.exe,
kovex-deepclean.exe and devcon.exe. By default KovexDeepClean in the native
Program Files folder.

.PARAMETER RunCleanup
Runs kovex-deepclean.exe in that folder first, its output saved to
cleanup-collector.log there, then the check. The cleanup column tells whether it ran
to its end.

.PARAMETER ResultsFolder
A folder on this machine where each machine's JSON document is saved, as
<machine>.json, for kovex-deepclean-fleet, and machines.txt, the machines
asked, one a line, for its --expect. Made if it is not there.

.PARAMETER TimeoutMinutes
How long to wait for one machine, connection included: 45 by default (the
cleanup's 25 minutes and 2 for its deletions, the check's 5, twice with
-ResultsFolder, and some to spare); with -RunCleanup at least that sum, 32
(37 with -ResultsFolder), since stopping a machine's job ends its cleanup
mid-step.

.PARAMETER ThrottleLimit
How many machines are asked at once: 16 by default.

.PARAMETER Credential
The account to connect with; by default the current one.

.EXAMPLE
Get-Content .\machines.txt | .\Collect-KovexCheck.ps1 -Path .\kovex-check.csv

.EXAMPLE
.\Collect-KovexCheck.ps1 -ComputerName PC01, PC02 -Path .\kovex.csv -RunCleanup -ResultsFolder .\results

.NOTES
The scripts of the release's fleet folder are ASCII only. Remoting must be
enabled on the machines (Enable-PSRemoting), and the account must be an
administrator there. On the administrator's machine, unblock the script once
after downloading it (Unblock-File .\Collect-KovexCheck.ps1) and run it where
the execution policy allows it: RemoteSigned (the default on servers) runs a
local, unblocked script; on a client whose policy is Restricted, start it
with "powershell.exe -ExecutionPolicy RemoteSigned -File
.\Collect-KovexCheck.ps1 ...". It uses only core cmdlets, and runs in
ConstrainedLanguage mode, here and on the machines.
#>
[CmdletBinding()]
param(
    [Parameter(Mandatory = $true, ValueFromPipeline = $true,
        ValueFromPipelineByPropertyName = $true)]
    [Alias('CN', 'Name')]
    [string[]]$ComputerName,

    [Parameter(Mandatory = $true)]
    [string]$Path,

    [string]$Folder = '',

    [switch]$RunCleanup,

    [string]$ResultsFolder = '',

    [ValidateRange(1, 1440)]
    [int]$TimeoutMinutes = 45,

    [ValidateRange(1, 256)]
    [int]$ThrottleLimit = 16,

    [pscredential]$Credential
)

begin {
    # The programs' own limits, in seconds, from limits.txt beside this
    # script, the one table the kit's time-outs are made from.
    $limitsFile = Join-Path $PSScriptRoot 'limits.txt'
    if (-not (Test-Path -LiteralPath $limitsFile -PathType Leaf)) {
        throw "$limitsFile is missing: run this script from the release's fleet folder, limits.txt beside it"
    }
    $limits = Get-Content -LiteralPath $limitsFile -Raw | ConvertFrom-StringData
    foreach ($limit in @('cleanup_deadline', 'cleanup_deletions', 'check_deadline')) {
        if ("$($limits[$limit])" -notmatch '^[0-9]+$') { throw "$limitsFile gives no number of seconds for $limit" }
    }
    # Stopping a job ends the cleanup on the machine wherever it is: with
    # -RunCleanup a time-out must leave it its longest run (its deadline,
    # a wait for another cleanup included, and its deletions past it) and
    # the check's, twice with -ResultsFolder (--csv, then --json).
    $checks = 1
    if ($ResultsFolder) { $checks = 2 }
    $cleanupSeconds = [int]$limits['cleanup_deadline'] + [int]$limits['cleanup_deletions']
    $worstSeconds = $cleanupSeconds + $checks * [int]$limits['check_deadline']
    $cleanupMinutes = ($worstSeconds - $worstSeconds % 60) / 60
    if ($worstSeconds % 60 -ne 0) { $cleanupMinutes++ }
    if ($RunCleanup -and $TimeoutMinutes -lt $cleanupMinutes) {
        throw "-TimeoutMinutes $TimeoutMinutes is too short for -RunCleanup: stopping a machine's job ends its cleanup mid-step; give at least $cleanupMinutes (the cleanup's $cleanupSeconds seconds and $checks times the check's $($limits['check_deadline']))"
    }
    $machines = @()

    # The check's columns, in the order of its own header
    # (kovex-deepclean-check --csv; tests/fleet compares the two); the CSV
    # file adds cleanup, the outcome of -RunCleanup.
    $columns = @('machine', 'status', 'clean', 'complete', 'kind', 'id',
        'description', 'awaits_reboot', 'manual_removal', 'unchecked', 'checked_at')

    # A byte-order mark on both: Windows PowerShell's UTF8 writes one,
    # PowerShell 7's does not (utf8BOM does).
    $encoding = 'UTF8'
    if ($PSVersionTable.PSVersion.Major -ge 6) { $encoding = 'utf8BOM' }

    # Runs on each machine: the cleanup when asked, then the check, each one
    # call in the programs' folder (they look for devcon.exe there). Results
    # here and below are hashtables: PowerShell 7.4 and later refuse
    # [pscustomobject] literals in ConstrainedLanguage mode.
    $remote = {
        param([string]$Folder, [bool]$RunCleanup, [bool]$Document)
        if (-not $Folder) {
            $native = $env:ProgramW6432
            if (-not $native) { $native = $env:ProgramFiles }
            $Folder = Join-Path $native 'KovexDeepClean'
        }
        $check = Join-Path $Folder 'kovex-deepclean-check.exe'
        $cleanup = ''
        if ($RunCleanup) { $cleanup = 'not run: no kovex-deepclean-check.exe to decide it' }
        if (-not (Test-Path -LiteralPath $check -PathType Leaf)) {
            return @{ Status = 'missing'; Rows = ''; Document = ''
                Reason = "no kovex-deepclean-check.exe in $Folder"; Cleanup = $cleanup }
        }
        Set-Location -LiteralPath $Folder -ErrorAction Stop
        if ($RunCleanup) {
            # Its output saved as it writes it (cmd.exe keeps the bytes, as
            # Install.cmd does) to this script's own log (the engines' runs
            # never share one; a cleanup already running makes this one wait
            # on the cleanup's own lock), then the check decides whether it
            # ran to its end. An earlier run's log must not stand for this
            # one: one that cannot be deleted stops the cleanup, and a log
            # that was not written means it never started.
            $log = Join-Path $Folder 'cleanup-collector.log'
            # What cannot be deleted stays, and is found below (a folder of that
            # name would ask to confirm, which a non-interactive session cannot).
            try { Remove-Item -LiteralPath $log -Force -ErrorAction SilentlyContinue } catch { }
            if (Test-Path -LiteralPath $log) {
                $cleanup = "not run: $log from an earlier run could not be deleted"
            }
            else {
                & cmd.exe /d /c '.\kovex-deepclean.exe >cleanup-collector.log 2>&1'
                $cleanup = "not run: the cleanup was not started: $log could not be written"
                if (Test-Path -LiteralPath $log) {
                    $said = @(& $check --cleanup-log $log 2>$null)
                    $cleanup = "not known: kovex-deepclean-check.exe --cleanup-log ended with exit code $LASTEXITCODE without its line"
                    if ($said.Count -gt 0) { $cleanup = $said[0] }
                }
            }
        }
        # The rows are UTF-8, which PowerShell would decode in the console's
        # code page: cmd.exe writes them to a file, read back as UTF-8.
        $file = Join-Path $Folder 'collector-rows.csv'
        & cmd.exe /d /c '.\kovex-deepclean-check.exe --csv >collector-rows.csv 2>nul'
        $status = $LASTEXITCODE
        $rows = ''
        if (Test-Path -LiteralPath $file -PathType Leaf) {
            $rows = Get-Content -LiteralPath $file -Encoding UTF8 -Raw
            Remove-Item -LiteralPath $file -ErrorAction SilentlyContinue
        }
        # The document is ASCII: the call operator takes it as it is. Only a
        # check that answered is asked: one that cannot start would throw
        # here, and the machine's row would be lost.
        $json = ''
        if ($Document -and $status -in 0, 1, 2) { $json = @(& $check --json 2>$null) -join "`r`n" }
        @{ Status = $status; Rows = $rows; Document = $json; Reason = ''; Cleanup = $cleanup }
    }

    # One CSV line, quoted as Export-Csv quotes: every field in double
    # quotes, a quote doubled.
    function Format-Line([string[]]$Fields) {
        (@($Fields) | ForEach-Object { '"' + ($_ -replace '"', '""') + '"' }) -join ','
    }

    # The lines of one machine's result: the check's rows after its header,
    # or one row of this script's when the check did not give them; each
    # with the cleanup's outcome and the name this script reached the
    # machine by last (the fleet page names the machine by it, not by the
    # name the machine gives itself).
    function Get-Line($Machine, $Result) {
        $status = $Result.Status
        $reason = $Result.Reason
        $cleanup = ',' + (Format-Line @("$($Result.Cleanup)", $Machine))
        if ($status -is [int] -and $status -eq 3) {
            $status = 'bad command line'
            $reason = 'kovex-deepclean-check.exe refused its command line (exit code 3): is it as old as this script?'
        }
        elseif ($status -is [int]) {
            $lines = @("$($Result.Rows)" -split "`r`n" | Where-Object { $_ -ne '' })
            if ($status -in 0, 1, 2 -and $lines.Count -gt 1 -and $lines[0] -eq $checkHeader) {
                return @($lines[1..($lines.Count - 1)] | ForEach-Object { $_ + $cleanup })
            }
            $reason = "kovex-deepclean-check.exe ended with exit code $status without its rows"
            $status = 'failed'
        }
        (Format-Line @($Machine, $status, '', '', '', '', '', '', '', $reason, '')) + $cleanup
    }

    function Save-Document($Machine, $Result) {
        if (-not $ResultsFolder -or -not $Result.Document) { return }
        $name = $Machine -replace '[\\/:*?"<>|]', '_'
        Set-Content -LiteralPath (Join-Path $ResultsFolder "$name.json") -Value $Result.Document -Encoding Ascii
    }

    $checkHeader = Format-Line $columns
    $header = Format-Line ($columns + 'cleanup' + 'computer')
}

process {
    foreach ($name in $ComputerName) {
        if ($name) { $machines += $name }
    }
}

end {
    Set-Content -LiteralPath $Path -Value $header -Encoding $encoding
    if ($ResultsFolder) {
        $null = New-Item -ItemType Directory -Path $ResultsFolder -Force
        # The machines asked, one a line: the page's --expect, so that a
        # machine that never answered is shown as such.
        Set-Content -LiteralPath (Join-Path $ResultsFolder 'machines.txt') -Value $machines -Encoding $encoding
    }
    $running = @()
    $next = 0
    while ($next -lt $machines.Count -or $running.Count -gt 0) {
        while ($next -lt $machines.Count -and $running.Count -lt $ThrottleLimit) {
            $connect = @{
                ComputerName = $machines[$next]
                ScriptBlock  = $remote
                ArgumentList = @($Folder, $RunCleanup.IsPresent, [bool]$ResultsFolder)
                AsJob        = $true
            }
            if ($Credential) { $connect.Credential = $Credential }
            $running += @{
                Machine  = $machines[$next]
                Job      = Invoke-Command @connect
                Deadline = (Get-Date).ToUniversalTime().AddMinutes($TimeoutMinutes)
            }
            $next++
        }
        $null = Wait-Job -Job @($running | ForEach-Object { $_.Job }) -Any -Timeout 5
        $still = @()
        foreach ($entry in $running) {
            if ($entry.Job.State -in 'Completed', 'Failed', 'Stopped') {
                $failures = @()
                $result = Receive-Job -Job $entry.Job -ErrorAction SilentlyContinue -ErrorVariable failures |
                    Select-Object -Last 1
                if ($null -eq $result) {
                    $reason = 'no remoting session'
                    if ($failures.Count -gt 0) { $reason = $failures[0].Exception.Message }
                    $result = @{ Status = 'unreachable'; Rows = ''; Document = ''; Reason = $reason
                        Cleanup = $(if ($RunCleanup) { 'not known: no answer from the machine' } else { '' }) }
                }
                Save-Document $entry.Machine $result
                Add-Content -LiteralPath $Path -Value (Get-Line $entry.Machine $result) -Encoding $encoding
            }
            elseif ((Get-Date).ToUniversalTime() -gt $entry.Deadline) {
                # The row first: stopping a remote job can take minutes.
                $result = @{ Status = 'timed out'; Rows = ''; Document = ''
                    Reason = "no answer within $TimeoutMinutes minutes"
                    Cleanup = $(if ($RunCleanup) { 'stopped with the machine''s job: it may have ended mid-step' } else { '' }) }
                Add-Content -LiteralPath $Path -Value (Get-Line $entry.Machine $result) -Encoding $encoding
                Stop-Job -Job $entry.Job
            }
            else {
                $still += $entry
                continue
            }
            Remove-Job -Job $entry.Job -Force
        }
        $running = $still
    }
    Write-Verbose "$($machines.Count) machines written to $Path"
}
