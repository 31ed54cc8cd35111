<#
.SYNOPSIS
Runs kovex-deepclean-check.exe on many machines over PowerShell remoting and
writes what each one reports to a CSV file, a row as each machine answers.

.DESCRIPTION
Collect-KovexCheck.ps1 is run on an administrator's machine. For each
computer it runs "kovex-deepclean-check.exe --json" in the folder named by
-Folder (by default KovexDeepClean in the machine's native Program Files
folder, where Install.cmd or the Ansible playbook put it, with devcon.exe
beside it), optionally after the cleanup (-RunCleanup), and writes one CSV
row per machine and trace with the columns machine, status, clean,
complete, kind, id, description, awaits_reboot, manual_removal and
unchecked. A machine without traces gets one row with kind, id and
description empty.

Each machine is a job of its own, at most -ThrottleLimit at once. Its rows
are appended to the CSV file as soon as it answers, so one hung machine
keeps no other machine's rows: after -TimeoutMinutes its job is stopped and
it gets a row with status "timed out". On the machine, the cleanup gets 30
minutes and the check 20; a program still running then is ended with its
process tree (status "timed out" too).

status is the check's exit status: 0 clean, 1 traces left, 2 could not tell
(unchecked says which checks could not run, and why), 3 a bad command line.
A machine where the check could not be run has status "missing" (no check
in the folder), "failed" (it could not be started, or its output was not
the check's JSON document), "unreachable" (no remoting session) or "timed
out", with the reason in unchecked. awaits_reboot is True for a trace whose
removal waits for a reboot; manual_removal is the command that removes a
trace the cleanup passes over.

The CSV file is written with Export-Csv -Append -NoTypeInformation
-Encoding UTF8; a file of that name is replaced.

.PARAMETER ComputerName
The machines to check, by name; also taken from the pipeline.

.PARAMETER Path
The CSV file to write.

.PARAMETER Folder
The folder on each machine that holds kovex-deepclean-check.exe,
kovex-deepclean.exe and devcon.exe. By default KovexDeepClean in the native
Program Files folder.

.PARAMETER RunCleanup
Runs kovex-deepclean.exe in that folder first, then the check.

.PARAMETER TimeoutMinutes
How long to wait for one machine, connection included: 60 by default (the
cleanup's 30 minutes, the check's 20, and some to spare).

.PARAMETER ThrottleLimit
How many machines are asked at once: 16 by default.

.PARAMETER Credential
The account to connect with; by default the current one.

.EXAMPLE
Get-Content .\machines.txt | .\Collect-KovexCheck.ps1 -Path .\kovex-check.csv

.EXAMPLE
.\Collect-KovexCheck.ps1 -ComputerName PC01, PC02 -Path .\kovex.csv -RunCleanup

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

    [ValidateRange(1, 1440)]
    [int]$TimeoutMinutes = 60,

    [ValidateRange(1, 256)]
    [int]$ThrottleLimit = 16,

    [pscredential]$Credential
)

begin {
    $machines = @()

    # Runs on each machine: the cleanup when asked, then the check.
    $remote = {
        param([string]$Folder, [bool]$RunCleanup)
        $ErrorActionPreference = 'Stop'
        if (-not $Folder) {
            $native = $env:ProgramW6432
            if (-not $native) { $native = $env:ProgramFiles }
            $Folder = Join-Path $native 'KovexDeepClean'
        }

        # Runs $Program from $Folder, in that folder, with the call operator in a job
        # of its own, and waits at most $Minutes for it: a hung program must not hold
        # the engine's script for ever. On time-out it ends the program's process
        # tree (taskkill /T; the program is found by its full path, so no other copy
        # is touched), then the job. Returns the program's output lines, its exit code
        # ($null when it could not be started or was ended) and whether it was ended.
        # Only core cmdlets and the types ConstrainedLanguage mode allows; the same
        # text in every script of this kit that starts a program (tests/fleet
        # compares them).
        function Invoke-Bounded([string]$Folder, [string]$Program, [string[]]$Arguments, [int]$Minutes) {
            $ErrorActionPreference = 'Continue'
            $path = Join-Path $Folder $Program
            $job = Start-Job -ArgumentList $Folder, $path, $Arguments -ScriptBlock {
                param([string]$Folder, [string]$Path, [string[]]$Arguments)
                Set-Location -LiteralPath $Folder
                # 2>$null keeps standard error off the error stream, where Windows
                # PowerShell 5.1 would turn each of its lines into an error record.
                $lines = & $Path @Arguments 2>$null
                $status = $LASTEXITCODE
                [pscustomobject]@{ Lines = @($lines); Status = $status }
            }
            $ended = $null -eq (Wait-Job -Job $job -Timeout ($Minutes * 60))
            if ($ended) {
                $filter = "Name = '$Program'"
                foreach ($process in @(Get-CimInstance -ClassName Win32_Process -Filter $filter)) {
                    if ($process.ExecutablePath -eq $path) {
                        $null = & taskkill.exe /PID $process.ProcessId /T /F 2>&1
                    }
                }
                Stop-Job -Job $job
            }
            $result = Receive-Job -Job $job -ErrorAction SilentlyContinue | Select-Object -Last 1
            Remove-Job -Job $job -Force
            if ($ended -or $null -eq $result) {
                return [pscustomobject]@{ Lines = @(); Status = $null; Ended = $ended }
            }
            [pscustomobject]@{ Lines = @($result.Lines); Status = $result.Status; Ended = $false }
        }

        if (-not (Test-Path -LiteralPath (Join-Path $Folder 'kovex-deepclean-check.exe') -PathType Leaf)) {
            return [pscustomobject]@{ Status = 'missing'; Output = ''; Errors = "no kovex-deepclean-check.exe in $Folder" }
        }
        if ($RunCleanup) {
            $cleanup = Invoke-Bounded $Folder 'kovex-deepclean.exe' @() 30
            if ($cleanup.Ended) {
                return [pscustomobject]@{ Status = 'timed out'; Output = ''; Errors = 'the cleanup did not finish within 30 minutes; it was ended' }
            }
        }
        $check = Invoke-Bounded $Folder 'kovex-deepclean-check.exe' @('--json') 20
        if ($check.Ended) {
            return [pscustomobject]@{ Status = 'timed out'; Output = ''; Errors = 'the check did not finish within 20 minutes; it was ended' }
        }
        if ($null -eq $check.Status) {
            return [pscustomobject]@{ Status = 'failed'; Output = ''; Errors = 'kovex-deepclean-check.exe could not be started' }
        }
        [pscustomobject]@{ Status = [int]$check.Status; Output = (@($check.Lines) -join "`n"); Errors = '' }
    }

    function New-Row($Machine, $Status, $Clean, $Complete, $Trace, $Unchecked) {
        [pscustomobject]@{
            machine        = $Machine
            status         = $Status
            clean          = $Clean
            complete       = $Complete
            kind           = $Trace.kind
            id             = $Trace.id
            description    = $Trace.description
            awaits_reboot  = $Trace.awaits_reboot
            manual_removal = $Trace.manual_removal
            unchecked      = $Unchecked
        }
    }

    # The rows of one machine's result.
    function ConvertTo-Row($Machine, $Result) {
        $none = [pscustomobject]@{ kind = ''; id = ''; description = ''; awaits_reboot = ''; manual_removal = '' }
        $status = $Result.Status
        if ($status -isnot [int]) {
            return New-Row $Machine $status '' '' $none $Result.Errors
        }
        try {
            $report = $Result.Output | ConvertFrom-Json
        }
        catch {
            $report = $null
        }
        if ($null -eq $report -or $null -eq $report.clean -or $null -eq $report.traces) {
            $reason = "kovex-deepclean-check.exe ended with exit code $status without its JSON document"
            return New-Row $Machine 'failed' '' '' $none $reason
        }
        $unchecked = (@($report.unchecked) | ForEach-Object { "$($_.check): $($_.reason)" }) -join '; '
        $traces = @($report.traces)
        if ($traces.Count -eq 0) {
            return New-Row $Machine $status $report.clean $report.complete $none $unchecked
        }
        foreach ($trace in $traces) {
            New-Row $Machine $status $report.clean $report.complete $trace $unchecked
        }
    }

    function Write-Row($Rows) {
        $Rows | Export-Csv -LiteralPath $Path -Append -NoTypeInformation -Encoding UTF8
    }
}

process {
    foreach ($name in $ComputerName) {
        if ($name) { $machines += $name }
    }
}

end {
    if (Test-Path -LiteralPath $Path) { Remove-Item -LiteralPath $Path }
    $running = @()
    $next = 0
    while ($next -lt $machines.Count -or $running.Count -gt 0) {
        while ($next -lt $machines.Count -and $running.Count -lt $ThrottleLimit) {
            $connect = @{
                ComputerName = $machines[$next]
                ScriptBlock  = $remote
                ArgumentList = @($Folder, $RunCleanup.IsPresent)
                AsJob        = $true
            }
            if ($Credential) { $connect.Credential = $Credential }
            $running += [pscustomobject]@{
                Machine  = $machines[$next]
                Job      = Invoke-Command @connect
                Deadline = (Get-Date).AddMinutes($TimeoutMinutes)
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
                    $result = [pscustomobject]@{ Status = 'unreachable'; Output = ''; Errors = $reason }
                }
                Write-Row (ConvertTo-Row $entry.Machine $result)
            }
            elseif ((Get-Date) -gt $entry.Deadline) {
                Stop-Job -Job $entry.Job
                Write-Row (ConvertTo-Row $entry.Machine ([pscustomobject]@{
                            Status = 'timed out'; Output = ''
                            Errors = "no answer within $TimeoutMinutes minutes" }))
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
